// The body of the static factory Reference(name) of NumericSeries, CategoricalSeries and
// Duration: the variant that names a value defined elsewhere. Only a str is taken; a
// StringConstant is refused.
#pragma once

#include <string>
#include <utility>

#include "model.h"

namespace veltrix_compute::python {

template <class T, T (*Make)(compute_api::Reference)>
T reference(std::string name) {
  return Make(compute_api::Reference{std::move(name)});
}

}  // namespace veltrix_compute::python
