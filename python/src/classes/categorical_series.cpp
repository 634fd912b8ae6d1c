// The CategoricalSeries class (an EnumSeries value): a reference by name, and the value map that
// labels the ranges of a numeric series.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "classes/reference_factory.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::EnumSeries;


constexpr ParameterList kValueMap{"ValueMap", "CategoricalSeries", {"input", "mapping", "default"}, 3, 2};
PyObject* value_map(PyObject*, PyObject** bound) {
  model::NumericSeries input = convert_argument("input", [&] { return numeric_series_input(bound[0]); });
  std::vector<model::RangeMap> mapping =
      convert_argument("mapping", [&] { return list_of(bound[1], object_of_class<model::RangeMap>); });
  std::optional<model::StringConstant> default_ = convert_optional_argument("default", bound[2], string_constant_input);
  return wrap(categorical_series_value_map(std::move(input), std::move(mapping), std::move(default_)));
}

PyMethodDef methods[] = {
    reference_factory<EnumSeries, &EnumSeries::raw>(),
    static_method<kValueMap, value_map>(),
    to_json_method<EnumSeries>(),
    kEndOfMethods,
};

}  // namespace

PyType_Spec categorical_series_spec = make_class_spec<EnumSeries>(methods_only_slots<EnumSeries, methods>);

}  // namespace veltrix_compute::python
