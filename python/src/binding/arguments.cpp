#include "binding/arguments.h"

#include <string>

#include "binding/failure.h"

namespace veltrix_compute::python {

namespace {

// "NumericSeries.head()" for a method, "atan2()" for a module function.
std::string full_name(const ParameterList& parameters) {
  std::string name;
  if (parameters.class_name != nullptr) {
    name = parameters.class_name;
    name += '.';
  }
  name += parameters.function;
  name += "()";
  return name;
}

[[gnu::cold]] bool refuse_too_many_positional(const ParameterList& parameters, Py_ssize_t given) {
  std::string message = full_name(parameters) + " takes ";
  if (parameters.required == parameters.count) {
    message += std::to_string(parameters.count);
  } else {
    message += "from " + std::to_string(parameters.required) + " to " + std::to_string(parameters.count);
  }
  // "positional arguments" stays plural for every count.
  message += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  set_error(PyExc_TypeError, message);
  return false;
}

// The keyword is written as given, through its str(): a text that UTF-8 cannot hold (a lone
// surrogate) stays in the message.
[[gnu::cold]] bool refuse_keyword(const ParameterList& parameters, const char* what, PyObject* keyword) {
  PyRef message = PyRef::steal(PyUnicode_FromFormat("%s%s'%S'", full_name(parameters).c_str(), what, keyword));
  if (message) PyErr_SetObject(PyExc_TypeError, message.get());
  return false;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'"
[[gnu::cold]] bool refuse_missing(const ParameterList& parameters, PyObject** bound) {
  int missing[kMaxParameters];
  int count = 0;
  for (int i = 0; i < parameters.required; ++i) {
    if (bound[i] == nullptr) missing[count++] = i;
  }
  std::string message = full_name(parameters) + " missing " + std::to_string(count) + " required positional " +
                        (count == 1 ? "argument" : "arguments") + ": ";
  for (int i = 0; i < count; ++i) {
    if (i > 0) message += count == 2 ? " and " : (i == count - 1 ? ", and " : ", ");
    message += "'";
    message += parameters.names[missing[i]];
    message += "'";
  }
  set_error(PyExc_TypeError, message);
  return false;
}

// Index of the parameter named `keyword`, or -1.
int parameter_index(const ParameterList& parameters, PyObject* keyword) {
  for (int i = 0; i < parameters.count; ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, parameters.names[i]) == 0) return i;
  }
  return -1;
}

bool bind_keyword(const ParameterList& parameters, PyObject* keyword, PyObject* value, PyObject** bound) {
  const int index = parameter_index(parameters, keyword);
  if (index < 0) return refuse_keyword(parameters, " got an unexpected keyword argument ", keyword);
  if (bound[index] != nullptr) return refuse_keyword(parameters, " got multiple values for argument ", keyword);
  bound[index] = value;
  return true;
}

bool check_required(const ParameterList& parameters, PyObject** bound) {
  for (int i = 0; i < parameters.required; ++i) {
    if (bound[i] == nullptr) return refuse_missing(parameters, bound);
  }
  return true;
}

}  // namespace

bool bind_arguments_in_full(const ParameterList& parameters, PyObject* const* args, Py_ssize_t positional_count,
                            PyObject* keyword_names, PyObject** bound) {
  if (positional_count > parameters.count) return refuse_too_many_positional(parameters, positional_count);
  for (Py_ssize_t i = 0; i < positional_count; ++i) bound[i] = args[i];
  if (keyword_names != nullptr) {
    const Py_ssize_t keyword_count = PyTuple_Size(keyword_names);
    for (Py_ssize_t i = 0; i < keyword_count; ++i) {
      if (!bind_keyword(parameters, PyTuple_GetItem(keyword_names, i), args[positional_count + i], bound)) return false;
    }
  }
  return check_required(parameters, bound);
}

bool bind_arguments(const ParameterList& parameters, PyObject* args, PyObject* keywords, PyObject** bound) {
  const Py_ssize_t positional_count = PyTuple_Size(args);
  if (positional_count > parameters.count) return refuse_too_many_positional(parameters, positional_count);
  for (Py_ssize_t i = 0; i < positional_count; ++i) bound[i] = PyTuple_GetItem(args, i);
  if (keywords != nullptr) {
    PyObject* keyword = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t position = 0;
    while (PyDict_Next(keywords, &position, &keyword, &value)) {
      if (!bind_keyword(parameters, keyword, value, bound)) return false;
    }
  }
  return check_required(parameters, bound);
}

}  // namespace veltrix_compute::python
