// Binding of call arguments to a method's parameter list, by position or by keyword.
//
// Every parameter of the module is positional-or-keyword, and the required ones come first. A
// bound parameter is a borrowed reference, or null when it was not given. Binding returns false
// with the binding TypeError set.
#pragma once

#include <cstddef>

#include "binding/python_api.h"

namespace veltrix_compute::python {

inline constexpr std::size_t kMaxParameters = 4;

struct ParameterList {
  const char* function;    // "head"
  const char* class_name;  // "NumericSeries", or null for a module function
  const char* names[kMaxParameters];
  int count;
  int required;
};

// Every case but positional arguments alone; sets the binding TypeError on failure.
bool bind_arguments_in_full(const ParameterList& parameters, PyObject* const* args, Py_ssize_t positional_count,
                            PyObject* keyword_names, PyObject** bound);

// Fast-call binding: `args` holds the positional arguments, then the values of the keywords
// named by the `keyword_names` tuple (which may be null).
inline bool bind_arguments(const ParameterList& parameters, PyObject* const* args, Py_ssize_t positional_count,
                           PyObject* keyword_names, PyObject** bound) {
  if (keyword_names != nullptr || positional_count < parameters.required || positional_count > parameters.count) {
    return bind_arguments_in_full(parameters, args, positional_count, keyword_names, bound);
  }
  for (Py_ssize_t i = 0; i < positional_count; ++i) bound[i] = args[i];
  return true;
}

// The same for a call through a tuple and a keyword dictionary (a constructor).
bool bind_arguments(const ParameterList& parameters, PyObject* args, PyObject* keywords, PyObject** bound);

// A parameter that was not given or was given as None: absent.
inline bool is_absent(PyObject* argument) noexcept { return argument == nullptr || argument == Py_None; }

}  // namespace veltrix_compute::python
