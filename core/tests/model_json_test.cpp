// JSON text of the object model's types at their edges, and deep copy.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model.h"
#include "support/json_text.h"
#include "support/replaced_allocator.h"
#include "support/small_stack.h"

namespace vc = veltrix_compute;
using namespace veltrix_compute::compute_api;
namespace api = veltrix_compute::api;
namespace run_api = veltrix_compute::run_api;
using veltrix_test::json_of;
using veltrix_test::run_on_small_stack;
namespace rids_api = veltrix_compute::rids_api;

namespace {

StringConstant lit(std::string text) { return StringConstant::literal(std::move(text)); }
DoubleConstant dlit(double value) { return DoubleConstant::literal(value); }
IntegerConstant ilit(std::int32_t value) { return IntegerConstant::literal(value); }
NumericSeries raw(std::string name) { return NumericSeries::raw(Reference{std::move(name)}); }
std::string raw_json(const std::string& name) { return R"({"type":"raw","raw":{"name":")" + name + R"("}})"; }

vc::OrderedSet<std::string> text_set(std::vector<std::string> texts) {
  return vc::OrderedSet<std::string>::from_list(std::move(texts),
                                                [](const std::string& a, const std::string& b) {
                                                  return vc::compare_key(a, b);
                                                });
}

// Each row: the text written for a value, and the text expected.
struct Row {
  std::string written;
  std::string expected;
};

void expect_rows(const std::vector<Row>& rows) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].written, rows[i].expected) << "row " << i;
  }
}

TEST(ModelJson, Constants) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  expect_rows({
      {json_of(dlit(1)), R"({"type":"literal","literal":1.0})"},
      {json_of(dlit(nan)), R"({"type":"literal","literal":null})"},
      {json_of(dlit(-0.0)), R"({"type":"literal","literal":-0.0})"},
      {json_of(dlit(1e-7)), R"({"type":"literal","literal":1e-7})"},
      {json_of(ilit(-2147483647 - 1)), R"({"type":"literal","literal":-2147483648})"},
      {json_of(ilit(2147483647)), R"({"type":"literal","literal":2147483647})"},
      {json_of(StringConstant::variable("x")), R"({"type":"variable","variable":"x"})"},
      {json_of(lit("q\"b\\t\tn\n\x01" "\xc3\xa9/")), R"({"type":"literal","literal":"q\"b\\t\tn\n\u0001é/"})"},
      {json_of(StringSetConstant::literal({})), R"({"type":"literal","literal":[]})"},
      {json_of(StringSetConstantV2::literal({})), R"({"type":"literal","literal":[]})"},
      {json_of(StringSetConstant::literal(text_set({"b", "a", "b", "B"}))), R"({"type":"literal","literal":["B","a","b"]})"},
      {json_of(TimestampConstant::literal(api::Timestamp{0, 0})),
       R"({"type":"literal","literal":{"seconds":0,"nanos":0}})"},
      {json_of(DurationConstant::literal(run_api::Duration{-1, std::numeric_limits<std::int64_t>::min()})),
       R"({"type":"literal","literal":{"seconds":-1,"nanos":-9223372036854775808}})"},
      {json_of(api::TimeUnit(api::TimeUnit::Value::DAYS)), R"("DAYS")"},
      {json_of(api::TimeUnit::unknown(*vc::Variant::from_str("WEEK_2"))), R"("WEEK_2")"},
  });
}

