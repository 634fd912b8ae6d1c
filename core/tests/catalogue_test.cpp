// Every union variant and every record of the generated catalogue, written, copied and freed.
//
// catalogue_cases.inc lists one UNION_CASE per variant and one RECORD_CASE per record, each with
// an expression that builds a value from sample<T>() of its parts. The cases also serve as the
// samples themselves: a record's sample is its RECORD_CASE value, and a union's sample is the
// first of its variants that can be built without nesting a type inside itself.
//
// The lists, sets and maps of a case and of the records it holds by value get three elements, each
// one that the engine has to descend into wherever the element type allows it, so that copying,
// writing and freeing must resume the container after its first and its middle element. (A record
// copies its members itself; the engine copies the containers of the record in a union's cell.)
// Inside a union or an element they get at most one, which keeps a sample small.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "model.h"
#include "support/counted_cells.h"
#include "support/json_scanner.h"
#include "support/json_text.h"
#include "support/replaced_allocator.h"
#include "veltrix_compute/string_constant_order.h"

namespace veltrix_compute {
namespace {

using veltrix_test::JsonScanner;
using Member = JsonScanner::Member;

TEST(JsonScanner, ReadsTheMembersOfWellFormedObjectsOnly) {
  EXPECT_EQ(JsonScanner(R"({})").members(), std::vector<Member>{});
  EXPECT_EQ(JsonScanner(R"({"a":{"x":[1,-2.5e+3,"\"}"]},"b":null,"c":[{},[]]})").members(),
            (std::vector<Member>{{"a", 1}, {"b", -1}, {"c", 2}}));
  for (const char* bad : {R"({"a":1,})", R"({"a" 1})", R"({"a":1}x)", R"([1])", R"({"a":01})", R"({"a":tru})",
                          R"({"a":"b)", R"({"a":1.e5})", R"({"a":[1,]})"}) {
    EXPECT_EQ(JsonScanner(bad).members(), std::nullopt) << bad;
  }
}

// ---------------------------------------------------------------------------------------------
// Samples.

// Thrown when a sample would have to hold a value of a type whose sample is still being built.
struct Recursion {};

// The sample being built.
struct Building {
  int level = 0;  // records, unions and elements under construction: 0 for the parts of a case itself
  int depth = 0;  // the same without records, so that a case's records share its three-element containers
  int salt = 0;   // which element of a case's container is being built, so that neighbours differ
  bool want_descent = false;    // the next union built holds a union, if one of its variants can
  long unions = 0;              // union samples built so far
  std::vector<long> top_sizes;  // of each part of the case: its elements if it is a container, else -1
};
Building building;

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
      return T(static_cast<typename T::Value>(building.salt % T::kValueCount));  // an enum
    } else {
      if (being_built<T>()) throw Recursion{};
      being_built<T>() = true;
      constexpr int kUnion = requires { T::kVariantNames; };
      ++building.level;
      building.depth += kUnion;
      const bool want_descent = std::exchange(building.want_descent, false);
      std::optional<T> chosen;
      for (T (*make)() : makers<T>()) {
        try {
          const long unions = building.unions;
          T value = make();
          const bool holds_union = building.unions != unions;
          if (!chosen || holds_union) chosen.emplace(std::move(value));
          if (!want_descent || holds_union) break;
        } catch (const Recursion&) {
          // This variant leads back to a type under construction; try the next one.
        }
      }
      being_built<T>() = false;
      --building.level;
      building.depth -= kUnion;
      if (!chosen) throw Recursion{};
      building.unions += kUnion;
      return std::move(*chosen);
    }
  }
};

