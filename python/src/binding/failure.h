// How failures travel inside the extension and leave it.
//
// A refused call (a wrong argument, the caller's fault) is not a C++ exception: binding and
// conversions return false with the Python exception set, and the entry returns null. C++
// exceptions carry the rest: `PythonError` when an interpreter call failed with its exception set
// (creating a class or an object), `InternalFailure` for a broken invariant (our bug),
// std::bad_alloc for exhausted memory. Every entry point runs its body through `guarded`, the
// one place where these become the Python exception and the null (or -1) result the interpreter
// expects; no C++ exception ever unwinds into the interpreter.
//
// Deliberate change: running out of memory raises MemoryError instead of ending the process, since
// a library must not abort the interpreter that hosts it.
#pragma once

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "binding/python_api.h"
#include "veltrix_compute/internal_failure.h"

namespace veltrix_compute::python {

// Thrown after a Python exception has been set.
struct PythonError {};

// Throws PythonError if `object` is null (the interpreter has set an exception), else returns it.
inline PyObject* check(PyObject* object) {
  if (object == nullptr) throw PythonError{};
  return object;
}

// Sets the exception with `message` (or the interpreter's error if the text cannot be made).
void set_error(PyObject* exception_type, std::string_view message);
// The same, then throws PythonError.
[[noreturn]] void raise(PyObject* exception_type, std::string_view message);
// "'<type>' object is not an instance of '<target>'", or "'None' is not an instance of ...".
std::string not_an_instance_message(PyObject* object, std::string_view target);

// The internal-failure exception class, created once per process on first need (a
// BaseException subclass). Must not be called with an exception pending. Null, with MemoryError
// set, if memory ran out while making it; null with nothing set if the interpreter refused it.
PyObject* panic_exception_type();
// The class if it has been created, else null (then no Python code can have raised it).
PyObject* created_panic_exception_type() noexcept;

// Reports a broken invariant on standard error and sets it as a PanicException with `message`.
void set_internal_failure(const char* message);
// Sets the Python exception for whatever `guarded` caught.
void set_exception_for_current_failure();

// The pending exception, taken out of the interpreter's error state and normalised (its value
// is an exception object that carries the traceback).
struct FetchedException {
  PyRef type, value, traceback;
};
FetchedException fetch_exception();

// The text of an object's str(), or `fallback` if str() fails (the failure is cleared).
std::string str_of(PyObject* object, std::string_view fallback);
// The __qualname__ of a type, or "<failed to extract type name>".
std::string qualified_name(PyObject* type);
// A copy of the UTF-8 text of a str object, or nothing (with the error set) if it cannot be
// encoded, as with a lone surrogate.
std::optional<std::string> utf8_copy(PyObject* text);

// Sets the internal failure for a PythonError thrown without an exception set (a bug).
void check_python_error_is_set();

// Runs an entry point's body and turns any failure into the Python exception plus `on_failure`.
// PythonError is by far the most common of these, so it is caught first: rethrowing it to sort
// it out would double its cost.
//
// One unwinding is not a failure and passes through: the C library ending the thread with
// pthread_exit, as the interpreter does to a daemon thread that wants the lock back at exit. That
// unwinding must not be caught, and a noexcept frame would turn it into std::terminate, so entry
// points and what their failure path calls are not noexcept. Nothing else can leave them: any C++
// exception reaching the interpreter's frames would find no handler and terminate all the same.
// The unwinding carries no C++ object, so it is told apart by having no exception_ptr rather than
// caught as abi::__forced_unwind&, which would bind a reference to no object.
template <class Result, class Body>
Result guarded_with(Result on_failure, Body&& body) {
  try {
    return body();
  } catch (const PythonError&) {
    check_python_error_is_set();
  } catch (...) {
    if (!std::current_exception()) throw;
    set_exception_for_current_failure();
  }
  return on_failure;
}

// Entry points that return an object (null on failure), and those that return a status (-1).
template <class Body>
PyObject* guarded(Body&& body) {
  return guarded_with<PyObject*>(nullptr, std::forward<Body>(body));
}
template <class Body>
int guarded_status(Body&& body) {
  return guarded_with(-1, std::forward<Body>(body));
}

}  // namespace veltrix_compute::python
