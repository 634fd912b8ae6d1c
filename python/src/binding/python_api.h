// The interpreter's C API, restricted to the stable ABI of CPython 3.10, and a small owner of
// references. Every file of the extension includes the C API through this header.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030A0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <utility>

namespace veltrix_compute::python {

namespace detail {
// Set by the module's atexit callback (python_api.cpp).
extern std::atomic<bool> interpreter_exit_began;
}  // namespace detail

// Whether the calling thread can be trusted to hold the interpreter lock. Inside the module it
// always holds it, but for one case: the C library unwinding a thread that the interpreter ends
// at exit (see `guarded_with`), whose destructors then run without the lock. The interpreter
// ends such threads only once it has run its atexit callbacks, and one of them, registered by
// `watch_interpreter_exit`, sets the flag read here (or that function itself, when the first
// import comes from an atexit callback): from then on, references and cells are leaked rather
// than released, as the process is ending. One load: this runs for every
// reference the module drops and every tree it frees (the interpreter's own PyGILState_Check,
// outside the stable ABI, cost about 7 ns a reference).
inline bool holds_interpreter_lock() noexcept {
  return !detail::interpreter_exit_began.load(std::memory_order_acquire);
}

// Registers the atexit callback above, once per process, and sets the flag at once if the
// interpreter is already running its atexit callbacks; throws PythonError if it cannot register.
void watch_interpreter_exit();

// A new reference to NotImplemented, the answer of a number slot that cannot use its operand.
inline PyObject* not_implemented() noexcept {
  Py_INCREF(Py_NotImplemented);
  return Py_NotImplemented;
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
