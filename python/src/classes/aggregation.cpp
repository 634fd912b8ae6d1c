// The aggregation classes: AggregationBuilder, which turns a rolling window or a grouping into an
// aggregated NumericSeries, and NumericAggregationOperator, the operator it applies.
#include <utility>

#include "binding/methods.h"
#include "veltrix_compute/builders/aggregation.h"

namespace veltrix_compute::python {

namespace {

using model::AggregationBuilder;
using model::NumericAggregationOperator;

using BuilderRows = MethodsOf<AggregationBuilder>;
auto builder_methods = BuilderRows::table(
    BuilderRows::method<"numeric_aggregation($self, operator)", &numeric_series_numeric_aggregation>(),
    BuilderRows::method<"sum($self)", &numeric_series_numeric_aggregation_sum>(),
    BuilderRows::method<"average($self)", &numeric_series_numeric_aggregation_average>(),
    BuilderRows::method<"min($self)", &numeric_series_numeric_aggregation_min>(),
    BuilderRows::method<"max($self)", &numeric_series_numeric_aggregation_max>(),
    BuilderRows::method<"count($self)", &numeric_series_numeric_aggregation_count>(),
    BuilderRows::method<"standard_deviation($self)", &numeric_series_numeric_aggregation_standard_deviation>(),
    BuilderRows::method<"root_mean_square($self)", &numeric_series_numeric_aggregation_root_mean_square>(),
    BuilderRows::method<"percentile($self, percentile)", &numeric_series_numeric_aggregation_percentile>(),
    BuilderRows::method<"udf($self, source)", &numeric_series_numeric_aggregation_udf>(),
    BuilderRows::method<"rust_udf($self, source_code)", &numeric_series_numeric_aggregation_udf_rust>());

NumericAggregationOperator percentile(model::DoubleConstant value) {
  return NumericAggregationOperator::percentile(model::Percentile{std::move(value)});
}
NumericAggregationOperator udf(model::UdfSource source) {
  return NumericAggregationOperator::udf(model::NumericAggregationUdf{std::move(source)});
}

using OperatorRows = MethodsOf<NumericAggregationOperator>;
auto operator_methods = OperatorRows::table(
    OperatorRows::method<"Sum()", &NumericAggregationOperator::sum>(),
    OperatorRows::method<"Average()", &NumericAggregationOperator::average>(),
    OperatorRows::method<"Min()", &NumericAggregationOperator::min>(),
    OperatorRows::method<"Max()", &NumericAggregationOperator::max>(),
    OperatorRows::method<"Count()", &NumericAggregationOperator::count>(),
    OperatorRows::method<"StandardDeviation()", &NumericAggregationOperator::standardDeviation>(),
    OperatorRows::method<"RootMeanSquare()", &NumericAggregationOperator::rootMeanSquare>(),
    OperatorRows::method<"Percentile(percentile)", &percentile>(),
    OperatorRows::method<"Udf(source)", &udf>());

}  // namespace

template <>
ClassDefinition class_definition<model::AggregationBuilder>() {
  return {builder_methods.data()};
}
template <>
ClassDefinition class_definition<model::NumericAggregationOperator>() {
  return {operator_methods.data()};
}

}  // namespace veltrix_compute::python
