#include "binding/failure.h"

#include <cstdio>

namespace veltrix_compute::python {

namespace {

constexpr const char kPanicDoc[] =
    "Raised when the native code of veltrix_compute fails while it is called from Python.\n\n"
    "Like SystemExit, this exception derives from BaseException, so that it will typically "
    "propagate all the way up the stack and make the interpreter exit.";

// Reports a broken invariant where it happens, then raises it as PanicException.
void raise_internal_failure(const char* message) {
  std::fprintf(stderr, "veltrix_compute: internal failure: %s\n", message);
  PyErr_Clear();  // the internal failure replaces whatever was pending
  PyObject* type = panic_exception_type();
  if (type == nullptr) {
    if (PyErr_Occurred()) return;  // MemoryError: no memory was left to make the class
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::abort();
  }
  PyErr_SetString(type, message);
}

PyObject* stored_panic_type = nullptr;

}  // namespace

PyObject* created_panic_exception_type() noexcept { return stored_panic_type; }

PyObject* panic_exception_type() {
  // Created under the interpreter lock. Creating the class may run Python code that lets
  // another thread in; if that thread stored one first, its class is kept and ours dropped.
  PyObject*& stored = stored_panic_type;
  if (stored != nullptr) return stored;
  PyObject* created = PyErr_NewExceptionWithDoc("veltrix_compute.PanicException", kPanicDoc,
                                                PyExc_BaseException, nullptr);
  if (created == nullptr) {
    // Exhausted memory is raised as it is, since a later failure may find memory to make the
    // class; any other refusal is an internal failure of its own.
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) return nullptr;
    PyErr_Clear();
    std::fputs("veltrix_compute: internal failure: Failed to initialize new exception type.\n", stderr);
    return nullptr;
  }
  if (stored == nullptr) {
    stored = created;
  } else {
    Py_DECREF(created);
  }
  return stored;
}

void raise(PyObject* exception_type, std::string_view message) {
  PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) throw PythonError{};
  PyErr_SetObject(exception_type, text.get());
  throw PythonError{};
}

void raise_not_an_instance(PyObject* object, std::string_view target) {
  set_not_an_instance(object, target);
  throw PythonError{};
}

std::string not_an_instance_message(PyObject* object, std::string_view target) {
  std::string message;
  if (object == Py_None) {
    message = "'None' is not an instance of '";
  } else {
    message = "'" + qualified_name(reinterpret_cast<PyObject*>(Py_TYPE(object))) + "' object is not an instance of '";
  }
  message.append(target);
  message += "'";
  return message;
}

void set_not_an_instance(PyObject* object, std::string_view target) {
  const std::string message = not_an_instance_message(object, target);
  PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

void check_python_error_is_set() {
  if (!PyErr_Occurred()) raise_internal_failure("a failure was reported without an exception");
}

void set_exception_for_current_failure() {
  try {
    throw;
  } catch (const PythonError&) {
    check_python_error_is_set();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& failure) {
    raise_internal_failure(failure.what());
  } catch (...) {
    raise_internal_failure("internal failure without a message");
  }
}

FetchedException fetch_exception() {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
  return {PyRef::steal(type), PyRef::steal(value), PyRef::steal(traceback)};
}

std::string str_of(PyObject* object, std::string_view fallback) {
  PyRef text = PyRef::steal(PyObject_Str(object));
  if (text) {
    if (std::optional<std::string> utf8 = utf8_copy(text.get())) return std::move(*utf8);
  }
  PyErr_Clear();
  return std::string(fallback);
}

std::string qualified_name(PyObject* type) {
  PyRef name = PyRef::steal(PyObject_GetAttrString(type, "__qualname__"));
  if (name && PyUnicode_Check(name.get())) {
    if (std::optional<std::string> utf8 = utf8_copy(name.get())) return std::move(*utf8);
  }
  PyErr_Clear();
  return "<failed to extract type name>";
}

std::optional<std::string> utf8_copy(PyObject* text) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
  if (utf8 == nullptr) return std::nullopt;
  return std::string(utf8, static_cast<std::size_t>(size));
}

std::string_view utf8_of(PyObject* text) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
  if (utf8 == nullptr) throw PythonError{};
  return {utf8, static_cast<std::size_t>(size)};
}

}  // namespace veltrix_compute::python
