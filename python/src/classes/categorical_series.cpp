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

constexpr ParameterList kToJson{"to_json", "CategoricalSeries", {}, 0, 0};

PyMethodDef methods[] = {
    static_method<kReference, reference>(),
    static_method<kValueMap, value_map>(),
    instance_method_without_arguments<kToJson, to_json<EnumSeries>>(),
    kEndOfMethods,
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<EnumSeries>)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

}  // namespace

PyType_Spec categorical_series_spec = make_class_spec<EnumSeries>("_compute.CategoricalSeries", slots);

}  // namespace veltrix_compute::python