TEST(ModelJson, DatasetsDurationsAndAggregation) {
  CombinedDataset two;
  two.inputs.push_back(Dataset::run(vc::compute_api::Run{lit("r")}));
  two.inputs.push_back(Dataset::asset(Asset{lit("a")}));
  const SearchTarget target = SearchTarget::assets(AssetsSearchTarget{ResourceSearchQuery::workspace(lit("w"))});
  const std::string target_json =
      R"({"type":"assets","assets":{"query":{"type":"workspace","workspace":{"type":"literal","literal":"w"}}}})";
  expect_rows({
      {json_of(Dataset::combine(CombinedDataset{})), R"({"type":"combine","combine":{}})"},
      {json_of(Dataset::combine(std::move(two))),
       R"({"type":"combine","combine":{"inputs":[{"type":"run","run":{"rid":{"type":"literal","literal":"r"}}},)"
       R"({"type":"asset","asset":{"rid":{"type":"literal","literal":"a"}}}]}})"},
      {json_of(SearchDataset{target, std::nullopt}), R"({"target":)" + target_json + "}"},
      {json_of(SearchDataset{target, 0}), R"({"target":)" + target_json + R"(,"maxResults":0})"},
      {json_of(Duration::negate(DurationNegate{Duration::seconds(DurationSeconds{ilit(5)})})),
       R"({"type":"negate","negate":{"input":{"type":"seconds","seconds":{"seconds":{"type":"literal","literal":5}}}}})"},
      {json_of(NumericAggregationOperator::count()), R"({"type":"count","count":{}})"},
      {json_of(NumericAggregationOperator::percentile(Percentile{dlit(0.5)})),
       R"({"type":"percentile","percentile":{"percentile":{"type":"literal","literal":0.5}}})"},
      {json_of(GroupByTags::current()), R"({"type":"current","current":{}})"},
      {json_of(GroupByTags::subset(GroupBySubsetTags{})), R"({"type":"subset","subset":{}})"},
      {json_of(NegativeValueConfiguration::excludeNegativeValues()),
       R"({"type":"excludeNegativeValues","excludeNegativeValues":{}})"},
      {json_of(RangeMap{dlit(1), dlit(2), lit("x")}),
       R"({"start":{"type":"literal","literal":1.0},"end":{"type":"literal","literal":2.0},)"
       R"("output":{"type":"literal","literal":"x"}})"},
      {json_of(RangeMap{std::nullopt, std::nullopt, lit("x")}), R"({"output":{"type":"literal","literal":"x"}})"},
      {json_of(RangeMap{std::nullopt, dlit(2), lit("x")}),
       R"({"end":{"type":"literal","literal":2.0},"output":{"type":"literal","literal":"x"}})"},
      {json_of(RangeMap{dlit(std::nan("")), std::nullopt, lit("x")}),
       R"({"start":{"type":"literal","literal":null},"output":{"type":"literal","literal":"x"}})"},
  });
}

TEST(ModelJson, NumericSeries) {
  const std::string speed = raw_json("speed");
  expect_rows({
      {json_of(NumericSeries::abs(Abs{raw("speed")})), R"({"type":"abs","abs":{"x":)" + speed + "}}"},
      {json_of(NumericSeries::sqrt(Sqrt{raw("speed")})), R"({"type":"sqrt","sqrt":{"x":)" + speed + "}}"},
      {json_of(NumericSeries::atan2(Atan2{raw("a"), raw("b")})),
       R"({"type":"atan2","atan2":{"y":)" + raw_json("a") + R"(,"x":)" + raw_json("b") + "}}"},
      {json_of(NumericSeries::max(MaxSeries{})), R"({"type":"max","max":{}})"},
      {json_of(NumericSeries::product(ProductSeries{})), R"({"type":"product","product":{}})"},
      {json_of(NumericSeries::union_(NumericUnionSeries{})), R"({"type":"union","union":{}})"},
      {json_of(NumericSeries::constant(ConstantNumericSeries::double_(dlit(2.5)))),
       R"({"type":"constant","constant":{"type":"double","double":{"type":"literal","literal":2.5}}})"},
      {json_of(DerivativeSeries{raw("speed"), std::nullopt, std::nullopt}), R"({"input":)" + speed + "}"},
      {json_of(DerivativeSeries{raw("speed"), api::TimeUnit(api::TimeUnit::Value::SECONDS),
                                NegativeValueConfiguration::allowNegativeValues()}),
       R"({"input":)" + speed +
           R"(,"timeUnit":"SECONDS","negativeValuesConfiguration":{"type":"allowNegativeValues","allowNegativeValues":{}}})"},
      {json_of(BitAnd{raw("speed"), ilit(3)}), R"({"input":)" + speed + R"(,"operand":{"type":"literal","literal":3}})"},
      {json_of(BitOperationFunction::and_(BitAndFunction{-1})), R"({"type":"and","and":{"operand":-1}})"},
      {json_of(BitAndFunction{std::int64_t{1} << 40}), R"({"operand":1099511627776})"},
      {json_of(BitAndFunction{std::numeric_limits<std::int64_t>::min()}), R"({"operand":-9223372036854775808})"},
      {json_of(BitShiftLeftFunction{-3}), R"({"operand":-3})"},
      {json_of(TimeDifferenceSeries{Series::numeric(raw("speed")), std::nullopt}),
       R"({"input":{"type":"numeric","numeric":)" + speed + "}}"},
      {json_of(AbsoluteTimestampSeries{Series::numeric(raw("speed")), api::TimeUnit(api::TimeUnit::Value::DAYS)}),
       R"({"input":{"type":"numeric","numeric":)" + speed + R"(},"timeUnit":"DAYS"})"},
      {json_of(EventTagSource::intervalIndex()), R"({"type":"intervalIndex","intervalIndex":{}})"},
      {std::string(NumericSeries::zScore(ZscoreSeries{raw("speed"), {}, std::nullopt}).variant_name()), "zScore"},
  });
}

