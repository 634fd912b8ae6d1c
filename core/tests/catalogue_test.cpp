// Every union variant and every record of the generated catalogue, written and copied.
//
// catalogue_cases.inc lists one UNION_CASE per variant and one RECORD_CASE per record, each with
// an expression that builds a value from sample<T>() of its parts. The cases also serve as the
// samples themselves: a record's sample is its RECORD_CASE value, and a union's sample is the
// first of its variants that can be built without nesting a type inside itself.
#include <gtest/gtest.h>

#include <compare>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model.h"
#include "support/json_text.h"
#include "support/json_scanner.h"

namespace veltrix_compute {
namespace {

using veltrix_test::JsonScanner;

TEST(JsonScanner, ReadsTopLevelKeysOfWellFormedObjectsOnly) {
  using Keys = std::vector<std::string>;
  EXPECT_EQ(JsonScanner(R"({})").object_keys(), Keys{});
  EXPECT_EQ(JsonScanner(R"({"a":{"x":[1,-2.5e+3,"\"}"]},"b":null,"c":[{}]})").object_keys(),
            (Keys{"a", "b", "c"}));
  for (const char* bad : {R"({"a":1,})", R"({"a" 1})", R"({"a":1}x)", R"([1])", R"({"a":01})", R"({"a":tru})",
                          R"({"a":"b)", R"({"a":1.e5})"}) {
    EXPECT_EQ(JsonScanner(bad).object_keys(), std::nullopt) << bad;
  }
}

// ---------------------------------------------------------------------------------------------
// Samples.

// Thrown when a sample would have to hold a value of a type whose sample is still being built.
struct Recursion {};

// Makers of sample values of each record and union type, in declaration order of the variants.
template <class T>
std::vector<T (*)()>& makers() {
  static std::vector<T (*)()> list;
  return list;
}

template <class T>
bool& being_built() {
  static bool flag = false;
  return flag;
}

template <class T>
T sample();

template <class T>
struct Sampler {
  static T make() {
    if constexpr (requires { typename T::Value; }) {
      return T(static_cast<typename T::Value>(0));  // an enum: its first value
    } else {
      if (being_built<T>()) throw Recursion{};
      being_built<T>() = true;
      struct Done {
        ~Done() { being_built<T>() = false; }
      } done;
      for (T (*make)() : makers<T>()) {
        try {
          return make();
        } catch (const Recursion&) {
          // This variant leads back to a type under construction; try the next one.
        }
      }
      throw Recursion{};
    }
  }
};

template <>
struct Sampler<double> {
  static double make() { return 1.5; }
};
template <>
struct Sampler<std::int32_t> {
  static std::int32_t make() { return -7; }
};
template <>
struct Sampler<std::int64_t> {
  static std::int64_t make() { return std::int64_t{1} << 40; }
};
template <>
struct Sampler<bool> {
  static bool make() { return false; }  // present and false must still be written
};
template <>
struct Sampler<std::string> {
  static std::string make() { return "s"; }
};

// Nested optionals and collections give way (absent, empty) where their element would recurse;
// at the top of a case nothing is under construction, so every one of them is filled.
template <class T>
struct Sampler<std::optional<T>> {
  static std::optional<T> make() {
    try {
      return sample<T>();
    } catch (const Recursion&) {
      return std::nullopt;
    }
  }
};
template <class T>
struct Sampler<std::vector<T>> {
  static std::vector<T> make() {
    std::vector<T> items;
    try {
      items.push_back(sample<T>());
    } catch (const Recursion&) {
    }
    return items;
  }
};
template <class T>
struct Sampler<OrderedSet<T>> {
  static OrderedSet<T> make() {
    // At most one element, so the order is never consulted.
    return OrderedSet<T>::from_list(sample<std::vector<T>>(),
                                    [](const T&, const T&) { return std::strong_ordering::equal; });
  }
};
template <class K, class V>
struct Sampler<OrderedMap<K, V>> {
  static OrderedMap<K, V> make() {
    std::vector<typename OrderedMap<K, V>::Entry> entries;
    try {
      entries.emplace_back(sample<K>(), sample<V>());
    } catch (const Recursion&) {
    }
    return OrderedMap<K, V>::from_entries(std::move(entries));
  }
};

