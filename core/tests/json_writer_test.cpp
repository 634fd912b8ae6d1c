#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iomanip>
#include <limits>
#include <string>

#include "model.h"
#include "support/json_text.h"

namespace vc = veltrix_compute;
namespace json = veltrix_compute::json;
namespace model = veltrix_compute::compute_api;

namespace {

template <class T>
std::string written(const T& value) {
  json::Buffer out;
  json::write_json(out, value);
  return std::string(out.view());
}

std::string written_float32(const float& value) {
  json::Buffer out;
  json::write_float32(out, value);
  return std::string(out.view());
}

template <class Number>
struct Layout {
  Number value;
  const char* text;
};

template <class Number>
void expect_layouts(std::string (*write)(const Number&), std::initializer_list<Layout<Number>> cases) {
  for (const Layout<Number>& c : cases) {
    EXPECT_EQ(write(c.value), c.text) << std::setprecision(17) << c.value;
  }
}

}  // namespace

TEST(MainRoad, HeadOfReference) {
  auto head = model::NumericSeries::selectOldestPoints(model::SelectOldestPointsSeries{
      model::NumericSeries::raw(model::Reference{"speed"}), model::IntegerConstant::literal(10)});
  EXPECT_EQ(vc::to_json_text(head).text,
            R"({"type":"selectOldestPoints","selectOldestPoints":{"input":{"type":"raw","raw":{"name":"speed"}},"numPoints":{"type":"literal","literal":10}}})");
}

TEST(JsonWriter, DoubleLayout) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  expect_layouts<double>(written<double>, {
      {1, "1.0"},
      {100, "100.0"},
      {1e15, "1000000000000000.0"},
      {9007199254740991.0, "9007199254740991.0"},  // 2^53 - 1, the last whole number written as an integer
      {9999999999999998.0, "9999999999999998.0"},  // the largest whole number below 1e16 with 16 digits
      {123456789.125, "123456789.125"},
      {0.1 + 0.2, "0.30000000000000004"},  // 17 significant digits
      {0.00001, "0.00001"},
      {0.000123, "0.000123"},
      {1e16, "1e+16"},
      {1.2345678901234568e17, "1.2345678901234568e+17"},
      {1e21, "1e+21"},
      {1.5e300, "1.5e+300"},
      {1e-6, "1e-6"},
      {1e-7, "1e-7"},
      {2.5e-10, "2.5e-10"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {-2.5, "-2.5"},
      {-1e16, "-1e+16"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {std::nan(""), "null"},
      {kInf, "null"},
      {-kInf, "null"},
  });
}

TEST(JsonWriter, Float32Layout) {
  // Nine digits at most, and the plain layout for decimal exponents -6..12.
  expect_layouts<float>(written_float32, {
      {0.1f, "0.1"},
      {1.0f, "1.0"},
      {1e12f, "1000000000000.0"},
      {1e13f, "1e+13"},
      {1e-6f, "0.000001"},
      {1e-7f, "1e-7"},
      {16777217.0f, "16777216.0"},
      {3.4028235e38f, "3.4028235e+38"},
      {-0.0f, "-0.0"},
      {std::numeric_limits<float>::quiet_NaN(), "null"},
      {-std::numeric_limits<float>::infinity(), "null"},
  });
}

TEST(JsonWriter, IntegersAndBooleans) {
  EXPECT_EQ(written(std::int32_t{0}), "0");
  EXPECT_EQ(written(std::int32_t{-5}), "-5");
  EXPECT_EQ(written(std::numeric_limits<std::int32_t>::max()), "2147483647");
  EXPECT_EQ(written(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(written(std::int64_t{0}), "0");
  EXPECT_EQ(written(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
  EXPECT_EQ(written(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(written(true), "true");
  EXPECT_EQ(written(false), "false");
}

TEST(JsonWriter, StringEscapes) {
  const struct {
    std::string text;
    const char* json;
  } cases[] = {
      {"", R"("")"},
      {"a\"b\\c\td\ne\x01" "f/\x7f\xc3\xa9", "\"a\\\"b\\\\c\\td\\ne\\u0001f/\x7f\xc3\xa9\""},
      {std::string("x\0y", 3), R"("x\u0000y")"},  // written by length, not up to the NUL
      {"\x0b\x1f\b\f\r", R"("\u000b\u001f\b\f\r")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(written(c.text), c.json);
  }
}

TEST(JsonWriter, BufferGrows) {
  // One string much larger than the initial capacity, mixing plain runs and escapes.
  std::string text;
  std::string expected = "\"";
  for (int i = 0; i < 5000; ++i) {
    text += "abc\"\x02";
    expected += "abc\\\"\\u0002";
  }
  expected += "\"";
  EXPECT_EQ(written(text), expected);

  // Many small appends after the buffer already holds text.
  json::Buffer out;
  std::string many;
  for (std::int32_t i = 0; i < 20000; ++i) {
    out.put(',');
    json::write_json(out, i);
    many += ',' + std::to_string(i);
  }
  EXPECT_EQ(out.view(), many);
  EXPECT_GE(out.size(), json::Buffer::kInitialCapacity);
}