TEST(ModelJson, CategoricalSeries) {
  ValueMapSeries mapped{raw("speed"), {}, lit("other")};
  mapped.mapping.push_back(RangeMap{dlit(5), std::nullopt, lit("high")});
  mapped.mapping.push_back(RangeMap{std::nullopt, dlit(1), lit("low")});
  expect_rows({
      {json_of(EnumSeries::raw(Reference{"state"})), R"({"type":"raw","raw":{"name":"state"}})"},
      {json_of(EnumSeries::valueMap(ValueMapSeries{raw("speed"), {}, std::nullopt})),
       R"({"type":"valueMap","valueMap":{"input":)" + raw_json("speed") + "}}"},
      {json_of(mapped), R"({"input":)" + raw_json("speed") +
                            R"(,"mapping":[{"start":{"type":"literal","literal":5.0},"output":{"type":"literal","literal":"high"}},)"
                            R"({"end":{"type":"literal","literal":1.0},"output":{"type":"literal","literal":"low"}}],)"
                            R"("default":{"type":"literal","literal":"other"}})"},
      {json_of(EnumUnionSeries{{}, EnumUnionOperation(EnumUnionOperation::Value::THROW)}), R"({"operation":"THROW"})"},
      {json_of(EnumTimeRangeFilterSeries{EnumSeries::raw(Reference{"s"}), std::nullopt,
                                         TimestampConstant::variable("t")}),
       R"({"input":{"type":"raw","raw":{"name":"s"}},"endTime":{"type":"variable","variable":"t"}})"},
      {json_of(EventsEnumValueSource::level()), R"({"type":"level","level":{}})"},
      {json_of(EnumAggregationOperator::min()), R"({"type":"min","min":{}})"},
  });
}