template <class T>
T sample() {
  return Sampler<T>::make();
}

// ---------------------------------------------------------------------------------------------
// Cases.

struct UnionCase {
  std::string_view type;
  std::string_view variant;
  std::size_t index;
  void (*check)(std::string_view variant, std::size_t index);
};
struct UnionType {
  std::string_view type;
  std::size_t (*cases)();
  std::size_t declared;
};
struct RecordCase {
  std::string_view type;
  std::vector<std::string> keys;
  void (*check)(const std::vector<std::string>& keys);
};

std::vector<UnionCase>& union_cases() {
  static std::vector<UnionCase> cases;
  return cases;
}
std::vector<UnionType>& union_types() {
  static std::vector<UnionType> types;
  return types;
}
std::vector<RecordCase>& record_cases() {
  static std::vector<RecordCase> cases;
  return cases;
}

// The copy must write exactly the source's text.
template <class T>
void expect_copy_writes_the_same(const T& value, const std::string& text) {
  const T copy(value);
  EXPECT_EQ(to_json_text(copy).text, text);
}

template <class U>
void check_union_case(std::string_view variant, std::size_t index) {
  const U value = makers<U>()[index]();
  EXPECT_EQ(static_cast<std::size_t>(value.kind()), index);
  EXPECT_EQ(U::kVariantNames[index], variant);
  EXPECT_EQ(value.variant_name(), variant);
  const JsonText json = to_json_text(value);
  ASSERT_EQ(json.error, nullptr);
  const std::string prefix = "{\"type\":\"" + std::string(variant) + "\",\"" + std::string(variant) + "\":";
  EXPECT_TRUE(json.text.starts_with(prefix)) << json.text;
  EXPECT_EQ(JsonScanner(json.text).object_keys(), (std::vector<std::string>{"type", std::string(variant)}))
      << json.text;
  expect_copy_writes_the_same(value, json.text);
}

template <class R>
void check_record_case(const std::vector<std::string>& keys) {
  const R value = makers<R>().front()();
  const JsonText json = to_json_text(value);
  ASSERT_EQ(json.error, nullptr);
  EXPECT_EQ(JsonScanner(json.text).object_keys(), keys) << json.text;
  expect_copy_writes_the_same(value, json.text);
}

template <class U>
bool add_union_case(std::string_view type, std::string_view variant, U (*make)()) {
  std::vector<U (*)()>& list = makers<U>();
  if (list.empty()) {
    union_types().push_back({type, [] { return makers<U>().size(); }, U::kVariantCount});
  }
  list.push_back(make);
  union_cases().push_back({type, variant, list.size() - 1, &check_union_case<U>});
  return true;
}

template <class R>
bool add_record_case(std::string_view type, std::vector<std::string> keys, R (*make)()) {
  makers<R>().push_back(make);
  record_cases().push_back({type, std::move(keys), &check_record_case<R>});
  return true;
}

