#include "veltrix_compute/builders/aggregation.h"

#include <utility>

#include "model_builders.h"

#include "veltrix_compute/string_constant_order.h"

namespace veltrix_compute {

namespace model = compute_api;
using model::AggregationBuilder;
using model::NumericAggregationOperator;
using model::NumericSeries;
using model::UdfSource;

namespace {

UdfSource rust_source(std::string source_code) {
  return UdfSource::rust(model::RustUdfSource{std::move(source_code)});
}

}  // namespace

AggregationBuilder aggregation_builder_rolling_time(model::Series input, model::Duration window) {
  return AggregationBuilder::rollingTime(model::RollingTimeAggregationBuilder{std::move(input), std::move(window)});
}
AggregationBuilder aggregation_builder_rolling_points(model::Series input, model::IntegerConstant points) {
  return AggregationBuilder::rollingPoints(model::RollingPointsAggregationBuilder{std::move(input), std::move(points)});
}
AggregationBuilder aggregation_builder_group_by(model::Series input, model::GroupByTags tags,
                                                model::GroupByTimestamp timestamp) {
  return AggregationBuilder::groupBy(
      model::GroupByAggregationBuilder{std::move(input), std::move(tags), std::move(timestamp)});
}

NumericSeries numeric_series_numeric_aggregation(AggregationBuilder builder, NumericAggregationOperator operator_) {
  return NumericSeries::numericAggregation(model::NumericAggregation{std::move(builder), std::move(operator_)});
}
NumericSeries numeric_series_numeric_aggregation_sum(AggregationBuilder builder) {
  return numeric_series_numeric_aggregation(std::move(builder), NumericAggregationOperator::sum());
}
NumericSeries numeric_series_numeric_aggregation_average(AggregationBuilder builder) {
  return numeric_series_numeric_aggregation(std::move(builder), NumericAggregationOperator::average());
}
NumericSeries numeric_series_numeric_aggregation_min(AggregationBuilder builder) {
  return numeric_series_numeric_aggregation(std::move(builder), NumericAggregationOperator::min());
}
NumericSeries numeric_series_numeric_aggregation_max(AggregationBuilder builder) {
  return numeric_series_numeric_aggregation(std::move(builder), NumericAggregationOperator::max());
}
NumericSeries numeric_series_numeric_aggregation_count(AggregationBuilder builder) {
  return numeric_series_numeric_aggregation(std::move(builder), NumericAggregationOperator::count());
}
NumericSeries numeric_series_numeric_aggregation_standard_deviation(AggregationBuilder builder) {
  return numeric_series_numeric_aggregation(std::move(builder), NumericAggregationOperator::standardDeviation());
}
NumericSeries numeric_series_numeric_aggregation_root_mean_square(AggregationBuilder builder) {
  return numeric_series_numeric_aggregation(std::move(builder), NumericAggregationOperator::rootMeanSquare());
}
NumericSeries numeric_series_numeric_aggregation_percentile(AggregationBuilder builder,
                                                            model::DoubleConstant percentile) {
  return numeric_series_numeric_aggregation(std::move(builder),
                                            NumericAggregationOperator::percentile(model::Percentile{std::move(percentile)}));
}
NumericSeries numeric_series_numeric_aggregation_udf(AggregationBuilder builder, UdfSource source) {
  return numeric_series_numeric_aggregation(std::move(builder),
                                            NumericAggregationOperator::udf(model::NumericAggregationUdf{std::move(source)}));
}
NumericSeries numeric_series_numeric_aggregation_udf_rust(AggregationBuilder builder, std::string source_code) {
  return numeric_series_numeric_aggregation_udf(std::move(builder), rust_source(std::move(source_code)));
}

NumericSeries numeric_series_udf(std::vector<model::Series> inputs, UdfSource source) {
  return NumericSeries::scalarUdf(model::ScalarUdfSeries::builder().inputs(std::move(inputs)).source(std::move(source)).build());
}
NumericSeries numeric_series_scalar_udf_rust(std::vector<model::Series> inputs, std::string source_code) {
  return numeric_series_udf(std::move(inputs), rust_source(std::move(source_code)));
}

model::Series series_from(NumericSeries series) { return model::Series::numeric(std::move(series)); }

model::GroupByTags group_by_tags_subset(std::vector<model::StringConstant> tags) {
  return model::GroupByTags::subset(model::GroupBySubsetTags{make_tag_set(std::move(tags))});
}

}  // namespace veltrix_compute
