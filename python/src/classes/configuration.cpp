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

// NegativeValueConfiguration

constexpr ParameterList kAllowNegativeValues{"AllowNegativeValues", "NegativeValueConfiguration", {}, 0, 0};
constexpr ParameterList kSetNegativeValuesToZero{"SetNegativeValuesToZero", "NegativeValueConfiguration", {}, 0, 0};
constexpr ParameterList kExcludeNegativeValues{"ExcludeNegativeValues", "NegativeValueConfiguration", {}, 0, 0};

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
    to_json_method<NegativeValueConfiguration>(),
    kEndOfMethods,
};

// UdfSource

constexpr ParameterList kRust{"Rust", "UdfSource", {"source_code"}, 1, 1};
PyObject* rust(PyObject*, PyObject** bound) {
  std::string source_code = convert_argument("source_code", [&] { return text(bound[0]); });
  return wrap(UdfSource::rust(model::RustUdfSource{std::move(source_code)}));
}

PyMethodDef udf_source_methods[] = {
    static_method<kRust, rust>(),
    to_json_method<UdfSource>(),
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

PyMethodDef group_by_tags_methods[] = {
    static_method_without_arguments<kCurrentTags, fixed_variant<GroupByTags, GroupByTags::current>>(),
    static_method<kSubset, subset>(),
    to_json_method<GroupByTags>(),
    kEndOfMethods,
};

// GroupByTimestamp

constexpr ParameterList kCurrentTimestamp{"Current", "GroupByTimestamp", {}, 0, 0};

constexpr ParameterList kEvery{"Every", "GroupByTimestamp", {"every"}, 1, 1};
PyObject* every(PyObject*, PyObject** bound) {
  model::Duration interval = convert_argument("every", [&] { return object_of_class<model::Duration>(bound[0]); });
  return wrap(GroupByTimestamp::every(std::move(interval)));
}

PyMethodDef group_by_timestamp_methods[] = {
    static_method_without_arguments<kCurrentTimestamp, fixed_variant<GroupByTimestamp, GroupByTimestamp::current>>(),
    static_method<kEvery, every>(),
    to_json_method<GroupByTimestamp>(),
    kEndOfMethods,
};

// ConstantNumericSeries

constexpr ParameterList kFloat{"Float", "ConstantNumericSeries", {"value"}, 1, 1};
PyObject* float_series(PyObject*, PyObject** bound) {
  model::DoubleConstant value = convert_argument("value", [&] { return float_constant_input(bound[0]); });
  return wrap(ConstantNumericSeries::double_(std::move(value)));
}

PyMethodDef constant_methods[] = {
    static_method<kFloat, float_series>(),
    to_json_method<ConstantNumericSeries>(),
    kEndOfMethods,
};

}  // namespace

PyType_Spec negative_value_configuration_spec = make_class_spec<NegativeValueConfiguration>(methods_only_slots<NegativeValueConfiguration, negative_methods>);
PyType_Spec udf_source_spec =
    make_class_spec<UdfSource>(methods_only_slots<UdfSource, udf_source_methods>);
PyType_Spec group_by_tags_spec =
    make_class_spec<GroupByTags>(methods_only_slots<GroupByTags, group_by_tags_methods>);
PyType_Spec group_by_timestamp_spec = make_class_spec<GroupByTimestamp>(methods_only_slots<GroupByTimestamp, group_by_timestamp_methods>);
PyType_Spec constant_numeric_series_spec = make_class_spec<ConstantNumericSeries>(methods_only_slots<ConstantNumericSeries, constant_methods>);

}  // namespace veltrix_compute::python
