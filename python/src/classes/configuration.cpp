// The small configuration classes that NumericSeries methods take as arguments:
// NegativeValueConfiguration, UdfSource, GroupByTags, GroupByTimestamp and ConstantNumericSeries.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/aggregation.h"

namespace veltrix_compute::python {

namespace {

using model::ConstantNumericSeries;
using model::GroupByTags;
using model::GroupByTimestamp;
using model::NegativeValueConfiguration;
using model::UdfSource;

// A factory without arguments: a variant whose payload is an empty record.
template <class T, T (*Make)()>
PyObject* fixed_variant(PyObject*) {
  return wrap(Make());
}

// Every class here frees its value and has methods only.
template <class T, PyMethodDef* Methods>
PyType_Slot class_slots[3] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<T>)},
    {Py_tp_methods, Methods},
    {0, nullptr},
};

// NegativeValueConfiguration

constexpr ParameterList kAllowNegativeValues{"AllowNegativeValues", "NegativeValueConfiguration", {}, 0, 0};
constexpr ParameterList kSetNegativeValuesToZero{"SetNegativeValuesToZero", "NegativeValueConfiguration", {}, 0, 0};
constexpr ParameterList kExcludeNegativeValues{"ExcludeNegativeValues", "NegativeValueConfiguration", {}, 0, 0};
constexpr ParameterList kNegativeToJson{"to_json", "NegativeValueConfiguration", {}, 0, 0};

PyMethodDef negative_methods[] = {
    static_method_without_arguments<
        kAllowNegativeValues,
        fixed_variant<NegativeValueConfiguration, NegativeValueConfiguration::allowNegativeValues>>(),
    static_method_without_arguments<
        kSetNegativeValuesToZero,
        fixed_variant<NegativeValueConfiguration, NegativeValueConfiguration::setNegativeValuesToZero>>(),
    static_method_without_arguments<
        kExcludeNegativeValues,
        fixed_variant<NegativeValueConfiguration, NegativeValueConfiguration::excludeNegativeValues>>(),
    instance_method_without_arguments<kNegativeToJson, to_json<NegativeValueConfiguration>>(),
    kEndOfMethods,
};

// UdfSource

constexpr ParameterList kRust{"Rust", "UdfSource", {"source_code"}, 1, 1};
PyObject* rust(PyObject*, PyObject** bound) {
  std::string source_code = convert_argument("source_code", [&] { return text(bound[0]); });
  return wrap(UdfSource::rust(model::RustUdfSource{std::move(source_code)}));
}

constexpr ParameterList kUdfSourceToJson{"to_json", "UdfSource", {}, 0, 0};

PyMethodDef udf_source_methods[] = {
    static_method<kRust, rust>(),
    instance_method_without_arguments<kUdfSourceToJson, to_json<UdfSource>>(),
    kEndOfMethods,
};

// GroupByTags

constexpr ParameterList kCurrentTags{"Current", "GroupByTags", {}, 0, 0};

constexpr ParameterList kSubset{"Subset", "GroupByTags", {"tags"}, 1, 1};
PyObject* subset(PyObject*, PyObject** bound) {
  std::vector<model::StringConstant> tags =
      convert_argument("tags", [&] { return list_of(bound[0], string_constant_input); });
  return wrap(group_by_tags_subset(std::move(tags)));
}

constexpr ParameterList kTagsToJson{"to_json", "GroupByTags", {}, 0, 0};

PyMethodDef group_by_tags_methods[] = {
    static_method_without_arguments<kCurrentTags, fixed_variant<GroupByTags, GroupByTags::current>>(),
    static_method<kSubset, subset>(),
    instance_method_without_arguments<kTagsToJson, to_json<GroupByTags>>(),
    kEndOfMethods,
};

// GroupByTimestamp

constexpr ParameterList kCurrentTimestamp{"Current", "GroupByTimestamp", {}, 0, 0};

constexpr ParameterList kEvery{"Every", "GroupByTimestamp", {"every"}, 1, 1};
PyObject* every(PyObject*, PyObject** bound) {
  model::Duration interval = convert_argument("every", [&] { return object_of_class<model::Duration>(bound[0]); });
  return wrap(GroupByTimestamp::every(std::move(interval)));
}

constexpr ParameterList kTimestampToJson{"to_json", "GroupByTimestamp", {}, 0, 0};

PyMethodDef group_by_timestamp_methods[] = {
    static_method_without_arguments<kCurrentTimestamp, fixed_variant<GroupByTimestamp, GroupByTimestamp::current>>(),
    static_method<kEvery, every>(),
    instance_method_without_arguments<kTimestampToJson, to_json<GroupByTimestamp>>(),
    kEndOfMethods,
};

// ConstantNumericSeries

constexpr ParameterList kFloat{"Float", "ConstantNumericSeries", {"value"}, 1, 1};
PyObject* float_series(PyObject*, PyObject** bound) {
  model::DoubleConstant value = convert_argument("value", [&] { return float_constant_input(bound[0]); });
  return wrap(ConstantNumericSeries::double_(std::move(value)));
}

constexpr ParameterList kConstantToJson{"to_json", "ConstantNumericSeries", {}, 0, 0};

PyMethodDef constant_methods[] = {
    static_method<kFloat, float_series>(),
    instance_method_without_arguments<kConstantToJson, to_json<ConstantNumericSeries>>(),
    kEndOfMethods,
};

}  // namespace

PyType_Spec negative_value_configuration_spec = make_class_spec<NegativeValueConfiguration>(
    "_compute.NegativeValueConfiguration", class_slots<NegativeValueConfiguration, negative_methods>);
PyType_Spec udf_source_spec =
    make_class_spec<UdfSource>("_compute.UdfSource", class_slots<UdfSource, udf_source_methods>);
PyType_Spec group_by_tags_spec =
    make_class_spec<GroupByTags>("_compute.GroupByTags", class_slots<GroupByTags, group_by_tags_methods>);
PyType_Spec group_by_timestamp_spec = make_class_spec<GroupByTimestamp>(
    "_compute.GroupByTimestamp", class_slots<GroupByTimestamp, group_by_timestamp_methods>);
PyType_Spec constant_numeric_series_spec = make_class_spec<ConstantNumericSeries>(
    "_compute.ConstantNumericSeries", class_slots<ConstantNumericSeries, constant_methods>);

}  // namespace veltrix_compute::python