TEST(ModelJson, RangeSeries) {
  const std::string speed = raw_json("speed");
  LiteralRange present_empty_tags;
  present_empty_tags.tags.emplace();
  expect_rows({
      {json_of(ThresholdingRanges{raw("speed"), dlit(0.5), ThresholdOperator(ThresholdOperator::Value::LESS_THAN),
                                  std::nullopt}),
       R"({"input":)" + speed + R"(,"threshold":{"type":"literal","literal":0.5},"operator":"LESS_THAN"})"},
      {json_of(PeakRanges{raw("speed"), std::nullopt, std::nullopt, std::nullopt}), R"({"input":)" + speed + "}"},
      {json_of(PeakRanges{raw("speed"), false, std::nullopt, std::nullopt}),
       R"({"input":)" + speed + R"(,"returnsPeaks":false})"},
      {json_of(LiteralRange{}), "{}"},
      {json_of(present_empty_tags), R"({"tags":{}})"},
      {json_of(LiteralRanges{}), "{}"},
      {json_of(PersistenceWindowConfiguration{std::nullopt, std::nullopt, OutputRangeStart::afterPersistenceWindow()}),
       R"({"outputRangeStart":{"type":"afterPersistenceWindow","afterPersistenceWindow":{}}})"},
      {json_of(Threshold::percentage(PercentageThreshold{dlit(5)})),
       R"({"type":"percentage","percentage":{"value":{"type":"literal","literal":5.0}}})"},
      {json_of(RangeAggregationOperation::all()), R"({"type":"all","all":{}})"},
      {json_of(SeriesEqualityRanges{{}, EqualityOperator(EqualityOperator::Value::ALL_EQUAL), std::nullopt,
                                    std::nullopt, std::nullopt}),
       R"({"equalityOperator":"ALL_EQUAL"})"},
      {json_of(RangeSeries::seriesCrossoverRangesNode(SeriesCrossoverRanges{raw("a"), raw("b")})),
       R"({"type":"seriesCrossoverRangesNode","seriesCrossoverRangesNode":{"inputA":)" + raw_json("a") +
           R"(,"inputB":)" + raw_json("b") + "}}"},
  });
}

TEST(ModelJson, SeriesLogsAndStructs) {
  CombineStructSeries combined;
  combined.inputs = vc::OrderedMap<std::string, Series>::from_entries(
      {{"b", Series::video(Reference{"cam"})}, {"a", Series::raw(Reference{"x"})}});
  expect_rows({
      {json_of(Series::video(Reference{"cam"})), R"({"type":"video","video":{"name":"cam"}})"},
      {json_of(LogFilterOperator::and_({})), R"({"type":"and","and":[]})"},
      {json_of(LogFilterOperator::not_(
           LogFilterOperator::exactMatchCaseInsensitiveFilter(LogExactMatchCaseInsensitiveFilter{"x"}))),
       R"({"type":"not","not":{"type":"exactMatchCaseInsensitiveFilter","exactMatchCaseInsensitiveFilter":{"token":"x"}}})"},
      {json_of(LogUnionSeries{{}, LogUnionOperation(LogUnionOperation::Value::KEEP_ALL)}), R"({"operation":"KEEP_ALL"})"},
      {json_of(StructSeries::combine(CombineStructSeries{})), R"({"type":"combine","combine":{}})"},
      {json_of(combined),
       R"({"inputs":{"a":{"type":"raw","raw":{"name":"x"}},"b":{"type":"video","video":{"name":"cam"}}}})"},
      {json_of(LogArgFilterOperator{lit("k"), LogRegexFilterOperator{"e.*"}}),
       R"({"key":{"type":"literal","literal":"k"},"operator":{"regex":"e.*"}})"},
      {json_of(LogSeries::filter(LogFilterSeries{LogSeries::raw(Reference{"app"}),
                                                 LogFilterOperator::regexFilter(LogRegexFilterOperator{"error"})})),
       R"({"type":"filter","filter":{"input":{"type":"raw","raw":{"name":"app"}},)"
       R"("operator":{"type":"regexFilter","regexFilter":{"regex":"error"}}}})"},
      {json_of(ExtractNumericFromStructSeries{StructSeries::raw(Reference{"s"}), {}, std::nullopt}),
       R"({"input":{"type":"raw","raw":{"name":"s"}}})"},
  });
}

