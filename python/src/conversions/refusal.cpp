#include "conversions/refusal.h"

#include <cstdio>
#include <string>

#include "binding/failure.h"

namespace veltrix_compute::python {

namespace {

// "TypeError: message, caused by OverflowError: ..." for an exception and its chain of causes.
std::string describe_with_causes(PyObject* exception) {
  std::string text;
  PyRef current = PyRef::borrow(exception);
  for (int link = 0; current && link < 64; ++link) {
    if (link > 0) text += ", caused by ";
    text += qualified_name(reinterpret_cast<PyObject*>(Py_TYPE(current.get())));
    text += ": ";
    text += str_of(current.get(), "<exception str() failed>");
    current = PyRef::steal(PyException_GetCause(current.get()));
  }
  return text;
}

}  // namespace

bool reraise_panic_from_python() {
  PyObject* panic = created_panic_exception_type();
  if (panic == nullptr || !PyErr_ExceptionMatches(panic)) return false;
  FetchedException failure = fetch_exception();
  std::string message = str_of(failure.value.get(), "Unwrapped panic from Python code");
  std::fputs("veltrix_compute: a PanicException raised by Python code is raised again.\n"
             "Python stack trace below:\n",
             stderr);
  PyErr_Restore(failure.type.release(), failure.value.release(), failure.traceback.release());
  PyErr_PrintEx(0);
  set_internal_failure(message.c_str());
  return true;
}

void Refusal::type_error(std::string_view message) const {
  if (kind_ != Kind::argument) return set_error(PyExc_TypeError, message);
  std::string prefixed = std::string("argument '") + parameter_ + "': ";
  prefixed += message;
  set_error(PyExc_TypeError, prefixed);
}

[[gnu::cold]] bool Refusal::not_an_instance(PyObject* object, std::string_view target) const {
  if (!quiet()) type_error(not_an_instance_message(object, target));
  return false;
}

[[gnu::cold]] bool Refusal::because(std::string_view message) const {
  if (!quiet()) type_error(message);
  return false;
}

[[gnu::cold]] bool Refusal::pending() const {
  if (reraise_panic_from_python()) return false;
  if (quiet()) {
    PyErr_Clear();
    return false;
  }
  if (kind_ != Kind::argument || PyErr_Occurred() != PyExc_TypeError) return false;
  // The renamed error takes over the cause of the one it replaces.
  FetchedException failure = fetch_exception();
  type_error(str_of(failure.value.get(), ""));
  PyRef cause = PyRef::steal(PyException_GetCause(failure.value.get()));
  if (cause && PyErr_Occurred() == PyExc_TypeError) {
    FetchedException renamed = fetch_exception();
    PyException_SetCause(renamed.value.get(), cause.release());
    PyErr_Restore(renamed.type.release(), renamed.value.release(), renamed.traceback.release());
  }
  return false;
}

[[gnu::cold]] bool Refusal::both_alternatives(const char* input_type, std::string_view class_name,
                                              PyObject* object) const {
  if (reraise_panic_from_python()) return false;
  if (quiet()) {
    PyErr_Clear();
    return false;
  }
  FetchedException native = fetch_exception();
  std::string message = std::string("failed to extract enum ") + input_type + " ('Wrapped | Native0')";
  message += "\n- variant Wrapped (Wrapped): TypeError: failed to extract field ";
  message += input_type;
  message += "::Wrapped.0, caused by TypeError: " + not_an_instance_message(object, class_name);
  message += "\n- variant Native0 (Native0): TypeError: failed to extract field ";
  message += input_type;
  message += "::Native0.0, caused by " + describe_with_causes(native.value.get());
  type_error(message);
  return false;
}

}  // namespace veltrix_compute::python
