// The CategoricalSeries class (an EnumSeries value): a reference by name, and the value map that
// labels the ranges of a numeric series.
#include "binding/methods.h"
#include "classes/reference_factory.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::EnumSeries;

using Rows = MethodsOf<EnumSeries>;
auto methods = Rows::table(Rows::method<"Reference(name)", &reference<EnumSeries, &EnumSeries::raw>>(),
                           Rows::method<"ValueMap(input, mapping, default=None)", &categorical_series_value_map>());

}  // namespace

template <>
ClassDefinition class_definition<EnumSeries>() {
  return {methods.data()};
}

}  // namespace veltrix_compute::python