TEST(ModelJson, ChannelsTagsAndQueries) {
  const std::string rid = R"({"type":"literal","literal":"r"})";
  const std::string scope = R"({"type":"literal","literal":"d"})";
  const std::string channel = R"({"type":"literal","literal":"c"})";
  RunChannel run{lit("r"), std::nullopt, lit("d"), lit("c"), {}, std::nullopt, {}, {}};
  RunChannel with_asset = run;
  with_asset.assetRid = lit("a");
  AssetChannel asset{lit("a"), lit("d"), lit("c"), {}, std::nullopt, {}, {}};
  asset.additionalTags = vc::OrderedMap<std::string, StringConstant>::from_entries({{"b", lit("1")}, {"a", lit("2")}});
  expect_rows({
      {json_of(run), R"({"runRid":)" + rid + R"(,"dataScopeName":)" + scope + R"(,"channel":)" + channel + "}"},
      {json_of(with_asset), R"({"runRid":)" + rid + R"(,"assetRid":{"type":"literal","literal":"a"},"dataScopeName":)" +
                                scope + R"(,"channel":)" + channel + "}"},
      {json_of(asset), R"({"assetRid":{"type":"literal","literal":"a"},"dataScopeName":)" + scope + R"(,"channel":)" +
                           channel +
                           R"(,"additionalTags":{"a":{"type":"literal","literal":"2"},"b":{"type":"literal","literal":"1"}}})"},
      {json_of(TagFilter{lit("k"), {}, TagFilterOperator(TagFilterOperator::Value::NOT_IN)}),
       R"({"key":{"type":"literal","literal":"k"},"operator":"NOT_IN"})"},
      {json_of(TagFilters::and_({})), R"({"type":"and","and":[]})"},
      {json_of(rids_api::ComputeEventQuery::or_({})), R"({"type":"or","or":[]})"},
      {json_of(rids_api::ComputeEventQuery::eventType(rids_api::EventType(rids_api::EventType::Value::FLAG))),
       R"({"type":"eventType","eventType":"FLAG"})"},
      {json_of(ResourceSearchQuery::not_(ResourceSearchQuery::workspace(lit("w")))),
       R"({"type":"not","not":{"type":"workspace","workspace":{"type":"literal","literal":"w"}}})"},
      {json_of(rids_api::LabelsFilter{api::SetOperator(api::SetOperator::Value::AND), {}}), R"({"operator":"AND"})"},
      {json_of(rids_api::PropertiesFilter{"p", {"b", "a", "b"}}), R"({"name":"p","values":["b","a","b"]})"},
  });
}

TEST(ModelJson, ComputeNodesContextsAndVariables) {
  Context present_empty_function_variables;
  present_empty_function_variables.functionVariables.emplace();
  Context present_empty_frames;
  present_empty_frames.frameReferences.emplace();
  Context full;
  full.variables = vc::OrderedMap<VariableName, VariableValue>::from_entries({{"a", VariableValue::integer(3)}});
  full.functionVariables.emplace();
  full.datasetReferences =
      vc::OrderedMap<DatasetReferenceName, Dataset>::from_entries({{"d", Dataset::saved(SavedDataset{lit("s")})}});
  full.frameReferences.emplace();
  full.defaultFillStrategy =
      FillStrategy::forwardFill(ForwardFill{FillLimit::duration(DurationConstant::variable("lim"))});
  expect_rows({
      {json_of(Context{}), "{}"},
      {json_of(ComputeNodeWithContext{ComputeNode::raw(Reference{"n"}), Context{}}),
       R"({"seriesNode":{"type":"raw","raw":{"name":"n"}},"context":{}})"},
      {json_of(present_empty_function_variables), R"({"functionVariables":{}})"},
      {json_of(present_empty_frames), R"({"frameReferences":{}})"},
      {json_of(full),
       R"({"variables":{"a":{"type":"integer","integer":3}},"functionVariables":{},)"
       R"("datasetReferences":{"d":{"type":"saved","saved":{"rid":{"type":"literal","literal":"s"}}}},"frameReferences":{},)"
       R"("defaultFillStrategy":{"type":"forwardFill","forwardFill":{"limit":{"type":"duration","duration":{"type":"variable","variable":"lim"}}}}})"},
      {json_of(VariableValue::double_(std::nan(""))), R"({"type":"double","double":null})"},
      {json_of(VariableValue::integer(-1)), R"({"type":"integer","integer":-1})"},
      {json_of(VariableValue::stringSet({})), R"({"type":"stringSet","stringSet":[]})"},
      {json_of(VariableValue::stringSet(text_set({"b", "a"}))), R"({"type":"stringSet","stringSet":["a","b"]})"},
      {json_of(FunctionDerivedSeries{lit("m"), lit("f"),
                                     ModuleVersionReference::pinned(PinnedModuleVersionReference{lit("1")}), {}}),
       R"({"moduleName":{"type":"literal","literal":"m"},"functionName":{"type":"literal","literal":"f"},)"
       R"("versionReference":{"type":"pinned","pinned":{"version":{"type":"literal","literal":"1"}}}})"},
      {json_of(FunctionParameterValue::variable("v")), R"({"type":"variable","variable":"v"})"},
      {json_of(CurveFitDetails::exponential()), R"({"type":"exponential","exponential":{}})"},
      {json_of(PolynomialCurve{ilit(2), std::nullopt}), R"({"degree":{"type":"literal","literal":2}})"},
      {json_of(ScatterFitOptions{}), "{}"},
      {json_of(TimeSeriesFitOptions{}), "{}"},
  });
}

