// The aggregation classes: AggregationBuilder, which turns a rolling window or a grouping into an
// aggregated NumericSeries, and NumericAggregationOperator, the operator it applies.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/aggregation.h"

namespace veltrix_compute::python {

namespace {

using model::AggregationBuilder;
using model::NumericAggregationOperator;

// AggregationBuilder

constexpr ParameterList kNumericAggregation{"numeric_aggregation", "AggregationBuilder", {"operator"}, 1, 1};
PyObject* numeric_aggregation(PyObject* self, PyObject** bound) {
  NumericAggregationOperator operator_ =
      convert_argument("operator", [&] { return object_of_class<NumericAggregationOperator>(bound[0]); });
  AggregationBuilder input = copy_receiver<AggregationBuilder>(self);
  return wrap(numeric_series_numeric_aggregation(std::move(input), std::move(operator_)));
}

// The seven aggregations whose operator the builder makes itself.
using FixedAggregation = model::NumericSeries (*)(AggregationBuilder);
template <FixedAggregation Aggregate>
PyObject* fixed_aggregation(PyObject* self) {
  return wrap(Aggregate(copy_receiver<AggregationBuilder>(self)));
}

constexpr ParameterList kSum{"sum", "AggregationBuilder", {}, 0, 0};
constexpr ParameterList kAverage{"average", "AggregationBuilder", {}, 0, 0};
constexpr ParameterList kMin{"min", "AggregationBuilder", {}, 0, 0};
constexpr ParameterList kMax{"max", "AggregationBuilder", {}, 0, 0};
constexpr ParameterList kCount{"count", "AggregationBuilder", {}, 0, 0};
constexpr ParameterList kStandardDeviation{"standard_deviation", "AggregationBuilder", {}, 0, 0};
constexpr ParameterList kRootMeanSquare{"root_mean_square", "AggregationBuilder", {}, 0, 0};

constexpr ParameterList kPercentile{"percentile", "AggregationBuilder", {"percentile"}, 1, 1};
PyObject* percentile(PyObject* self, PyObject** bound) {
  model::DoubleConstant value = convert_argument("percentile", [&] { return float_constant_input(bound[0]); });
  AggregationBuilder input = copy_receiver<AggregationBuilder>(self);
  return wrap(numeric_series_numeric_aggregation_percentile(std::move(input), std::move(value)));
}

constexpr ParameterList kUdf{"udf", "AggregationBuilder", {"source"}, 1, 1};
PyObject* udf(PyObject* self, PyObject** bound) {
  model::UdfSource source = convert_argument("source", [&] { return object_of_class<model::UdfSource>(bound[0]); });
  AggregationBuilder input = copy_receiver<AggregationBuilder>(self);
  return wrap(numeric_series_numeric_aggregation_udf(std::move(input), std::move(source)));
}

constexpr ParameterList kRustUdf{"rust_udf", "AggregationBuilder", {"source_code"}, 1, 1};
PyObject* rust_udf(PyObject* self, PyObject** bound) {
  std::string source_code = convert_argument("source_code", [&] { return text(bound[0]); });
  AggregationBuilder input = copy_receiver<AggregationBuilder>(self);
  return wrap(numeric_series_numeric_aggregation_udf_rust(std::move(input), std::move(source_code)));
}

PyMethodDef builder_methods[] = {
    instance_method<kNumericAggregation, numeric_aggregation>(),
    instance_method_without_arguments<kSum, fixed_aggregation<numeric_series_numeric_aggregation_sum>>(),
    instance_method_without_arguments<kAverage, fixed_aggregation<numeric_series_numeric_aggregation_average>>(),
    instance_method_without_arguments<kMin, fixed_aggregation<numeric_series_numeric_aggregation_min>>(),
    instance_method_without_arguments<kMax, fixed_aggregation<numeric_series_numeric_aggregation_max>>(),
    instance_method_without_arguments<kCount, fixed_aggregation<numeric_series_numeric_aggregation_count>>(),
    instance_method_without_arguments<kStandardDeviation,
                                      fixed_aggregation<numeric_series_numeric_aggregation_standard_deviation>>(),
    instance_method_without_arguments<kRootMeanSquare,
                                      fixed_aggregation<numeric_series_numeric_aggregation_root_mean_square>>(),
    instance_method<kPercentile, percentile>(),
    instance_method<kUdf, udf>(),
    instance_method<kRustUdf, rust_udf>(),
    to_json_method<AggregationBuilder>(),
    kEndOfMethods,
};

// NumericAggregationOperator

constexpr ParameterList kSumOperator{"Sum", "NumericAggregationOperator", {}, 0, 0};
constexpr ParameterList kAverageOperator{"Average", "NumericAggregationOperator", {}, 0, 0};
constexpr ParameterList kMinOperator{"Min", "NumericAggregationOperator", {}, 0, 0};
constexpr ParameterList kMaxOperator{"Max", "NumericAggregationOperator", {}, 0, 0};
constexpr ParameterList kCountOperator{"Count", "NumericAggregationOperator", {}, 0, 0};
constexpr ParameterList kStandardDeviationOperator{"StandardDeviation", "NumericAggregationOperator", {}, 0, 0};
constexpr ParameterList kRootMeanSquareOperator{"RootMeanSquare", "NumericAggregationOperator", {}, 0, 0};

constexpr ParameterList kPercentileOperator{"Percentile", "NumericAggregationOperator", {"percentile"}, 1, 1};
PyObject* percentile_operator(PyObject*, PyObject** bound) {
  model::DoubleConstant value = convert_argument("percentile", [&] { return float_constant_input(bound[0]); });
  return wrap(NumericAggregationOperator::percentile(model::Percentile{std::move(value)}));
}

constexpr ParameterList kUdfOperator{"Udf", "NumericAggregationOperator", {"source"}, 1, 1};
PyObject* udf_operator(PyObject*, PyObject** bound) {
  model::UdfSource source = convert_argument("source", [&] { return object_of_class<model::UdfSource>(bound[0]); });
  return wrap(NumericAggregationOperator::udf(model::NumericAggregationUdf{std::move(source)}));
}

PyMethodDef operator_methods[] = {
    static_method_without_arguments<kSumOperator, fixed_variant<NumericAggregationOperator, NumericAggregationOperator::sum>>(),
    static_method_without_arguments<kAverageOperator, fixed_variant<NumericAggregationOperator, NumericAggregationOperator::average>>(),
    static_method_without_arguments<kMinOperator, fixed_variant<NumericAggregationOperator, NumericAggregationOperator::min>>(),
    static_method_without_arguments<kMaxOperator, fixed_variant<NumericAggregationOperator, NumericAggregationOperator::max>>(),
    static_method_without_arguments<kCountOperator, fixed_variant<NumericAggregationOperator, NumericAggregationOperator::count>>(),
    static_method_without_arguments<kStandardDeviationOperator,
                                    fixed_variant<NumericAggregationOperator, NumericAggregationOperator::standardDeviation>>(),
    static_method_without_arguments<kRootMeanSquareOperator,
                                    fixed_variant<NumericAggregationOperator, NumericAggregationOperator::rootMeanSquare>>(),
    static_method<kPercentileOperator, percentile_operator>(),
    static_method<kUdfOperator, udf_operator>(),
    to_json_method<NumericAggregationOperator>(),
    kEndOfMethods,
};

}  // namespace

PyType_Spec aggregation_builder_spec =
    make_class_spec<AggregationBuilder>(methods_only_slots<AggregationBuilder, builder_methods>);
PyType_Spec numeric_aggregation_operator_spec =
    make_class_spec<NumericAggregationOperator>(methods_only_slots<NumericAggregationOperator, operator_methods>);

}  // namespace veltrix_compute::python