#define VC_CONCAT_(a, b) a##b
#define VC_CONCAT(a, b) VC_CONCAT_(a, b)
#define VC_UNPAREN(...) __VA_ARGS__
#define UNION_CASE(Type, variant, expr) \
  const bool VC_CONCAT(union_case_, __LINE__) = add_union_case<Type>(#Type, variant, [] { return expr; });
#define RECORD_CASE(Type, keys, expr) \
  const bool VC_CONCAT(record_case_, __LINE__) = add_record_case<Type>(#Type, VC_UNPAREN keys, [] { return expr; });
#include "catalogue_cases.inc"
#undef UNION_CASE
#undef RECORD_CASE

TEST(Catalogue, EveryUnionVariantWritesTypeThenPayloadAndCopies) {
  ASSERT_FALSE(union_cases().empty());
  for (const UnionCase& c : union_cases()) {
    SCOPED_TRACE(std::string(c.type) + " " + std::string(c.variant));
    c.check(c.variant, c.index);
  }
  for (const UnionType& u : union_types()) {
    EXPECT_EQ(u.cases(), u.declared) << u.type;
  }
}

TEST(Catalogue, EveryRecordWritesAllItsKeysInOrderAndCopies) {
  ASSERT_FALSE(record_cases().empty());
  for (const RecordCase& c : record_cases()) {
    SCOPED_TRACE(c.type);
    c.check(c.keys);
  }
}

// ---------------------------------------------------------------------------------------------
// Variant tables of the large unions, written out independently of the schema.

template <class U>
std::vector<std::string_view> variant_names() {
  return std::vector<std::string_view>(std::begin(U::kVariantNames), std::end(U::kVariantNames));
}

TEST(Catalogue, VariantTablesOfTheLargeUnions) {
  using namespace compute_api;
  const std::vector<std::string_view> numeric = variant_names<NumericSeries>();
  ASSERT_EQ(numeric.size(), 76u);
  const std::pair<std::size_t, std::string_view> numeric_marks[] = {
      {0, "abs"},       {1, "negate"},     {10, "add"},          {14, "floorDivide"},
      {17, "atan2"},    {22, "union"},     {24, "constant"},     {34, "numericAggregation"},
      {39, "zScore"},   {40, "raw"},       {55, "dropNan"},      {56, "select1dArrayIndex"},
      {70, "channel"},  {75, "binaryArithmetic"},
  };
  for (const auto& [index, name] : numeric_marks) EXPECT_EQ(numeric[index], name) << index;

  EXPECT_EQ(variant_names<EnumSeries>(),
            (std::vector<std::string_view>{"aggregate", "raw", "channel", "derived", "resample",
                                           "nthPointDownsample", "timeRangeFilter", "timeShift", "union",
                                           "filterTransformation", "valueMap", "select1dArrayIndex",
                                           "extractFromStruct", "eventAggregation", "enumAggregation",
                                           "selectEnum", "filterByTag", "selectTags", "scalarUdf",
                                           "toStartOfInterval"}));
  EXPECT_EQ(variant_names<RangeSeries>(),
            (std::vector<std::string_view>{"approximateThreshold", "durationFilter", "enumFilter",
                                           "enumSeriesEqualityRangesNode", "eventsSearch", "intersectRange",
                                           "literalRanges", "minMaxThreshold", "not", "onChange", "peak",
                                           "rangeNumericAggregation", "raw", "derived",
                                           "seriesCrossoverRangesNode", "seriesEqualityRangesNode",
                                           "stabilityDetection", "staleRange", "threshold", "unionRange",
                                           "paddedRanges"}));
  EXPECT_EQ(variant_names<Dataset>(),
            (std::vector<std::string_view>{"asset", "run", "saved", "dataset", "search", "combine", "tag",
                                           "filter", "timeShift", "withNumericSeries", "withEnumSeries",
                                           "reference", "namedReference"}));
  EXPECT_EQ(variant_names<Duration>(),
            (std::vector<std::string_view>{"reference", "nanoseconds", "milliseconds", "seconds", "minutes",
                                           "hours", "days", "add", "subtract", "negate"}));
  EXPECT_EQ(variant_names<Series>(),
            (std::vector<std::string_view>{"raw", "enum", "numeric", "log", "array", "struct", "video"}));
  EXPECT_EQ(variant_names<ComputeNode>(),
            (std::vector<std::string_view>{"enum", "numeric", "log", "ranges", "array", "struct", "curveFit",
                                           "video", "raw"}));
  EXPECT_EQ(variant_names<VariableValue>(),
            (std::vector<std::string_view>{"double", "computeNode", "duration", "integer", "channel", "derived",
                                           "string", "stringSet", "timestamp"}));
}

}  // namespace
}  // namespace veltrix_compute
