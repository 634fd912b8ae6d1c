#include <gtest/gtest.h>

#include <string>

#include "builder_test_support.h"
#include "model.h"
#include "veltrix_compute/builders/aggregation.h"
#include "veltrix_compute/builders/time_operations.h"
#include "veltrix_compute/builders/time_unit.h"

namespace vc = veltrix_compute;
namespace model = veltrix_compute::compute_api;
using model::NegativeValueConfiguration;
using model::NumericSeries;
using vc::TimeUnit;

namespace {

using builder_tests::json;
using builder_tests::node;
using builder_tests::raw;

const std::string kInputA = R"({"input":{"type":"raw","raw":{"name":"a"}})";

const std::pair<TimeUnit, std::string> kUnits[] = {
    {TimeUnit::days, "days"},       {TimeUnit::hours, "hours"},
    {TimeUnit::minutes, "minutes"}, {TimeUnit::seconds, "seconds"},
    {TimeUnit::milliseconds, "milliseconds"}, {TimeUnit::microseconds, "microseconds"},
    {TimeUnit::nanoseconds, "nanoseconds"},
};

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

TEST(TimeUnits, ParseExactNamesAndMapToTheApiName) {
  for (const auto& [unit, name] : kUnits) {
    vc::TimeUnitParse parse = vc::time_unit_try_from(name);
    EXPECT_EQ(parse.value, unit) << name;
    EXPECT_EQ(json(vc::numeric_series_absolute_timestamp(model::Series::raw(model::Reference{"a"}), unit)),
              R"({"type":"absoluteTimestamp","absoluteTimestamp":)" + kInputA + R"(,"timeUnit":")" + upper(name) + "\"}}");
  }
  for (const char* text : {"Seconds", "SECONDS", "second", "s", "", " seconds"}) {
    vc::TimeUnitParse parse = vc::time_unit_try_from(text);
    EXPECT_FALSE(parse.value) << text;
    EXPECT_EQ(parse.error, std::string("Invalid custom type: ") + text);
  }
  EXPECT_EQ(vc::time_unit_try_from(" seconds").error, "Invalid custom type:  seconds");
}

TEST(TimeOperationBuilders, OptionalFieldsOnlyWhenGiven) {
  EXPECT_EQ(json(vc::numeric_series_derivative(raw("a"), std::nullopt, std::nullopt)),
            R"({"type":"derivative","derivative":)" + kInputA + "}}");
  EXPECT_EQ(json(vc::numeric_series_derivative(raw("a"), TimeUnit::milliseconds,
                                               NegativeValueConfiguration::setNegativeValuesToZero())),
            R"({"type":"derivative","derivative":)" + kInputA +
                R"(,"timeUnit":"MILLISECONDS","negativeValuesConfiguration":{"type":"setNegativeValuesToZero","setNegativeValuesToZero":{}}}})");
  EXPECT_EQ(json(vc::numeric_series_time_difference(vc::series_from(raw("a")), std::nullopt)),
            R"({"type":"timeDifference","timeDifference":{"input":{"type":"numeric","numeric":{"type":"raw","raw":{"name":"a"}}}}})");
  EXPECT_EQ(json(vc::numeric_series_value_difference(raw("a"), std::nullopt)),
            R"({"type":"valueDifference","valueDifference":)" + kInputA + "}}");
  EXPECT_EQ(json(vc::numeric_series_value_difference(raw("a"), NegativeValueConfiguration::allowNegativeValues())),
            R"({"type":"valueDifference","valueDifference":)" + kInputA +
                R"(,"negativeValuesConfiguration":{"type":"allowNegativeValues","allowNegativeValues":{}}}})");
  EXPECT_EQ(json(vc::numeric_series_to_start_of_interval(
                raw("a"), model::Duration::days(model::DurationDays{model::IntegerConstant::literal(1)}))),
            R"({"type":"toStartOfInterval","toStartOfInterval":)" + kInputA +
                R"(,"window":{"type":"days","days":{"days":{"type":"literal","literal":1}}}}})");
}
