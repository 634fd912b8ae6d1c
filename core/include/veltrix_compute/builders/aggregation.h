// Builders of aggregations: the three AggregationBuilder makers, the numeric aggregation with
// its fixed-operator forms, the scalar UDF series, the conversion of a numeric series into a
// Series, and the tag subset of a grouping.
//
// Same contract as the numeric-series builders: arguments by value and moved in, no copies,
// no validation, no failure but std::bad_alloc.
#pragma once

#include <string>
#include <vector>

#include "model.h"

namespace veltrix_compute {

compute_api::AggregationBuilder aggregation_builder_rolling_time(compute_api::Series input, compute_api::Duration window);
compute_api::AggregationBuilder aggregation_builder_rolling_points(compute_api::Series input,
                                                                   compute_api::IntegerConstant points);
compute_api::AggregationBuilder aggregation_builder_group_by(compute_api::Series input, compute_api::GroupByTags tags,
                                                             compute_api::GroupByTimestamp timestamp);

// The aggregation of `builder` by `operator_`, stored unchanged.
compute_api::NumericSeries numeric_series_numeric_aggregation(compute_api::AggregationBuilder builder,
                                                              compute_api::NumericAggregationOperator operator_);
// The same with an operator the form makes itself.
compute_api::NumericSeries numeric_series_numeric_aggregation_sum(compute_api::AggregationBuilder builder);
compute_api::NumericSeries numeric_series_numeric_aggregation_average(compute_api::AggregationBuilder builder);
compute_api::NumericSeries numeric_series_numeric_aggregation_min(compute_api::AggregationBuilder builder);
compute_api::NumericSeries numeric_series_numeric_aggregation_max(compute_api::AggregationBuilder builder);
compute_api::NumericSeries numeric_series_numeric_aggregation_count(compute_api::AggregationBuilder builder);
compute_api::NumericSeries numeric_series_numeric_aggregation_standard_deviation(compute_api::AggregationBuilder builder);
compute_api::NumericSeries numeric_series_numeric_aggregation_root_mean_square(compute_api::AggregationBuilder builder);
// The percentile is stored as given; no range is implied (neither 0..1 nor 0..100).
compute_api::NumericSeries numeric_series_numeric_aggregation_percentile(compute_api::AggregationBuilder builder,
                                                                         compute_api::DoubleConstant percentile);
compute_api::NumericSeries numeric_series_numeric_aggregation_udf(compute_api::AggregationBuilder builder,
                                                                  compute_api::UdfSource source);
// The source text is wrapped in a `rust` UdfSource unparsed and unchecked.
compute_api::NumericSeries numeric_series_numeric_aggregation_udf_rust(compute_api::AggregationBuilder builder,
                                                                       std::string source_code);

// Scalar UDF series over `inputs`, kept in order (possibly empty).
compute_api::NumericSeries numeric_series_udf(std::vector<compute_api::Series> inputs, compute_api::UdfSource source);
compute_api::NumericSeries numeric_series_scalar_udf_rust(std::vector<compute_api::Series> inputs,
                                                          std::string source_code);

// The `Series::from` conversion: the `numeric` Series holding `series`. Series is a generated
// class, so the conversion lives here as a free function.
compute_api::Series series_from(compute_api::NumericSeries series);

// The `subset` grouping over the tag set of `tags` (sorted, repeats dropped).
compute_api::GroupByTags group_by_tags_subset(std::vector<compute_api::StringConstant> tags);

}  // namespace veltrix_compute
