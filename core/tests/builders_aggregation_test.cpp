#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder_test_support.h"
#include "model.h"
#include "veltrix_compute/builders/aggregation.h"

namespace vc = veltrix_compute;
namespace model = veltrix_compute::compute_api;
using model::AggregationBuilder;
using model::NumericAggregationOperator;
using model::NumericSeries;
using model::StringConstant;

namespace {

using builder_tests::json;
using builder_tests::node;

model::Series raw(std::string name) { return model::Series::raw(model::Reference{std::move(name)}); }
model::UdfSource rust(std::string code) { return model::UdfSource::rust(model::RustUdfSource{std::move(code)}); }

AggregationBuilder rolling_speed() {
  return vc::aggregation_builder_rolling_points(
      vc::series_from(NumericSeries::raw(model::Reference{"speed"})), model::IntegerConstant::literal(5));
}
const std::string kRollingSpeed = node(
    "rollingPoints", R"({"input":{"type":"numeric","numeric":{"type":"raw","raw":{"name":"speed"}}},"points":{"type":"literal","literal":5}})");
std::string aggregation_json(const std::string& operator_json) {
  return node("numericAggregation", R"({"input":)" + kRollingSpeed + R"(,"operator":)" + operator_json + "}");
}

}  // namespace

TEST(AggregationBuilders, MakersKeepArgumentOrder) {
  EXPECT_EQ(json(vc::aggregation_builder_rolling_time(raw("s"), model::Duration::reference(model::Reference{"w"}))),
            node("rollingTime", R"({"input":{"type":"raw","raw":{"name":"s"}},"window":{"type":"reference","reference":{"name":"w"}}})"));
  EXPECT_EQ(json(vc::aggregation_builder_group_by(raw("s"), model::GroupByTags::current(), model::GroupByTimestamp::current())),
            node("groupBy", R"({"input":{"type":"raw","raw":{"name":"s"}},"tags":{"type":"current","current":{}},)"
                            R"("timestamp":{"type":"current","current":{}}})"));
}

TEST(AggregationBuilders, FixedOperatorFormsEqualTheGeneralForm) {
  struct Case {
    NumericSeries (*build)(AggregationBuilder);
    NumericAggregationOperator (*make)();
    const char* variant;
  };
  const Case cases[] = {
      {vc::numeric_series_numeric_aggregation_sum, NumericAggregationOperator::sum, "sum"},
      {vc::numeric_series_numeric_aggregation_average, NumericAggregationOperator::average, "average"},
      {vc::numeric_series_numeric_aggregation_min, NumericAggregationOperator::min, "min"},
      {vc::numeric_series_numeric_aggregation_max, NumericAggregationOperator::max, "max"},
      {vc::numeric_series_numeric_aggregation_count, NumericAggregationOperator::count, "count"},
      {vc::numeric_series_numeric_aggregation_standard_deviation, NumericAggregationOperator::standardDeviation,
       "standardDeviation"},
      {vc::numeric_series_numeric_aggregation_root_mean_square, NumericAggregationOperator::rootMeanSquare,
       "rootMeanSquare"},
  };
  for (const Case& c : cases) {
    const std::string fixed = json(c.build(rolling_speed()));
    EXPECT_EQ(fixed, aggregation_json(node(c.variant, "{}")));
    EXPECT_EQ(fixed, json(vc::numeric_series_numeric_aggregation(rolling_speed(), c.make())));
  }
  EXPECT_EQ(json(vc::numeric_series_numeric_aggregation_percentile(rolling_speed(), model::DoubleConstant::literal(0.5))),
            aggregation_json(node("percentile", R"({"percentile":{"type":"literal","literal":0.5}})")));
  const std::string empty_rust = aggregation_json(node("udf", R"({"source":{"type":"rust","rust":{"sourceCode":""}}})"));
  EXPECT_EQ(json(vc::numeric_series_numeric_aggregation_udf_rust(rolling_speed(), "")), empty_rust);
  EXPECT_EQ(json(vc::numeric_series_numeric_aggregation_udf(rolling_speed(), rust(""))), empty_rust);
}

TEST(AggregationBuilders, UdfSeriesKeepInputsInOrder) {
  const std::string source = R"("source":{"type":"rust","rust":{"sourceCode":" x "}})";
  EXPECT_EQ(json(vc::numeric_series_udf({}, rust(" x "))), node("scalarUdf", "{" + source + "}"));
  std::vector<model::Series> inputs;
  inputs.push_back(raw("b"));
  inputs.push_back(raw("a"));
  EXPECT_EQ(json(vc::numeric_series_scalar_udf_rust(std::move(inputs), " x ")),
            node("scalarUdf", R"({"inputs":[{"type":"raw","raw":{"name":"b"}},{"type":"raw","raw":{"name":"a"}}],)" + source + "}"));
}

TEST(AggregationBuilders, GroupByTagsSubsetIsATagSet) {
  EXPECT_EQ(json(vc::group_by_tags_subset({StringConstant::literal("b"), StringConstant::literal("a"), StringConstant::literal("b")})),
            node("subset", R"({"tags":[{"type":"literal","literal":"a"},{"type":"literal","literal":"b"}]})"));
  EXPECT_EQ(json(vc::group_by_tags_subset({})), node("subset", "{}"));
}
