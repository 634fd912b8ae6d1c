// The static factory Reference(name) of NumericSeries, CategoricalSeries and Duration: the
// variant that names a value defined elsewhere. Only a str is taken; a StringConstant is refused.
#pragma once

#include <string>
#include <utility>

#include "binding/methods.h"
#include "binding/wrapped.h"
#include "conversions/arguments.h"

namespace veltrix_compute::python {

template <class T>
inline constexpr ParameterList kReferenceParameters{"Reference", ClassOf<T>::name.data(), {"name"}, 1, 1};

template <class T, T (*Make)(model::Reference)>
PyObject* reference_by_name(PyObject*, PyObject** bound) {
  std::string name = convert_argument("name", [&] { return text(bound[0]); });
  return wrap(Make(model::Reference{std::move(name)}));
}

template <class T, T (*Make)(model::Reference)>
constexpr PyMethodDef reference_factory() {
  return static_method<kReferenceParameters<T>, reference_by_name<T, Make>>();
}

}  // namespace veltrix_compute::python
