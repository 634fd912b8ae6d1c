// Running out of memory midway through a deep copy or a JSON write: every allocation made so
// far is freed and the source is left as it was. Failures are injected by the test binary's own
// operator new (support/replaced_allocator.h).

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "veltrix_compute/cell_memory.h"

#include "model.h"
#include "support/counted_cells.h"
#include "support/json_text.h"
#include "model_builders.h"
#include "support/replaced_allocator.h"
#include "veltrix_compute/builders/aggregation.h"
#include "veltrix_compute/builders/datasets_and_durations.h"
#include "veltrix_compute/builders/numeric_series.h"
#include "veltrix_compute/string_constant_order.h"

using namespace veltrix_test;
namespace vc = veltrix_compute;
namespace model = veltrix_compute::compute_api;
using vc::Any;
using model::NumericSeries;
using model::StringConstant;

namespace {

std::string text_of(std::string base, int i) {
  // Longer than the short-string buffer, so that every name is an allocation of its own.
  return base + "_with_a_name_long_enough_" + std::to_string(i);
}

StringConstant literal(std::string text) { return StringConstant::literal(std::move(text)); }
StringConstant variable(std::string text) { return StringConstant::variable(std::move(text)); }

NumericSeries raw(int i) { return NumericSeries::raw(model::Reference{text_of("series", i)}); }

model::DurationConstant seconds(std::int64_t value) {
  return model::DurationConstant::literal(vc::run_api::Duration{value, 0});
}

model::InterpolationConfiguration forward_fill(std::int64_t radius) {
  return model::InterpolationConfiguration::forwardFillInterpolation(model::ForwardFillInterpolation{seconds(radius)});
}

// An Any with scalars, text, bytes and nested sequences and maps.
Any any_payload(int i) {
  Any::Sequence inner;
  inner.push_back(Any::from_i64(i));
  inner.push_back(Any::from_string(text_of("inner", i)));
  inner.push_back(Any::from_bytes({1, 2, static_cast<std::uint8_t>(i)}));
  inner.push_back(Any::from_sequence({Any::from_f64(i + 0.5), Any()}));
  Any::Map entries;
  entries.emplace_back(Any::from_string(text_of("list", i)), Any::from_sequence(std::move(inner)));
  entries.emplace_back(Any::from_string("flag"), Any::from_bool(i % 2 == 0));
  entries.emplace_back(Any::from_i32(i), Any::from_map({{Any::from_string(text_of("key", i)), Any::from_u128(i)}}));
  entries.emplace_back(Any::from_char(U'\u00e9'), Any::from_f32(1.25f));
  return Any::from_map(std::move(entries));
}

vc::UnknownVariant unknown_variant(int i) { return vc::UnknownVariant{text_of("futureVariant", i), any_payload(i)}; }

model::Dataset dataset(int i) {
  return vc::dataset_tag(model::Dataset::asset(model::Asset{literal(text_of("asset", i))}), literal("tagKey"),
                         variable(text_of("tagValue", i)));
}

// A Context with every member present: variables, optional maps (one of them present but
// empty), dataset references and a fill strategy.
model::Context context(int i) {
  using Variables = vc::OrderedMap<std::string, model::VariableValue>;
  Variables variables = Variables::from_entries({
      {text_of("x", i), model::VariableValue::double_(i * 1.5)},
      {text_of("n", i), model::VariableValue::integer(i)},
      {text_of("s", i), model::VariableValue::string(text_of("value", i))},
      {text_of("set", i), model::VariableValue::stringSet(vc::OrderedSet<std::string>::from_list(
                              {text_of("b", i), text_of("a", i)},
                              [](const std::string& a, const std::string& b) { return vc::compare_key(a, b); }))},
      {text_of("ch", i), model::VariableValue::channel(model::ChannelSeries::asset(model::AssetChannel{
                             literal(text_of("rid", i)), literal("scope"), variable(text_of("channel", i)),
                             vc::OrderedMap<std::string, StringConstant>::from_entries(
                                 {{text_of("tag", i), literal(text_of("tagValue", i))}}),
                             model::TagFilters::unknown(unknown_variant(i)),
                             vc::OrderedSet<std::string>::from_list(
                                 {text_of("group", i)},
                                 [](const std::string& a, const std::string& b) { return vc::compare_key(a, b); }),
                             vc::make_tag_set({literal("g2"), variable("g1")})}))},
  });
  using FunctionMap = vc::OrderedMap<std::string, model::FunctionVariables>;
  FunctionMap functions = FunctionMap::from_entries(
      {{text_of("fn", i),
        model::FunctionVariables{Variables::from_entries({{"inner", model::VariableValue::integer(7)}}), FunctionMap()}}});
  using Datasets = vc::OrderedMap<std::string, model::Dataset>;
  return model::Context{
      std::move(variables),
      std::move(functions),
      Datasets::from_entries({{text_of("ds", i), dataset(i)}}),
      Datasets(),  // present and empty
      model::FillStrategy::forwardFill(model::ForwardFill{model::FillLimit::duration(seconds(i))}),
  };
}

// A derived series whose one argument is a compute node with its own Context.
NumericSeries derived_with_context(int i) {
  using Args = vc::OrderedMap<std::string, model::FunctionParameterValue>;
  model::ComputeNodeWithContext node{model::ComputeNode::numeric(vc::numeric_series_add(raw(i), raw(i + 1))),
                                     context(i)};
  return NumericSeries::derived(model::DerivedSeries::function(model::FunctionDerivedSeries{
      literal(text_of("module", i)),
      variable(text_of("function", i)),
      model::ModuleVersionReference::pinned(model::PinnedModuleVersionReference{literal("1.2.3")}),
      Args::from_entries({
          {text_of("node", i), model::FunctionParameterValue::value(model::VariableValue::computeNode(std::move(node)))},
          {text_of("name", i), model::FunctionParameterValue::variable(text_of("bound", i))},
      }),
  }));
}

// One node of the mixed list; the kind cycles with `i`.
NumericSeries mixed_node(int i) {
  switch (i % 12) {
    case 0:
      return raw(i);
    case 1:
      return NumericSeries::constant(model::ConstantNumericSeries::double_(model::DoubleConstant::literal(i + 0.25)));
    case 2:
      return vc::numeric_series_multiply(raw(i), vc::numeric_series_power(raw(i + 1), raw(i + 2)));
    case 3: {
      using Inputs = vc::OrderedMap<std::string, NumericSeries>;
      return NumericSeries::arithmetic(model::ArithmeticSeries{
          Inputs::from_entries({{text_of("a", i), raw(i)}, {text_of("b", i), raw(i + 1)}}),
          text_of("a * b", i),
          forward_fill(i),
      });
    }
    case 4:
      return NumericSeries::thresholdFilter(model::NumericThresholdFilterSeries{
          raw(i), model::DoubleConstant::variable(text_of("threshold", i)),
          model::ThresholdOperator::unknown(*vc::Variant::from_str("FUTURE_OPERATOR_WITH_A_LONG_NAME"))});
    case 5:
      return vc::numeric_series_select_tags(raw(i), {literal(text_of("k2", i)), variable(text_of("k1", i))});
    case 6:
      return vc::numeric_series_select_numeric(literal(text_of("column", i)), dataset(i));
    case 7:
      return NumericSeries::unknown(unknown_variant(i));
    case 8:
      return derived_with_context(i);
    case 9:
      return NumericSeries::scale(model::ScaleSeries{vc::numeric_series_bit_and(raw(i), model::IntegerConstant::literal(i)),
                                                     model::DoubleConstant::literal(2.0), text_of("unit", i)});
    case 10:
      return NumericSeries::sum(model::SumSeries::builder()
                                    .inputs({raw(i), vc::mean({raw(i + 1), raw(i + 2)})})
                                    .interpolationConfiguration(forward_fill(i))
                                    .build());
    default:
      return NumericSeries::filterByTag(model::NumericTagFilterSeries{
          raw(i), model::TagPredicate::and_(model::TagAnd{
                      model::TagPredicate::in(model::TagIn{
                          literal("key"), model::StringSetConstantV2::literal(vc::make_tag_set({literal(text_of("v", i))}))}),
                      model::TagPredicate::unknown(unknown_variant(i))})});
  }
}

// A Sum over `count` mixed nodes.
NumericSeries sizeable_tree(int count) {
  std::vector<NumericSeries> inputs;
  for (int i = 0; i < count; ++i) inputs.push_back(mixed_node(i));
  return vc::sum(std::move(inputs));
}

// A chain add(add(add(..., raw), raw), raw) of `depth` adds.
NumericSeries deep_chain(int depth) {
  NumericSeries node = raw(0);
  for (int i = 1; i < depth; ++i) node = vc::numeric_series_add(std::move(node), raw(i));
  return node;
}

// Copies `source` once, so that anything allocated lazily on first use has settled before the
// counts are taken; returns how many allocations the copy made.
long allocations_of_a_full_copy(const NumericSeries& source) {
  { NumericSeries warm_up(source); }
  const long live_before = live_allocations.load();
  const long calls_before = allocation_calls.load();
  long calls;
  {
    NumericSeries copy(source);
    calls = allocation_calls.load() - calls_before;
    EXPECT_EQ(json_of(copy), json_of(source));
  }
  EXPECT_EQ(live_allocations.load(), live_before) << "a complete copy was not freed in full";
  return calls;
}

// For every N up to the number of allocations of a full copy: the copy fails at the N-th one,
// nothing it allocated stays live and the source writes the same JSON. With `persist`, every
// allocation after the N-th fails too, so cleanup has to manage without memory.
void check_every_failure_point(const NumericSeries& source, bool persist) {
  const std::string expected = json_of(source);
  const long total = allocations_of_a_full_copy(source);
  ASSERT_GT(total, 0);
  int problems = 0;
  for (long nth = 1; nth <= total && problems < 5; ++nth) {
    const long live_before = live_allocations.load();
    const long calls_before = allocation_calls.load();
    bool threw = false;
    long calls = 0;
    {
      FailAllocation armed(nth, persist);
      try {
        NumericSeries copy(source);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      calls = allocation_calls.load() - calls_before;
    }
    const long live_after = live_allocations.load();
    const bool intact = json_of(source) == expected;
    if (!threw || live_after != live_before || !intact || (!persist && calls != nth)) {
      ++problems;
      ADD_FAILURE() << "allocation " << nth << " of " << total << " failing: threw=" << threw
                    << ", allocations left live=" << (live_after - live_before) << ", source intact=" << intact
                    << ", allocations attempted=" << calls;
    }
  }
  // One more than a full copy needs: the copy succeeds.
  const long live_before = live_allocations.load();
  {
    std::optional<NumericSeries> copy;
    {
      FailAllocation armed(total + 1, persist);
      copy.emplace(source);
    }
    EXPECT_EQ(json_of(*copy), expected);
  }
  EXPECT_EQ(live_allocations.load(), live_before);
}

TEST(CopyFailure, ReplacedAllocatorCountsAndFailsOnlyWhenArmed) {
  SKIP_WITHOUT_FAULT_INJECTION();
  const long live_before = live_allocations.load();
  auto* kept = new std::string(text_of("counted", 0));
  EXPECT_EQ(live_allocations.load(), live_before + 2);  // the string object and its text
  delete kept;
  EXPECT_EQ(live_allocations.load(), live_before);

  struct alignas(64) Wide {
    char bytes[64];
  };
  auto* wide = new Wide[3];
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wide) % 64, 0u);
  EXPECT_EQ(live_allocations.load(), live_before + 1);
  delete[] wide;

