#include "veltrix_compute/any.h"

#include <gtest/gtest.h>

#include <cmath>
#include <compare>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model.h"
#include "support/json_text.h"

namespace veltrix_compute {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

Any seq_i32(std::vector<std::int32_t> values) {
  Any::Sequence items;
  for (std::int32_t value : values) items.push_back(Any::from_i32(value));
  return Any::from_sequence(std::move(items));
}

Any map_of(std::vector<std::pair<Any, Any>> entries) { return Any::from_map(std::move(entries)); }

Any str(const char* text) { return Any::from_string(text); }

std::string json_of(const Any& value) {
  json::Buffer buffer;
  write_json(buffer, value);
  return std::string(buffer.view());
}

TEST(AnyOrder, EqualityAndOrderAgree) {
  using std::strong_ordering;
  const unsigned __int128 u128_max = ~static_cast<unsigned __int128>(0);
  const __int128 i128_min = static_cast<__int128>(u128_max >> 1) * -1 - 1;
  const __int128 two_100 = static_cast<__int128>(1) << 100;
  struct Case {
    const char* name;
    Any a;
    Any b;
    strong_ordering expected;
  };
  const Case cases[] = {
      {"null vs null", Any(), Any(), strong_ordering::equal},
      {"kinds: null before bool", Any(), Any::from_bool(false), strong_ordering::less},
      {"bool", Any::from_bool(false), Any::from_bool(true), strong_ordering::less},
      {"kinds: i32 1 vs i64 1", Any::from_i32(1), Any::from_i64(1), strong_ordering::less},
      {"kinds: i128 before u8", Any::from_i128(two_100), Any::from_u8(0), strong_ordering::less},
      {"kinds: f32 before f64", Any::from_f32(1.0f), Any::from_f64(1.0), strong_ordering::less},
      {"kinds: char before string", Any::from_char(U'z'), str("a"), strong_ordering::less},
      {"kinds: string before bytes", str("a"), Any::from_bytes({'a'}), strong_ordering::less},
      {"kinds: sequence before map", seq_i32({9}), map_of({}), strong_ordering::less},
      {"i64 signed", Any::from_i64(-1), Any::from_i64(0), strong_ordering::less},
      {"u64 unsigned", Any::from_u64(UINT64_MAX), Any::from_u64(0), strong_ordering::greater},
      {"i128 high bits", Any::from_i128(two_100), Any::from_i128(two_100 + 1), strong_ordering::less},
      {"i128 min", Any::from_i128(i128_min), Any::from_i128(0), strong_ordering::less},
      {"u128 top bit", Any::from_u128(u128_max), Any::from_u128(u128_max >> 1), strong_ordering::greater},
      {"char by code point", Any::from_char(U'é'), Any::from_char(U'z'), strong_ordering::greater},
      {"f64 NaN vs NaN", Any::from_f64(kNan), Any::from_f64(-kNan), strong_ordering::equal},
      {"f64 NaN above +inf", Any::from_f64(kNan), Any::from_f64(kInf), strong_ordering::greater},
      {"f64 -0.0 vs 0.0", Any::from_f64(-0.0), Any::from_f64(0.0), strong_ordering::equal},
      {"f64 -inf", Any::from_f64(-kInf), Any::from_f64(-1e308), strong_ordering::less},
      {"f32 NaN above +inf", Any::from_f32(NAN), Any::from_f32(INFINITY), strong_ordering::greater},
      {"string prefix first", str("ab"), str("abc"), strong_ordering::less},
      {"string first difference", str("abc"), str("b"), strong_ordering::less},
      {"string bytes unsigned", str("\xC3\xA9"), str("z"), strong_ordering::greater},
      {"empty string", str(""), str("a"), strong_ordering::less},
      {"bytes prefix first", Any::from_bytes({1, 2}), Any::from_bytes({1, 2, 0}), strong_ordering::less},
      {"bytes unsigned", Any::from_bytes({255}), Any::from_bytes({1, 0}), strong_ordering::greater},
      {"sequence longer", seq_i32({1, 2}), seq_i32({1, 2, 0}), strong_ordering::less},
      {"sequence first difference", seq_i32({1, 2}), seq_i32({1, 1, 9}), strong_ordering::greater},
      {"sequence equal", seq_i32({1, 2}), seq_i32({1, 2}), strong_ordering::equal},
      {"nested sequence", Any::from_sequence({seq_i32({1}), seq_i32({2})}),
       Any::from_sequence({seq_i32({1, 0}), seq_i32({})}), strong_ordering::less},
      {"map keys before values", map_of({{str("a"), Any::from_i32(9)}}),
       map_of({{str("b"), Any::from_i32(0)}}), strong_ordering::less},
      {"map values on equal keys", map_of({{str("a"), Any::from_i32(1)}}),
       map_of({{str("a"), Any::from_i32(0)}}), strong_ordering::greater},
      {"map runs out first", map_of({{str("a"), Any()}}),
       map_of({{str("a"), Any()}, {str("b"), Any()}}), strong_ordering::less},
      {"map equal", map_of({{Any::from_f64(kNan), Any()}}), map_of({{Any::from_f64(kNan), Any()}}),
       strong_ordering::equal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a <=> c.b, c.expected);
    EXPECT_EQ(c.b <=> c.a, 0 <=> (c.a <=> c.b));
    EXPECT_EQ(c.a == c.b, c.expected == 0);
  }
}

TEST(AnyMap, SortsKeysAndKeepsTheLastOfEqualKeys) {
  const Any map = map_of({{str("b"), Any::from_i32(1)},
                          {Any::from_i32(7), Any::from_i32(2)},
                          {str("b"), Any::from_i32(3)},
                          {Any::from_f64(kNan), Any::from_i32(4)},
                          {Any::from_f64(-kNan), Any::from_i32(5)}});
  ASSERT_EQ(map.kind(), Any::Kind::map);
  ASSERT_EQ(map.map().size(), 3u);
  EXPECT_EQ(map.map()[0].first, Any::from_i32(7));
  EXPECT_EQ(map.map()[1].first, Any::from_f64(kNan));
  EXPECT_EQ(map.map()[1].second, Any::from_i32(5));
  EXPECT_EQ(map.map()[2].second, Any::from_i32(3));
}

TEST(AnyCopy, CopiesDeeplyAndIndependently) {
  Any original = map_of({{str("k"), Any::from_sequence({Any::from_f64(kNan), Any::from_f64(-0.0),
                                                        Any::from_bytes({1, 2}), str("text")})}});
  Any copy = original;
  EXPECT_EQ(copy, original);
  original = Any();  // the copy owns its own cells
  EXPECT_EQ(json_of(copy), "{\"k\":[null,-0.0,[1,2],\"text\"]}");
  Any again;
  again = copy;
  again = *&again;  // self-assignment keeps the value
  EXPECT_EQ(again, copy);
  Any moved = std::move(again);
  EXPECT_EQ(again.kind(), Any::Kind::null);
  EXPECT_EQ(moved, copy);
  // Replacing a value by one of its own elements.
  Any outer = Any::from_sequence({seq_i32({4})});
  outer = Any(outer.sequence()[0]);
  EXPECT_EQ(outer, seq_i32({4}));
}

TEST(AnyDeep, DeepSequencesNeedNoCallStack) {
  constexpr int kDepth = 100000;
  Any deep;
  for (int i = 0; i < kDepth; ++i) {
    Any::Sequence items;
    items.push_back(std::move(deep));
    deep = Any::from_sequence(std::move(items));
  }
  Any copy = deep;
  EXPECT_EQ(copy, deep);
  const std::string text = json_of(copy);
  EXPECT_EQ(text, std::string(kDepth, '[') + "null" + std::string(kDepth, ']'));
  Any shallower = deep.sequence()[0];
  EXPECT_GT(deep, shallower);  // [[..[null]..]] against one level less: sequence after null
}

TEST(AnyJson, Values) {
  const unsigned __int128 u128_max = ~static_cast<unsigned __int128>(0);
  const __int128 i128_min = -static_cast<__int128>(u128_max >> 1) - 1;
  struct Case {
    Any value;
    const char* text;
  };
  const Case cases[] = {
      {Any(), "null"},
      {Any::from_bool(true), "true"},
      {Any::from_i8(-128), "-128"},
      {Any::from_i128(i128_min), "-170141183460469231731687303715884105728"},
      {Any::from_u128(u128_max), "340282366920938463463374607431768211455"},
      {Any::from_u64(UINT64_MAX), "18446744073709551615"},
      {Any::from_f32(0.1f), "0.1"},
      {Any::from_f64(1e-6), "1e-6"},
      {Any::from_f64(kInf), "null"},
      {Any::from_char(U'é'), "\"\xC3\xA9\""},
      {Any::from_char(U'"'), "\"\\\"\""},
      {Any::from_char(U'\U0001F600'), "\"\xF0\x9F\x98\x80\""},
      {Any::from_char(0xD800), "\"\xEF\xBF\xBD\""},
      {str("a\nb"), "\"a\\nb\""},
      {Any::from_bytes({1, 2, 255}), "[1,2,255]"},
      {Any::from_bytes({}), "[]"},
      {Any::from_sequence({}), "[]"},
      {map_of({}), "{}"},
      {Any::from_sequence({Any(), map_of({{str("a"), seq_i32({1, 2})}}), seq_i32({})}),
       "[null,{\"a\":[1,2]},[]]"},
  };
  for (const Case& c : cases) EXPECT_EQ(json_of(c.value), c.text);
}

TEST(AnyJson, MapKeys) {
  struct Case {
    Any key;
    const char* text;  // the whole map's text, or the refusal's message
  };
  const Case cases[] = {
      {str("k"), "{\"k\":0}"},
      {Any::from_char(U'é'), "{\"\xC3\xA9\":0}"},
      {Any::from_bool(false), "{\"false\":0}"},
      {Any::from_u8(7), "{\"7\":0}"},
      {Any::from_i128(-5), "{\"-5\":0}"},
      {Any::from_f32(1e13f), "{\"1e+13\":0}"},
      {Any::from_f64(-0.5), "{\"-0.5\":0}"},
      {Any(), "key must be a string"},
      {Any::from_bytes({1}), "key must be a string"},
      {seq_i32({}), "key must be a string"},
      {map_of({}), "key must be a string"},
      {Any::from_f64(kNan), "float key must be finite (got NaN or +/-inf)"},
      {Any::from_f32(-INFINITY), "float key must be finite (got NaN or +/-inf)"},
  };
  for (const Case& c : cases) {
    const JsonText written = to_json_text(map_of({{c.key, Any::from_i32(0)}}));
    EXPECT_EQ(written.error ? std::string(written.error) : written.text, c.text);
  }
  // Keys of different kinds stay distinct entries, in kind order, even when they read the same.
  EXPECT_EQ(json_of(map_of({{str("1"), Any::from_i32(2)}, {Any::from_i32(1), Any::from_i32(1)}})),
            "{\"1\":1,\"1\":2}");
}

TEST(AnyJson, UnknownVariantOfAUnion) {
  using compute_api::NumericSeries;
  const JsonText ok = to_json_text(NumericSeries::unknown({"X", map_of({{str("a"), Any::from_u8(1)}})}));
  EXPECT_EQ(ok.error, nullptr);
  EXPECT_EQ(ok.text, "{\"type\":\"X\",\"X\":{\"a\":1}}");
  const JsonText refused = to_json_text(NumericSeries::unknown({"X", map_of({{Any(), Any()}})}));
  ASSERT_NE(refused.error, nullptr);
  EXPECT_STREQ(refused.error, "key must be a string");
  EXPECT_EQ(refused.text, "");
}

TEST(Variant, FromStr) {
  for (const char* accepted : {"DAYS", "A_1", "9LIVES", "_"}) {
    auto variant = Variant::from_str(accepted);
    ASSERT_TRUE(variant) << accepted;
    EXPECT_EQ(variant->text(), accepted);
  }
  for (const char* refused : {"", "Days", "A-1", "A B", "\xC3\x89T\xC3\x89", "DAYS\n"}) {
    EXPECT_FALSE(Variant::from_str(refused)) << refused;
  }
}

}  // namespace
}  // namespace veltrix_compute
