#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder_test_support.h"
#include "model.h"
#include "support/json_text.h"
#include "model_builders.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace vc = veltrix_compute;
namespace model = veltrix_compute::compute_api;
using model::Dataset;
using model::DoubleConstant;
using model::Duration;
using model::StringConstant;

namespace {

using builder_tests::json;
using builder_tests::node;

Dataset dataset() { return Dataset::reference(model::DatasetReference{StringConstant::variable("d")}); }
const std::string kDataset = node("reference", R"({"name":{"type":"variable","variable":"d"}})");
Duration days(int n) { return Duration::days(model::DurationDays{model::IntegerConstant::literal(n)}); }
Duration hours(int n) { return Duration::hours(model::DurationHours{model::IntegerConstant::literal(n)}); }
const std::string kOneDay = node("days", R"({"days":{"type":"literal","literal":1}})");
model::NumericSeries raw_a() { return model::NumericSeries::raw(model::Reference{"a"}); }
const std::string kInputA = R"({"input":{"type":"raw","raw":{"name":"a"}})";
std::string literal(const std::string& text) { return R"({"type":"literal","literal":")" + text + "\"}"; }

}  // namespace

TEST(DatasetBuilders, FieldsInRecordOrderListsKept) {
  EXPECT_EQ(json(vc::dataset_tag(dataset(), StringConstant::literal("k"), StringConstant::literal("v"))),
            node("tag", R"({"input":)" + kDataset + R"(,"key":)" + literal("k") + R"(,"value":)" + literal("v") + "}"));
  EXPECT_EQ(json(vc::dataset_combine({})), node("combine", "{}"));
  std::vector<Dataset> twice;
  twice.push_back(dataset());
  twice.push_back(dataset());
  EXPECT_EQ(json(vc::dataset_combine(std::move(twice))), node("combine", R"({"inputs":[)" + kDataset + "," + kDataset + "]}"));
  EXPECT_EQ(json(vc::dataset_time_shift(dataset(), days(1))),
            node("timeShift", R"({"input":)" + kDataset + R"(,"offset":)" + kOneDay + "}"));
}

TEST(DurationBuilders, FirstArgumentIsLeft) {
  const std::string operands =
      R"({"left":)" + kOneDay + R"(,"right":)" + node("hours", R"({"hours":{"type":"literal","literal":2}})") + "}";
  EXPECT_EQ(json(vc::duration_add(days(1), hours(2))), node("add", operands));
  EXPECT_EQ(json(vc::duration_subtract(days(1), hours(2))), node("subtract", operands));
}

TEST(RangeMapBuilders, OutputWrittenLastBoundsOnlyWhenGiven) {
  const std::string output = R"("output":)" + literal("high") + "}";
  auto high = [] { return StringConstant::literal("high"); };
  EXPECT_EQ(json(vc::range_map_create(high(), DoubleConstant::literal(10.0), std::nullopt)),
            R"({"start":{"type":"literal","literal":10.0},)" + output);
  EXPECT_EQ(json(vc::range_map_create(high(), std::nullopt, DoubleConstant::variable("e"))),
            R"({"end":{"type":"variable","variable":"e"},)" + output);
  EXPECT_EQ(json(vc::range_map_create(high(), std::nullopt, std::nullopt)), "{" + output);

  EXPECT_EQ(json(vc::categorical_series_value_map(raw_a(), {}, std::nullopt)), node("valueMap", kInputA + "}"));
  std::vector<model::RangeMap> mapping;
  mapping.push_back(vc::range_map_create(StringConstant::literal("z"), std::nullopt, std::nullopt));
  mapping.push_back(vc::range_map_create(StringConstant::literal("a"), std::nullopt, std::nullopt));
  EXPECT_EQ(json(vc::categorical_series_value_map(raw_a(), std::move(mapping), StringConstant::literal("none"))),
            node("valueMap", kInputA + R"(,"mapping":[{"output":)" + literal("z") + R"(},{"output":)" + literal("a") +
                                 R"(}],"default":)" + literal("none") + "}"));
}

TEST(SelectTagsBuilder, TagKeysSortedWithoutRepeats) {
  EXPECT_EQ(json(vc::numeric_series_select_tags(raw_a(), {})), node("selectTags", kInputA + "}"));
  EXPECT_EQ(json(vc::numeric_series_select_tags(raw_a(), {StringConstant::variable("site"), StringConstant::literal("unit"),
                                                          StringConstant::literal("asset"), StringConstant::literal("unit")})),
            node("selectTags", kInputA + R"(,"tagKeys":[)" + literal("asset") + "," + literal("unit") +
                                   R"(,{"type":"variable","variable":"site"}]})"));
}

template <class Builder>
concept CanBuild = requires(Builder builder) { std::move(builder).build(); };

// The staged builder of a record with required fields: build() exists only once each is given.
TEST(StagedBuilder, RequiredFieldsUnlockBuild) {
  auto builder = veltrix_compute::compute_api::RangeMap::builder().end(veltrix_compute::compute_api::DoubleConstant::literal(2.0));
  static_assert(!CanBuild<decltype(builder)>);
  veltrix_compute::compute_api::RangeMap map = std::move(builder).output(veltrix_compute::compute_api::StringConstant::literal("x")).build();
  EXPECT_EQ(veltrix_compute::to_json_text(map).text,
            R"({"end":{"type":"literal","literal":2.0},"output":{"type":"literal","literal":"x"}})");
}
