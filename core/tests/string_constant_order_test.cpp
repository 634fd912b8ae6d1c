#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model.h"
#include "support/json_text.h"
#include "veltrix_compute/string_constant_order.h"

namespace vc = veltrix_compute;
namespace model = veltrix_compute::compute_api;
using model::StringConstant;

namespace {

StringConstant lit(std::string text) { return StringConstant::literal(std::move(text)); }
StringConstant var(std::string text) { return StringConstant::variable(std::move(text)); }
StringConstant unknown(std::string name, vc::Any payload) {
  return StringConstant::unknown(vc::UnknownVariant{std::move(name), std::move(payload)});
}

std::string set_json(std::vector<StringConstant> list) { return vc::to_json_text(vc::make_tag_set(std::move(list))).text; }

}  // namespace

TEST(StringConstantOrder, StrictlyAscendingPairs) {
  struct Case {
    const char* what;
    StringConstant less;
    StringConstant greater;
  };
  const Case cases[] = {
      {"empty literal first", lit(""), lit("a")},
      {"empty literal before variables", lit(""), var("")},
      {"variant before text", lit("zz"), var("a")},
      {"prefix first", lit("a"), lit("ab")},
      {"first differing byte", lit("ab"), lit("b")},
      {"no case folding", lit("Z"), lit("a")},
      {"bytes are unsigned", lit("az"), lit("a\xC3\xA9")},
      {"variables by text", var("a"), var("b")},
      {"variable before unknown", var("zz"), unknown("a", vc::Any())},
      {"unknowns by name", unknown("a", vc::Any::from_i32(9)), unknown("b", vc::Any::from_i32(1))},
      {"unknowns then by payload", unknown("a", vc::Any::from_i32(1)), unknown("a", vc::Any::from_i32(2))},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(vc::compare_string_constants(c.less, c.greater) < 0) << c.what;
    EXPECT_TRUE(vc::compare_string_constants(c.greater, c.less) > 0) << c.what;
    EXPECT_TRUE(vc::compare_string_constants(c.greater, c.greater) == 0) << c.what;
  }
}

TEST(StringConstantOrder, TagSetSortsAndDropsRepeats) {
  EXPECT_EQ(set_json({}), "[]");
  EXPECT_EQ(set_json({lit("x"), lit("x"), lit("x")}), R"([{"type":"literal","literal":"x"}])");
  EXPECT_EQ(set_json({var("x"), lit("x")}),
            R"([{"type":"literal","literal":"x"},{"type":"variable","variable":"x"}])");
  EXPECT_EQ(set_json({lit("b"), var("a"), lit("a"), lit("b")}),
            R"([{"type":"literal","literal":"a"},{"type":"literal","literal":"b"},{"type":"variable","variable":"a"}])");
}
