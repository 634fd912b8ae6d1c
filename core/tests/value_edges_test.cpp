// Values at the edges of their lifetime: function variables nested to any depth, unions that
// were moved from, and a union moved into from its own child.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model.h"
#include "support/counted_cells.h"
#include "support/json_text.h"
#include "support/replaced_allocator.h"
#include "support/small_stack.h"
#include "veltrix_compute/internal_failure.h"

namespace vc = veltrix_compute;
using namespace veltrix_compute::compute_api;
using veltrix_test::CountedCells;
using veltrix_test::json_of;

namespace {

template <class T>
std::string failure_of(const T& value) {
  try {
    (void)vc::to_json_text(value);
  } catch (const vc::InternalFailure& failure) {
    return failure.what();
  }
  return "written";
}

NumericSeries raw(std::string name) { return NumericSeries::raw(Reference{std::move(name)}); }
StringConstant lit(std::string text) { return StringConstant::literal(std::move(text)); }

using Variables = vc::OrderedMap<std::string, VariableValue>;
using FunctionMap = vc::OrderedMap<std::string, FunctionVariables>;

// `depth` levels of function variables, each with a variable held in a cell. Each level but the
// deepest has three sub-functions, "a", "b" and "c", and goes on through the first, the middle or
// the last in turn; the other two hold only a variable. (Entries are moved into their vectors: a
// braced list would copy them.)
FunctionVariables leaf_function() { return {Variables::from_entries({{"v", VariableValue::string("x")}}), {}}; }
const char kFunctionKeys[] = "abc";

FunctionVariables function_chain(int depth) {
  FunctionVariables chain = leaf_function();
  for (int level = 1; level < depth; ++level) {
    std::vector<FunctionMap::Entry> sub;
    for (int at = 0; at < 3; ++at) {
      sub.emplace_back(std::string(1, kFunctionKeys[at]), at == level % 3 ? std::move(chain) : leaf_function());
    }
    chain = FunctionVariables{leaf_function().variables, FunctionMap::from_entries(std::move(sub))};
  }
  return chain;
}

std::string function_chain_json(int depth) {
  const std::string leaf = R"({"variables":{"v":{"type":"string","string":"x"}}})";
  std::string prefix, suffix;
  for (int level = depth - 1; level >= 1; --level) {
    prefix += leaf.substr(0, leaf.size() - 1) + R"(,"subFunctionVariables":{)";
    for (int at = 0; at < level % 3; ++at) prefix += "\"" + std::string(1, kFunctionKeys[at]) + "\":" + leaf + ",";
    prefix += "\"" + std::string(1, kFunctionKeys[level % 3]) + "\":";
  }
  for (int level = 1; level < depth; ++level) {
    for (int at = level % 3 + 1; at < 3; ++at) suffix += ",\"" + std::string(1, kFunctionKeys[at]) + "\":" + leaf;
    suffix += "}}";
  }
  return prefix + leaf + suffix;
}

// Copied by the engine and by the copy constructors and assignments, written and freed, on a
// stack that one frame per level would overflow many times over; every cell is freed, and the
// free asks for no memory.
TEST(NestedFunctionVariables, AnyDepthOnASmallStack) {
  veltrix_test::run_on_small_stack([] {
    constexpr int kDepth = 100000;
    CountedCells cells;
    {
      Context context;
      std::vector<FunctionMap::Entry> functions;
      functions.emplace_back("g", function_chain(kDepth));
      context.functionVariables.emplace(FunctionMap::from_entries(std::move(functions)));
      const VariableValue held = VariableValue::computeNode(ComputeNodeWithContext{ComputeNode::raw(Reference{"n"}), std::move(context)});
      const std::string expected =
          R"({"type":"computeNode","computeNode":{"seriesNode":{"type":"raw","raw":{"name":"n"}},)"
          R"("context":{"functionVariables":{"g":)" + function_chain_json(kDepth) + "}}}}";

      std::optional<VariableValue> by_engine(held);
      EXPECT_EQ(json_of(*by_engine), expected);
      std::optional<Context> by_constructor(held.as_computeNode().context);
      std::optional<Context> assigned(std::in_place);
      *assigned = *by_constructor;
      EXPECT_EQ(json_of(*assigned), json_of(held.as_computeNode().context));

      const long calls = veltrix_test::allocation_calls.load();
      by_engine.reset();
      by_constructor.reset();
      assigned.reset();
      EXPECT_EQ(veltrix_test::allocation_calls.load(), calls);
      EXPECT_EQ(CountedCells::live(), 3 * kDepth);  // held: its node and reference, three variables a level but one
    }
    EXPECT_EQ(CountedCells::live(), 0);
  });
}

// A chain through optionals (a selected series of a dataset that defines the next one): the free
// takes an optional's value as the one element it is, rather than leaving it to its destructor,
// one nested call a level.
TEST(DeepFree, ThroughOptionalsOnASmallStack) {
  veltrix_test::run_on_small_stack([] {
    CountedCells cells;
    {
      NumericSeries chain = raw("leaf");
      for (int i = 0; i < 100000; ++i) {
        Dataset defining = Dataset::withNumericSeries(
            WithNumericSeriesDataset{Dataset::asset(Asset{lit("a")}), lit("n"), std::move(chain)});
        chain = NumericSeries::selectNumeric(SelectSeries{lit("s"), std::move(defining), std::nullopt});
      }
    }
    EXPECT_EQ(CountedCells::live(), 0);
  });
}

// Assigned from a part of itself: the part is copied before the old value goes.
TEST(NestedFunctionVariables, AssignedFromItsOwnSubFunction) {
  FunctionVariables chain = function_chain(3);
  chain = chain.subFunctionVariables.entries()[2].second;
  EXPECT_EQ(json_of(chain), function_chain_json(2));
}

// A union moved from holds no variant: writing it is a bug of the caller's, reported as such,
// and it has no name, whether its variant was Unknown or another one held in a cell. Variants
// held in the handle itself keep theirs.
TEST(MovedFromUnion, IsReportedWhenWritten) {
  CountedCells cells;
  NumericSeries unknown = NumericSeries::unknown(vc::UnknownVariant{"future", vc::Any()});
  NumericSeries negate = NumericSeries::negate(Negate{raw("x")});
  const NumericSeries took_unknown(std::move(unknown));
  const NumericSeries took_negate = std::move(negate);
  for (const NumericSeries* moved : {&unknown, &negate}) {
    EXPECT_EQ(moved->variant_name(), "");
    EXPECT_EQ(failure_of(*moved), "an empty union value was written");
    MaxSeries max;
    max.inputs.push_back(raw("a"));
    max.inputs.push_back(*moved);
    EXPECT_EQ(failure_of(max), "an empty union value was written");
  }
  EXPECT_EQ(took_unknown.variant_name(), "future");
  VariableValue number = VariableValue::double_(2.5);
  const VariableValue took_number(std::move(number));
  EXPECT_EQ(number.variant_name(), "double");
  EXPECT_EQ(took_number.as_double(), 2.5);
}

// `a = std::move(a's child)` leaves exactly the child, through a cell or a list alike.
TEST(MovedFromUnion, MoveAssignedFromItsOwnDescendant) {
  CountedCells cells;
  {
    NumericSeries chain = NumericSeries::negate(Negate{NumericSeries::negate(Negate{raw("x")})});
    chain = std::move(const_cast<NumericSeries&>(chain.as_negate().x));
    EXPECT_EQ(json_of(chain), R"({"type":"negate","negate":{"x":{"type":"raw","raw":{"name":"x"}}}})");
    EXPECT_EQ(CountedCells::live(), 2);

    MaxSeries max;
    max.inputs.push_back(raw("a"));
    max.inputs.push_back(NumericSeries::negate(Negate{raw("b")}));
    NumericSeries holder = NumericSeries::max(std::move(max));
    holder = std::move(const_cast<NumericSeries&>(holder.as_max().inputs[1]));
    EXPECT_EQ(json_of(holder), R"({"type":"negate","negate":{"x":{"type":"raw","raw":{"name":"b"}}}})");
    EXPECT_EQ(CountedCells::live(), 4);

    holder = std::move(holder);  // a move onto itself keeps the value
    EXPECT_EQ(holder.variant_name(), "negate");
  }
  EXPECT_EQ(CountedCells::live(), 0);
}

}  // namespace