// Scalars; the salt tells apart the elements of a case's container.
template <>
struct Sampler<double> { static double make() { return 1.5 + building.salt; } };
template <>
struct Sampler<std::int32_t> { static std::int32_t make() { return -7 + building.salt; } };
template <>
struct Sampler<std::int64_t> { static std::int64_t make() { return (std::int64_t{1} << 40) + building.salt; } };
template <>
struct Sampler<bool> { static bool make() { return building.salt == 1; } };  // false must be written too
template <>
struct Sampler<std::string> { static std::string make() { return {static_cast<char>('s' + building.salt)}; } };

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
// Lists, and the elements of sets and maps: three outside any union or element, each holding a
// union where its type allows, so that the engine descends into the first, the middle and the last.
template <class T>
struct Sampler<std::vector<T>> {
  static std::vector<T> make() {
    const int count = building.depth == 0 ? 3 : 1;
    const int salt = building.salt;
    ++building.level;
    ++building.depth;
    std::vector<T> items;
    try {
      for (int i = 0; i < count; ++i) {
        building.salt = salt + i;
        building.want_descent = count > 1;
        items.push_back(sample<T>());
      }
    } catch (const Recursion&) {
    }
    --building.level;
    --building.depth;
    building.salt = salt;
    building.want_descent = false;
    return items;
  }
};
template <class T>
struct Sampler<OrderedSet<T>> {
  static OrderedSet<T> make() {
    std::vector<T> items = Sampler<std::vector<T>>::make();
    if constexpr (std::is_same_v<T, std::string>) {
      return OrderedSet<T>::from_list(std::move(items), compare_key);
    } else {
      return make_tag_set(std::move(items));
    }
  }
};
template <class K, class V>
struct Sampler<std::pair<K, V>> {
  static std::pair<K, V> make() { return {sample<K>(), sample<V>()}; }
};
template <class K, class V>
struct Sampler<OrderedMap<K, V>> {
  static OrderedMap<K, V> make() { return OrderedMap<K, V>::from_entries(Sampler<std::vector<std::pair<K, V>>>::make()); }
};

template <class T>
T sample() {
  T value = Sampler<T>::make();
  if constexpr (!requires { value.has_value(); }) {  // of an optional, the value inside is the part
    long size = -1;
    if constexpr (requires { value.size(); } && !std::is_same_v<T, std::string>) size = static_cast<long>(value.size());
    if (building.level == 0) building.top_sizes.push_back(size);
  }
  return value;
}

// ---------------------------------------------------------------------------------------------
// Cases.

// A union variant (keys "type" and its name) or a record (keys those of its fields), and its check.
struct Case {
  std::string name;
  std::vector<std::string> keys;
  std::size_t index;  // of its maker
  void (*check)(const Case&);
};

std::vector<Case>& cases() {
  static std::vector<Case> list;
  return list;
}

// The text is one JSON object with the case's keys, its last members hold as many elements as the
// parts of the case they were built from, and the copy writes the same. A union's copy is freed in
// one walk, and once both are freed, no allocation of theirs is left.
template <class T>
void check_case(const Case& c) {
  building.top_sizes.clear();
  building.top_sizes.reserve(64);
  const long live = veltrix_test::live_allocations.load();
  {
    const T value = makers<T>()[c.index]();
    const JsonText json = to_json_text(value);
    ASSERT_EQ(json.error, nullptr);
    if constexpr (requires { value.variant_name(); }) {
      EXPECT_EQ(static_cast<std::size_t>(value.kind()), c.index);
      EXPECT_EQ(value.variant_name(), c.keys[1]);
      EXPECT_TRUE(json.text.starts_with("{\"type\":\"" + c.keys[1] + "\",\"" + c.keys[1] + "\":")) << json.text;
    }
    const std::optional<std::vector<Member>> members = JsonScanner(json.text).members();
    ASSERT_TRUE(members.has_value()) << json.text;
    std::vector<std::string> keys;
    for (const Member& member : *members) keys.push_back(member.first);
    ASSERT_EQ(keys, c.keys) << json.text;
    const std::vector<long>& sizes = building.top_sizes;  // of each field, or of the union's payload
    const std::size_t first = members->size() - sizes.size();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      if (sizes[i] >= 0) EXPECT_EQ((*members)[first + i].second, sizes[i]) << keys[first + i] << " in " << json.text;
    }
    std::optional<T> copy(value);
    EXPECT_EQ(to_json_text(*copy).text, json.text);
    const long frees = veltrix_test::CountedCells::frees();
    copy.reset();
    if constexpr (requires { value.variant_name(); }) {
      EXPECT_LE(veltrix_test::CountedCells::frees() - frees, 1) << "the free left parts of the tree to destructors";
    }
  }
  EXPECT_EQ(veltrix_test::live_allocations.load(), live) << "allocations left after the free";
}

template <class T>
bool add_case(std::string name, std::vector<std::string> keys, T (*make)()) {
  makers<T>().push_back(make);
  cases().push_back({std::move(name), std::move(keys), makers<T>().size() - 1, &check_case<T>});
  return true;
}

