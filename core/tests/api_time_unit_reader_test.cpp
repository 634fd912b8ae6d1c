#include "support/json_text.h"
#include "veltrix_compute/api_time_unit_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "veltrix_compute/model_support.h"

namespace veltrix_compute {
namespace {

constexpr const char* kNoMatch = "data did not match any variant of untagged enum TimeUnit";

TEST(ApiTimeUnitReader, ReadsNamedAndUnknownUnits) {
  for (std::string_view name : api::TimeUnit::kNames) {
    const ApiTimeUnitRead read = read_api_time_unit("\"" + std::string(name) + "\"");
    ASSERT_TRUE(read.value) << name << ": " << read.error;
    EXPECT_EQ(read.value->name(), name);
    EXPECT_NE(read.value->value(), api::TimeUnit::Value::Unknown);
  }
  struct Case {
    const char* json;
    api::TimeUnit::Value value;
  };
  const Case cases[] = {
      {" \t\r\n\"DAYS\"  \n", api::TimeUnit::Value::DAYS},
      {"\"\\u0048OURS\"", api::TimeUnit::Value::HOURS},
      {"{\"SECONDS\":null}", api::TimeUnit::Value::SECONDS},
      {"{ \"NANO\\u0053ECONDS\" : null }", api::TimeUnit::Value::NANOSECONDS},
      {"\"WEEK_2\"", api::TimeUnit::Value::Unknown},
  };
  for (const Case& c : cases) {
    const ApiTimeUnitRead read = read_api_time_unit(c.json);
    ASSERT_TRUE(read.value) << c.json << ": " << read.error;
    EXPECT_EQ(read.value->value(), c.value) << c.json;
  }
  const ApiTimeUnitRead week = read_api_time_unit("\"WEEK_2\"");
  EXPECT_EQ(to_json_text(*week.value).text, "\"WEEK_2\"");
}

TEST(ApiTimeUnitReader, RefusesWellFormedValuesThatAreNoUnit) {
  for (const char* json : {"\"\"", "\"days\"", "\"Days\"", "\"DAY S\"", "\"\\ud83d\\ude00\"", "7", "null",
                           "[\"DAYS\"]", "{\"SECONDS\":0}", "{}", "{\"SECONDS\":null,\"DAYS\":null}",
                           "{\"WEEKS\":null}", "7 x"}) {
    const ApiTimeUnitRead read = read_api_time_unit(json);
    EXPECT_FALSE(read.value) << json;
    EXPECT_EQ(read.error, kNoMatch) << json;
  }
}

TEST(ApiTimeUnitReader, ReportsMalformedTextWithItsPlace) {
  struct Case {
    std::string json;
    const char* error;
  };
  const Case cases[] = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"  \n ", "EOF while parsing a value at line 2 column 1"},
      {"\"DAYS\" x", "trailing characters at line 1 column 8"},
      {"\"DAYS\"\n\n  }", "trailing characters at line 3 column 3"},
      {"\"DAYS", "EOF while parsing a string at line 1 column 5"},
      {"[1,", "EOF while parsing a value at line 1 column 3"},
      {"[1", "EOF while parsing a list at line 1 column 2"},
      {"{\"a\":null", "EOF while parsing an object at line 1 column 9"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {"[1 2]", "expected ',' or ']' at line 1 column 4"},
      {"{\"a\" null}", "expected ':' at line 1 column 6"},
      {"{1:null}", "key must be a string at line 1 column 2"},
      {"nul", "EOF while parsing a value at line 1 column 3"},
      {"nulL", "invalid literal at line 1 column 4"},
      {"-x", "invalid number at line 1 column 2"},
      {"1.e5", "invalid number at line 1 column 3"},
      {"x", "expected value at line 1 column 1"},
      {"\"\\q\"", "invalid escape at line 1 column 3"},
      {"\"\\u00G0\"", "invalid escape at line 1 column 6"},
      {"\"\\ud83d\"", "unpaired surrogate in escape at line 1 column 8"},
      {"\"\\ude00\"", "unpaired surrogate in escape at line 1 column 7"},
      {"\"a\tb\"", "control character in string at line 1 column 3"},
      {std::string(129, '['), "recursion limit exceeded at line 1 column 129"},
  };
  for (const Case& c : cases) {
    const ApiTimeUnitRead read = read_api_time_unit(c.json);
    EXPECT_FALSE(read.value) << c.json;
    EXPECT_EQ(read.error, c.error) << c.json;
  }
  // 128 levels are still read; the value is then just not a unit.
  EXPECT_EQ(read_api_time_unit(std::string(128, '[') + std::string(128, ']')).error, kNoMatch);
}

}  // namespace
}  // namespace veltrix_compute
