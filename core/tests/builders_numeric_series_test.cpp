#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder_test_support.h"
#include "model.h"
#include "veltrix_compute/builders/numeric_series.h"

namespace vc = veltrix_compute;
namespace model = veltrix_compute::compute_api;
using model::IntegerConstant;
using model::NumericSeries;

namespace {

using builder_tests::json;
using builder_tests::node;
using builder_tests::raw;

std::string raw_json(const std::string& name) { return node("raw", R"({"name":")" + name + R"("})"); }

}  // namespace

TEST(NumericSeriesBuilders, BinaryOperandsKeepTheirPlaces) {
  struct Case {
    NumericSeries (*build)(NumericSeries, NumericSeries);
    const char* variant;
    std::string first, second;
  };
  const Case cases[] = {
      {vc::numeric_series_add, "add", "left", "right"},
      {vc::numeric_series_subtract, "subtract", "left", "right"},
      {vc::numeric_series_multiply, "multiply", "left", "right"},
      {vc::numeric_series_divide, "divide", "left", "right"},
      {vc::numeric_series_floor_divide, "floorDivide", "left", "right"},
      {vc::numeric_series_modulo, "modulo", "left", "right"},
      {vc::numeric_series_power, "power", "base", "exponent"},
      {vc::atan2, "atan2", "y", "x"},
  };
  for (const Case& c : cases) {
    for (auto [a, b] : {std::pair{"a", "b"}, std::pair{"b", "a"}}) {
      EXPECT_EQ(json(c.build(raw(a), raw(b))),
                node(c.variant, "{\"" + c.first + "\":" + raw_json(a) + ",\"" + c.second + "\":" + raw_json(b) + "}"));
    }
  }
}

TEST(NumericSeriesBuilders, MultiInputKeepsTheListAsGiven) {
  struct Case {
    NumericSeries (*build)(std::vector<NumericSeries>);
    const char* variant;
  };
  const Case cases[] = {{vc::max, "max"}, {vc::mean, "mean"}, {vc::min, "min"}, {vc::sum, "sum"}, {vc::product, "product"}};
  for (const Case& c : cases) {
    EXPECT_EQ(json(c.build({})), node(c.variant, "{}"));
    EXPECT_EQ(json(c.build({raw("b"), raw("a"), raw("b")})),
              node(c.variant, R"({"inputs":[)" + raw_json("b") + "," + raw_json("a") + "," + raw_json("b") + "]}"));
  }
}

TEST(NumericSeriesBuilders, IntegerOperandStoredAsGiven) {
  struct Case {
    NumericSeries (*build)(NumericSeries, IntegerConstant);
    const char* variant;
    std::string key;
  };
  const Case cases[] = {
      {vc::numeric_series_bit_and, "bitAnd", "operand"},
      {vc::numeric_series_bit_or, "bitOr", "operand"},
      {vc::numeric_series_bit_xor, "bitXor", "operand"},
      {vc::numeric_series_bit_shift_right, "bitShiftRight", "operand"},
      {vc::numeric_series_bit_shift_left, "bitShiftLeft", "operand"},
      {vc::numeric_series_bit_test, "bitTest", "index"},
      {vc::numeric_series_head, "selectOldestPoints", "numPoints"},
      {vc::numeric_series_tail, "selectNewestPoints", "numPoints"},
      {vc::numeric_series_nth_point_downsample, "nthPointDownsample", "n"},
      {vc::numeric_series_largest_triangle_three_buckets, "largestTriangleThreeBuckets", "maxPointsToReturn"},
  };
  for (const Case& c : cases) {
    for (int value : {10, -3}) {
      EXPECT_EQ(json(c.build(raw("speed"), IntegerConstant::literal(value))),
                node(c.variant, R"({"input":)" + raw_json("speed") + ",\"" + c.key + "\":" +
                                    node("literal", std::to_string(value)) + "}"));
    }
  }
}

TEST(NumericSeriesBuilders, SelectNumericWritesDatasetOnlyWhenGiven) {
  const std::string speed = R"({"name":{"type":"literal","literal":"speed"})";
  auto name = [] { return model::StringConstant::literal("speed"); };
  EXPECT_EQ(json(vc::numeric_series_select_numeric(name(), std::nullopt)), node("selectNumeric", speed + "}"));
  auto dataset = model::Dataset::reference(model::DatasetReference{model::StringConstant::variable("d")});
  EXPECT_EQ(json(vc::numeric_series_select_numeric(name(), std::move(dataset))),
            node("selectNumeric", speed + R"(,"dataset":)" + node("reference", R"({"name":{"type":"variable","variable":"d"}})") + "}"));
}

// A union's payload lives in a heap cell that moves with it, so an argument that was moved in
// keeps its payload's address; a copy would have made new cells.
TEST(NumericSeriesBuilders, ArgumentsAreMovedNotCopied) {
  auto large = [] {
    std::vector<NumericSeries> references;
    for (int i = 0; i < 10000; ++i) references.push_back(raw("r" + std::to_string(i)));
    return vc::sum(std::move(references));
  };
  NumericSeries a = large();
  NumericSeries b = large();
  const model::SumSeries* a_cell = &a.as_sum();
  const NumericSeries* b_items = b.as_sum().inputs.data();
  std::vector<NumericSeries> inputs;
  inputs.push_back(std::move(a));
  inputs.push_back(std::move(b));
  const NumericSeries* list = inputs.data();

  NumericSeries total = vc::numeric_series_divide(vc::sum(std::move(inputs)), raw("x"));
  const model::SumSeries& sum = total.as_divide().left.as_sum();
  EXPECT_EQ(sum.inputs.data(), list);
  EXPECT_EQ(&sum.inputs[0].as_sum(), a_cell);
  EXPECT_EQ(sum.inputs[1].as_sum().inputs.data(), b_items);
}