#define VC_CONCAT_(a, b) a##b
#define VC_CONCAT(a, b) VC_CONCAT_(a, b)
#define VC_UNPAREN(...) __VA_ARGS__
#define UNION_CASE(Type, variant, expr) \
  const bool VC_CONCAT(case_, __LINE__) = add_case<Type>(#Type " " variant, {"type", variant}, [] { return expr; });
#define RECORD_CASE(Type, keys, expr) \
  const bool VC_CONCAT(case_, __LINE__) = add_case<Type>(#Type, VC_UNPAREN keys, [] { return expr; });
#include "catalogue_cases.inc"
#undef UNION_CASE
#undef RECORD_CASE

TEST(Catalogue, EveryVariantAndRecordWritesItsKeysCopiesAndFrees) {
  ASSERT_FALSE(cases().empty());
  const veltrix_test::CountedCells cells;
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    c.check(c);
  }
}

// ---------------------------------------------------------------------------------------------
// Variant tables of the large unions, written out independently of the schema, against the names
// that values of each kind write.

template <class U>
std::vector<std::string> variant_names() {
  std::vector<std::string> names;
  for (U (*make)() : makers<U>()) {
    const U value = make();
    const std::string text = to_json_text(value).text;  // {"type":"<name>",...
    const auto kind = static_cast<std::size_t>(value.kind());
    if (names.size() <= kind) names.resize(kind + 1);
    names[kind] = text.substr(9, text.find('"', 9) - 9);
  }
  return names;
}

TEST(Catalogue, VariantTablesOfTheLargeUnions) {
  using namespace compute_api;
  const std::vector<std::string> numeric = variant_names<NumericSeries>();
  ASSERT_EQ(numeric.size(), 76u);
  const std::pair<std::size_t, std::string_view> numeric_marks[] = {
      {0, "abs"},       {1, "negate"},     {10, "add"},          {14, "floorDivide"},
      {17, "atan2"},    {22, "union"},     {24, "constant"},     {34, "numericAggregation"},
      {39, "zScore"},   {40, "raw"},       {55, "dropNan"},      {56, "select1dArrayIndex"},
      {70, "channel"},  {75, "binaryArithmetic"},
  };
  for (const auto& [index, name] : numeric_marks) EXPECT_EQ(numeric[index], name) << index;

  EXPECT_EQ(variant_names<EnumSeries>(),
            (std::vector<std::string>{"aggregate", "raw", "channel", "derived", "resample",
                                           "nthPointDownsample", "timeRangeFilter", "timeShift", "union",
                                           "filterTransformation", "valueMap", "select1dArrayIndex",
                                           "extractFromStruct", "eventAggregation", "enumAggregation",
                                           "selectEnum", "filterByTag", "selectTags", "scalarUdf",
                                           "toStartOfInterval"}));
  EXPECT_EQ(variant_names<RangeSeries>(),
            (std::vector<std::string>{"approximateThreshold", "durationFilter", "enumFilter",
                                           "enumSeriesEqualityRangesNode", "eventsSearch", "intersectRange",
                                           "literalRanges", "minMaxThreshold", "not", "onChange", "peak",
                                           "rangeNumericAggregation", "raw", "derived",
                                           "seriesCrossoverRangesNode", "seriesEqualityRangesNode",
                                           "stabilityDetection", "staleRange", "threshold", "unionRange",
                                           "paddedRanges"}));
  EXPECT_EQ(variant_names<Dataset>(),
            (std::vector<std::string>{"asset", "run", "saved", "dataset", "search", "combine", "tag",
                                           "filter", "timeShift", "withNumericSeries", "withEnumSeries",
                                           "reference", "namedReference"}));
  EXPECT_EQ(variant_names<Duration>(),
            (std::vector<std::string>{"reference", "nanoseconds", "milliseconds", "seconds", "minutes",
                                           "hours", "days", "add", "subtract", "negate"}));
  EXPECT_EQ(variant_names<Series>(),
            (std::vector<std::string>{"raw", "enum", "numeric", "log", "array", "struct", "video"}));
  EXPECT_EQ(variant_names<ComputeNode>(),
            (std::vector<std::string>{"enum", "numeric", "log", "ranges", "array", "struct", "curveFit",
                                           "video", "raw"}));
  EXPECT_EQ(variant_names<VariableValue>(),
            (std::vector<std::string>{"double", "computeNode", "duration", "integer", "channel", "derived",
                                           "string", "stringSet", "timestamp"}));
}

}  // namespace
}  // namespace veltrix_compute