  {
    FailAllocation armed(2, false);
    std::unique_ptr<int> first(new int(1));
    EXPECT_THROW((void)new int(2), std::bad_alloc);
    std::unique_ptr<int[]> third(new (std::nothrow) int[3]);  // failed once, then disarmed
    EXPECT_NE(third, nullptr);
  }
  {
    FailAllocation armed(1, true);
    EXPECT_EQ(new (std::nothrow) int(1), nullptr);
    EXPECT_EQ(new (std::nothrow) int(2), nullptr);
  }
  std::unique_ptr<int> after(new int(4));
  EXPECT_EQ(live_allocations.load(), live_before + 1);
}

TEST(CopyFailure, SizeableTreeFreesWhatItBuiltAtEveryFailurePoint) {
  SKIP_WITHOUT_FAULT_INJECTION();
  const long live_at_start = live_allocations.load();
  {
    const NumericSeries source = sizeable_tree(300);
    check_every_failure_point(source, false);
  }
  EXPECT_EQ(live_allocations.load(), live_at_start);
}

TEST(CopyFailure, SizeableTreeWithMemoryStayingExhausted) {
  SKIP_WITHOUT_FAULT_INJECTION();
  const NumericSeries source = sizeable_tree(120);
  check_every_failure_point(source, true);
}