vc::UnknownVariant unknown(std::string name, vc::Any value = vc::Any()) {
  return vc::UnknownVariant{std::move(name), std::move(value)};
}

TEST(ModelJson, UnknownVariantWritesItsNameTwiceAndCopies) {
  const NumericSeries numeric = NumericSeries::unknown(
      unknown("future", vc::Any::from_map({{vc::Any::from_string("k"), vc::Any::from_i32(1)}})));
  const NumericSeries numeric_copy(numeric);
  const StringConstant constant = StringConstant::unknown(unknown("X"));
  expect_rows({
      {json_of(numeric), R"({"type":"future","future":{"k":1}})"},
      {json_of(numeric_copy), R"({"type":"future","future":{"k":1}})"},
      {std::string(numeric_copy.variant_name()), "future"},
      {json_of(constant), R"({"type":"X","X":null})"},
      {json_of(StringConstant(constant)), R"({"type":"X","X":null})"},
      {json_of(Dataset::unknown(unknown("X"))), R"({"type":"X","X":null})"},
      {json_of(ComputeNode::unknown(unknown("with space"))), R"({"type":"with space","with space":null})"},
      {json_of(LogFilterOperator::unknown(unknown("q\""))), R"({"type":"q\"","q\"":null})"},
  });
}

// ---------------------------------------------------------------------------------------------
// Deep copy and freeing.

