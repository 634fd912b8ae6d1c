// The interpreter's C API, restricted to the stable ABI of CPython 3.10, and a small owner of
// references. Every file of the extension includes the C API through this header.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030A0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace veltrix_compute::python {

namespace detail {
// The interpreter's PyGILState_Check, or null if it has none (python_api.cpp).
extern int (*const interpreter_lock_check)();
}  // namespace detail

// Whether the calling thread holds the interpreter lock. Inside the module it always does, but
// for one case: the C library unwinding a thread that the interpreter ends at exit (see
// `guarded_with`), whose destructors then run without the lock. Late in that exit the
// interpreter deletes its per-thread key and PyGILState_Check answers yes to every thread; the
// thread's own state, read through that key, is then gone.
inline bool holds_interpreter_lock() noexcept {
  if (detail::interpreter_lock_check == nullptr) return true;
  return detail::interpreter_lock_check() != 0 && PyGILState_GetThisThreadState() != nullptr;
}

// Owns one strong reference (or none). A reference dropped without the interpreter lock is
// leaked rather than released: touching the object then would race with the thread that holds it.
class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over a new reference; `object` may be null.
  static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
  static PyRef borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return PyRef(object);
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~PyRef() {
    if (object_ != nullptr && holds_interpreter_lock()) Py_DECREF(object_);
  }

  PyObject* get() const noexcept { return object_; }
  PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit PyRef(PyObject* object) noexcept : object_(object) {}
  PyObject* object_ = nullptr;
};

}  // namespace veltrix_compute::python