// A deep partial copy is freed without memory, whatever its depth.
TEST(CopyFailure, DeepChainFreesWhatItBuiltAtEveryFailurePoint) {
  SKIP_WITHOUT_FAULT_INJECTION();
  const NumericSeries source = deep_chain(200);
  check_every_failure_point(source, false);
  check_every_failure_point(source, true);
}


NumericSeries negations(int length) {
  NumericSeries chain = raw(0);
  for (int i = 0; i < length; ++i) chain = NumericSeries::negate(model::Negate{std::move(chain)});
  return chain;
}

// A copy of a million levels that runs out of cells anywhere reports it, leaves the source as it
// was, and keeps none of the cells it made.
TEST(CopyFailure, MillionDeepCopyRunningOutOfCells) {
  CountedCells cells;
  constexpr int kLength = 1000000;
  const NumericSeries source = negations(kLength);
  const std::string expected = json_of(source);
  const long live_before = CountedCells::live();
  for (const long nth : {1L, 2L, 3L, 64L, 1000L, 123457L, 999999L, 1000001L}) {
    CountedCells::refuse_from(nth);
    EXPECT_THROW(NumericSeries copy(source), std::bad_alloc) << "cell " << nth;
    EXPECT_EQ(CountedCells::live(), live_before) << "cell " << nth;
  }
  CountedCells::refuse_from(kLength + 2);  // one more than a full copy takes
  { const NumericSeries copy(source); }
  CountedCells::refuse_from(0);
  EXPECT_EQ(CountedCells::live(), live_before);
  EXPECT_EQ(json_of(source), expected);
}