std::string repeated(std::string_view text, int times) {
  std::string result;
  result.reserve(text.size() * times);
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

TEST(DeepCopy, MillionNegationsAreCopiedWrittenAndFreedOnASmallStack) {
  run_on_small_stack([] {
    constexpr int kLength = 1000000;
    NumericSeries chain = raw("leaf");
    for (int i = 0; i < kLength; ++i) chain = NumericSeries::negate(Negate{std::move(chain)});
    std::optional<NumericSeries> copy(chain);
    const std::string expected = repeated(R"({"type":"negate","negate":{"x":)", kLength) +
                                 R"({"type":"raw","raw":{"name":"leaf"}})" + repeated("}}", kLength);
    EXPECT_EQ(json_of(*copy), expected);
    copy.reset();
    EXPECT_EQ(json_of(chain), expected);
  });
}

// Bytes that writing `value` held at its height beyond what was in use before; the text's buffer
// takes its memory from malloc directly, so the test's operator new does not count it.
template <class T>
long held_while_writing(const T& value, std::string& text) {
  vc::json::Buffer out;
  const long before = veltrix_test::bytes_in_use.load();
  veltrix_test::peak_bytes_in_use.store(before);
  vc::write_json(out, value);
  const long held = veltrix_test::peak_bytes_in_use.load() - before;
  text = out.view();
  return held;
}

// The closing characters of a deep chain wait while it is written: a byte each, not a frame. Both
// chains hold about 3 bytes a level (2 closing characters, and the doubling of their stack); a frame
// a level would take 32.
TEST(ModelJson, MillionDeepChainsHoldAFewBytesPerLevelBeyondTheirText) {
  SKIP_WITHOUT_FAULT_INJECTION();
  run_on_small_stack([] {
    constexpr int kLength = 1000000;
    TagFilters filters = TagFilters::and_({});
    NumericSeries negations = raw("leaf");
    for (int i = 0; i < kLength; ++i) {
      std::vector<TagFilters> one;
      one.push_back(std::move(filters));
      filters = TagFilters::and_(std::move(one));
      negations = NumericSeries::negate(Negate{std::move(negations)});
    }
    std::string text;
    EXPECT_LE(held_while_writing(filters, text), 8L * kLength);
    EXPECT_EQ(text, repeated(R"({"type":"and","and":[)", kLength) + R"({"type":"and","and":[]})" + repeated("]}", kLength));
    EXPECT_LE(held_while_writing(negations, text), 8L * kLength);
    EXPECT_EQ(text.size(), 33u * kLength + 36);
  });
}

// Each level combines three datasets and goes on through the first, the middle or the last in
// turn: the copy and the writer resume every list after its elements, and the free walks all of
// them (an element it missed would be left to its destructor, one nested call per level). The
// copy outlives its source.
TEST(DeepCopy, ListsAtEveryLevelOnASmallStack) {
  run_on_small_stack([] {
    constexpr int kLength = 60000;
    const std::string leaf = R"({"type":"asset","asset":{"rid":{"type":"literal","literal":"a"}}})";
    const Dataset asset = Dataset::asset(Asset{lit("a")});
    std::optional<Dataset> combined = asset;
    for (int i = 0; i < kLength; ++i) {
      CombinedDataset level;
      for (int at = 0; at < 3; ++at) level.inputs.push_back(at == i % 3 ? std::move(*combined) : Dataset(asset));
      combined = Dataset::combine(std::move(level));
    }
    std::string expected;
    for (int i = kLength - 1; i >= 0; --i) {
      expected += R"({"type":"combine","combine":{"inputs":[)" + repeated(leaf + ",", i % 3);
    }
    expected += leaf;
    for (int i = 0; i < kLength; ++i) expected += repeated("," + leaf, 2 - i % 3) + "]}}";
    const Dataset copy(*combined);
    combined.reset();
    EXPECT_EQ(json_of(copy), expected);
  });
}

TEST(DeepCopy, DoublesKeepTheirBits) {
  const std::uint64_t patterns[] = {
      0x7ff8000000000123u,  // quiet NaN with a payload
      0xfff8000000000000u,  // negative NaN
      0x8000000000000000u,  // -0.0
      0x7ff0000000000000u,  // +inf
      0xfff0000000000000u,  // -inf
      0x0000000000000001u,  // smallest subnormal
  };
  for (const std::uint64_t bits : patterns) {
    const double value = std::bit_cast<double>(bits);
    const DoubleConstant constant = DoubleConstant::literal(value);
    const DoubleConstant constant_copy(constant);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(constant_copy.as_literal()), bits) << std::hex << bits;
    const VariableValue variable = VariableValue::double_(value);
    const VariableValue variable_copy(variable);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(variable_copy.as_double()), bits) << std::hex << bits;
    RangeMap range{DoubleConstant::literal(value), std::nullopt, lit("x")};
    const RangeMap range_copy(range);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(range_copy.start->as_literal()), bits) << std::hex << bits;
  }
}

TEST(DeepCopy, OptionalMapsAndCollectionsKeepTheirState) {
  Context context;
  context.functionVariables.emplace();
  const Context copy(context);
  ASSERT_TRUE(copy.functionVariables.has_value());
  EXPECT_TRUE(copy.functionVariables->empty());
  EXPECT_FALSE(copy.frameReferences.has_value());
  EXPECT_EQ(json_of(copy), R"({"functionVariables":{}})");

  // Through a union, which copies its payload into a heap cell of its own.
  const VariableValue node = VariableValue::computeNode(ComputeNodeWithContext{ComputeNode::raw(Reference{"n"}), context});
  EXPECT_EQ(json_of(VariableValue(node)),
            R"({"type":"computeNode","computeNode":{"seriesNode":{"type":"raw","raw":{"name":"n"}},"context":{"functionVariables":{}}}})");
}

}  // namespace
