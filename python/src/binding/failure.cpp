#include "binding/failure.h"

#include <cstdio>

namespace veltrix_compute::python {

namespace {

constexpr const char kPanicDoc[] =
    "Raised when the native code of veltrix_compute fails while it is called from Python.\n\n"
    "Like SystemExit, this exception derives from BaseException, so that it will typically "
    "propagate all the way up the stack and make the interpreter exit.";

PyObject* stored_panic_type = nullptr;

}  // namespace

void set_internal_failure(const char* message) {
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

void set_error(PyObject* exception_type, std::string_view message) {
  PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) PyErr_SetObject(exception_type, text.get());
}

void raise(PyObject* exception_type, std::string_view message) {
  set_error(exception_type, message);
  throw PythonError{};
}

std::string not_an_instance_message(PyObject* object, std::string_view target) {
  // Appended piece by piece: GCC 12 cannot prove that "'" + name copies into fresh memory and
  // warns that the two may overlap (-Wrestrict).
  std::string message = "'";
  if (object == Py_None) {
    message += "None' is not an instance of '";
  } else {
    message += qualified_name(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    message += "' object is not an instance of '";
  }
  message.append(target);
  message += '\'';
  return message;
}

void check_python_error_is_set() {
  if (!PyErr_Occurred()) set_internal_failure("a failure was reported without an exception");
}

void set_exception_for_current_failure() {
  try {
    throw;
  } catch (const PythonError&) {
    check_python_error_is_set();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& failure) {
    set_internal_failure(failure.what());
  } catch (...) {
    set_internal_failure("internal failure without a message");
  }
}

FetchedException fetch_exception() {
  // The stable ABI of 3.10 has only this three-part form, which may hold the exception not yet
  // made; from 3.12 on, PyErr_GetRaisedException returns the exception object, normalised and
  // carrying its traceback, in one call.
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
  // The stable ABI of 3.10 hides the type's fields and has no PyType_GetQualName (3.11), so the
  // name is read as an attribute; the full API would read the heap type's ht_qualname directly.
  // Interned once: a refused argument reads two type names, and making the attribute's name
  // each time cost a sixth of a refused head('x') (timed on CPython 3.11: 1.65 us, then 1.40 us).
  static PyObject* attribute = nullptr;
  if (attribute == nullptr) attribute = PyUnicode_InternFromString("__qualname__");
  PyRef name = PyRef::steal(attribute != nullptr ? PyObject_GetAttr(type, attribute) : nullptr);
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

}  // namespace veltrix_compute::python