// Freeing takes no memory at all: it completes while every allocation fails.
TEST(CopyFailure, FreeingADeepTreeNeedsNoMemory) {
  CountedCells cells;
  const long live_before = CountedCells::live();
  std::optional<NumericSeries> tree = vc::sum({negations(100000), deep_chain(1000)});
  CountedCells::refuse_from(1);
  {
#if defined(VELTRIX_REPLACE_NEW)
    FailAllocation armed(1, true);
#endif
    tree.reset();
  }
  CountedCells::refuse_from(0);
  EXPECT_EQ(CountedCells::live(), live_before);
}

TEST(CopyFailure, FailedCopyAssignmentKeepsTheTarget) {
  SKIP_WITHOUT_FAULT_INJECTION();
  const NumericSeries source = sizeable_tree(48);
  NumericSeries target = derived_with_context(1000);
  const std::string source_json = json_of(source);
  const std::string target_json = json_of(target);
  { NumericSeries warm_up(source); }
  const long calls_before = allocation_calls.load();
  { NumericSeries copy(source); }
  const long total = allocation_calls.load() - calls_before;
  for (long nth = 1; nth <= total; nth += 7) {
    const long live_before = live_allocations.load();
    {
      FailAllocation armed(nth, false);
      EXPECT_THROW(target = source, std::bad_alloc) << "allocation " << nth;
    }
    ASSERT_EQ(live_allocations.load(), live_before) << "allocation " << nth;
    ASSERT_EQ(json_of(target), target_json) << "allocation " << nth;
    ASSERT_EQ(json_of(source), source_json) << "allocation " << nth;
  }
  target = source;
  EXPECT_EQ(json_of(target), source_json);
}

// The Any payload on its own: its copy is a loop over a heap work list rather than recursion.
TEST(CopyFailure, AnyCopyFreesWhatItBuilt) {
  SKIP_WITHOUT_FAULT_INJECTION();
  Any::Sequence items;
  for (int i = 0; i < 40; ++i) items.push_back(any_payload(i));
  const Any source = Any::from_sequence(std::move(items));
  const NumericSeries holder = NumericSeries::unknown(vc::UnknownVariant{"holder", source});
  check_every_failure_point(holder, false);
  check_every_failure_point(holder, true);
}

// The JSON writer allocates through operator new only for the work stack of an Any and for the
// final text; the buffer it writes into comes from malloc and must be freed when either throws.
TEST(CopyFailure, JsonWriterFreesItsBufferWhenAnAllocationFails) {
  SKIP_WITHOUT_FAULT_INJECTION();
  const NumericSeries source = sizeable_tree(600);
  const std::string expected = json_of(source);
  const long calls_before = allocation_calls.load();
  (void)vc::to_json_text(source);
  const long total = allocation_calls.load() - calls_before;
  ASSERT_GT(total, 100) << "the tree should make the writer allocate throughout";

  const std::size_t bytes_before = malloc_bytes_in_use();
  int problems = 0;
  for (long nth = 1; nth <= total && problems < 5; ++nth) {
    const long live_before = live_allocations.load();
    bool threw = false;
    {
      FailAllocation armed(nth, nth % 2 == 0);
      try {
        (void)vc::to_json_text(source);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
    }
    if (!threw || live_allocations.load() != live_before) {
      ++problems;
      ADD_FAILURE() << "allocation " << nth << " of " << total << " failing: threw=" << threw
                    << ", allocations left live=" << (live_allocations.load() - live_before);
    }
  }
  // A buffer kept after each failure would add up to many times the text's length.
  const std::size_t bytes_after = malloc_bytes_in_use();
  const std::size_t growth = bytes_after > bytes_before ? bytes_after - bytes_before : 0;
  EXPECT_LT(growth, expected.size()) << "malloc'd bytes grew over " << total << " failed writes of "
                                     << expected.size() << " bytes each";
  EXPECT_EQ(json_of(source), expected);
}

}  // namespace
