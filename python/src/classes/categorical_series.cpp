// The CategoricalSeries class (an EnumSeries value): a reference by name, and the value map that
// labels the ranges of a numeric series.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::EnumSeries;

constexpr ParameterList kReference{"Reference", "CategoricalSeries", {"name"}, 1, 1};
PyObject* reference(PyObject*, PyObject** bound) {
  std::string name = convert_argument("name", [&] { return text(bound[0]); });
  return wrap(EnumSeries::raw(model::Reference{std::move(name)}));
}

constexpr ParameterList kValueMap{"ValueMap", "CategoricalSeries", {"input", "mapping", "default"}, 3, 2};
PyObject* value_map(PyObject*, PyObject** bound) {
  model::NumericSeries input = convert_argument("input", [&] { return numeric_series_input(bound[0]); });
  std::vector<model::RangeMap> mapping =
      convert_argument("mapping", [&] { return list_of(bound[1], object_of_class<model::RangeMap>); });
  std::optional<model::StringConstant> default_ = convert_optional_argument("default", bound[2], string_constant_input);
  return wrap(categorical_series_value_map(std::move(input), std::move(mapping), std::move(default_)));
}

PyMethodDef methods[] = {
    static_method<kReference, reference>(),
    static_method<kValueMap, value_map>(),
    to_json_method<EnumSeries>(),
    kEndOfMethods,
};

}  // namespace

PyType_Spec categorical_series_spec = make_class_spec<EnumSeries>(methods_only_slots<EnumSeries, methods>);

}  // namespace veltrix_compute::python
