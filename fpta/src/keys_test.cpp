#include "keys.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace fpta::keys {
namespace {

using namespace std::literals;

constexpr unsigned kObverse = fpta_primary_unique_ordered_obverse;
constexpr unsigned kReverse = fpta_primary_unique_ordered_reverse;
constexpr unsigned kNullable = fpta_primary_unique_ordered_obverse_nullable;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// Short names keep the value tables one row per case.
fpta_value U(uint64_t value) { return fpta_value_uint(value); }
fpta_value S(int64_t value) { return fpta_value_sint(value); }
fpta_value F(double value) { return fpta_value_float(value); }
fpta_value Str(std::string_view text) { return fpta_value_string(text.data(), text.size()); }
fpta_value Bin(std::string_view bytes) { return fpta_value_binary(bytes.data(), bytes.size()); }
fpta_value Stamp(uint64_t fixedpoint) {
  fptu_time stamp;
  stamp.fixedpoint = fixedpoint;
  return fpta_value_datetime(stamp);
}

std::string Bytes(const Key& key) {
  return std::string(reinterpret_cast<const char*>(key.data()), key.size());
}

std::string Encode(fptu_type type, unsigned index, const fpta_value& value,
                   bool* hashed = nullptr) {
  fpta_value normalized;
  EXPECT_EQ(Normalize(type, value, &normalized), FPTA_SUCCESS);
  Key key;
  key.Clear();
  EXPECT_EQ(AppendKey(type, index, normalized, &key), FPTA_SUCCESS);
  key.Finish();
  if (hashed != nullptr) *hashed = key.hashed();
  return Bytes(key);
}

struct OrderCase {
  fptu_type type;
  unsigned index;
  std::vector<fpta_value> ascending;
};

class KeyOrder : public ::testing::TestWithParam<OrderCase> {};

// std::string compares as unsigned bytes, shorter first: as LMDB orders keys.
TEST_P(KeyOrder, FollowsTheValues) {
  const OrderCase& c = GetParam();
  for (size_t i = 1; i < c.ascending.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LT(Encode(c.type, c.index, c.ascending[i - 1]), Encode(c.type, c.index, c.ascending[i]));
    if ((c.index & fpta_index_fobverse) == 0) continue;
    fpta_value a, b;
    ASSERT_EQ(Normalize(c.type, c.ascending[i - 1], &a), FPTA_SUCCESS);
    ASSERT_EQ(Normalize(c.type, c.ascending[i], &b), FPTA_SUCCESS);
    EXPECT_LT(Compare(c.type, a, b, nullptr), 0);
    EXPECT_GT(Compare(c.type, b, a, nullptr), 0);
  }
}

const std::string k16Zero(16, '\0'), k16Low = std::string(15, '\0') + "\x01",
                                     k16High = "\x01" + std::string(15, '\0');

INSTANTIATE_TEST_SUITE_P(
    Types, KeyOrder,
    ::testing::Values(
        OrderCase{fptu_uint16, kObverse, {U(0), U(255), U(256), U(65535)}},
        OrderCase{fptu_int32, kObverse, {S(INT32_MIN), S(-256), S(-1), S(0), S(255), S(INT32_MAX)}},
        OrderCase{fptu_uint32, kReverse, {U(0), U(0xFF), U(0x100), U(UINT32_MAX)}},
        OrderCase{fptu_fp32,
                  kObverse,
                  {F(-kInf), F(-1e30), F(-1.5), F(-1e-30), F(0.0), F(1e-30), F(1.5), F(2), F(1e30),
                   F(kInf)}},
        OrderCase{
            fptu_int64, kObverse, {S(INT64_MIN), S(-4294967296), S(-1), S(0), S(1), S(INT64_MAX)}},
        OrderCase{fptu_uint64, kObverse, {U(0), U(255), U(256), U(1ull << 32), U(UINT64_MAX)}},
        OrderCase{fptu_fp64,
                  kObverse,
                  {F(-kInf), F(-1e300), F(-1), F(-5e-324), F(-0.0), F(5e-324), F(0.5), F(1),
                   F(1e300), F(kInf)}},
        OrderCase{
            fptu_datetime, kObverse, {Stamp(0), Stamp(1), Stamp(1ull << 32), Stamp(UINT64_MAX)}},
        OrderCase{fptu_128, kObverse, {Bin(k16Zero), Bin(k16Low), Bin(k16High)}},
        OrderCase{fptu_128, kReverse, {Bin(k16Zero), Bin(k16High), Bin(k16Low)}},
        OrderCase{fptu_cstr,
                  kObverse,
                  {Str(""), Str("a"), Str("a\0"sv), Str("ab"), Str("b"), Str("\xFF")}},
        // A reverse index compares from the last byte.
        OrderCase{fptu_cstr, kReverse, {Str(""), Str("a"), Str("ba"), Str("b"), Str("ab")}},
        OrderCase{fptu_opaque, kObverse, {Bin(""), Bin("\0"sv), Bin("\x7F"), Bin("\x80")}},
        OrderCase{fptu_int64, kNullable, {fpta_value_null(), S(INT64_MIN), S(0)}},
        OrderCase{fptu_cstr, kNullable, {fpta_value_null(), Str(""), Str("a")}}));

struct Encoding {
  fptu_type type;
  unsigned index;
  fpta_value value;
  std::string bytes;
};

class KeyEncoding : public ::testing::TestWithParam<Encoding> {};

// These bytes are on disk: a change here makes every stored index unreadable.
TEST_P(KeyEncoding, IsExactly) {
  EXPECT_EQ(Encode(GetParam().type, GetParam().index, GetParam().value), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Types, KeyEncoding,
    ::testing::Values(Encoding{fptu_uint16, kObverse, U(0x1234), "\x12\x34"},
                      Encoding{fptu_int32, kReverse, S(-1), "\x7F\xFF\xFF\xFF"},
                      Encoding{fptu_uint32, kObverse, U(1), "\0\0\0\1"s},
                      Encoding{fptu_fp32, kObverse, F(1), "\xBF\x80\0\0"s},
                      Encoding{fptu_fp32, kObverse, F(-0.0), "\x80\0\0\0"s},
                      Encoding{fptu_int64, kObverse, S(0), "\x80\0\0\0\0\0\0\0"s},
                      Encoding{fptu_uint64, kObverse, U(0x0102030405060708), "\1\2\3\4\5\6\7\x08"},
                      Encoding{fptu_fp64, kReverse, F(-1), "\x40\x0F\xFF\xFF\xFF\xFF\xFF\xFF"},
                      Encoding{fptu_datetime, kObverse, Stamp(0x0102030405060708),
                               "\1\2\3\4\5\6\7\x08"},
                      Encoding{fptu_96, kReverse, Bin("abcdefghijkl"), "lkjihgfedcba"},
                      Encoding{fptu_cstr, kReverse, Str("abc"),
                               "\x01"
                               "cba"},
                      Encoding{fptu_uint16, kNullable, U(5), "\1\0\5"s},
                      Encoding{fptu_cstr, kNullable, fpta_value_null(), "\0"s}));

TEST(KeyEncoding, RefusesWhatCannotBeAKey) {
  Key key;
  key.Clear();
  EXPECT_EQ(AppendKey(fptu_fp64, kNullable, F(kNan), &key), ERANGE);
  EXPECT_EQ(AppendKey(fptu_uint64, kObverse, fpta_value_null(), &key), FPTA_ENOKEY);
  EXPECT_EQ(AppendKey(fptu_nested, kObverse, Bin("x"), &key), FPTA_ETYPE);
  EXPECT_EQ(AppendKey(fptu_uint64, kObverse, S(1), &key), FPTA_ETYPE);
  EXPECT_EQ(AppendCompositePart(fptu_cstr, false, fpta_value_null(), &key), FPTA_ENOKEY);
  EXPECT_EQ(key.size(), 0u);
}

struct Part {
  fptu_type type;
  fpta_value value;
};

std::string Composite(bool nullable, const std::vector<Part>& parts) {
  Key key;
  key.Clear();
  for (const Part& part : parts)
    EXPECT_EQ(AppendCompositePart(part.type, nullable, part.value, &key), FPTA_SUCCESS);
  key.Finish();
  return Bytes(key);
}

void ExpectAscending(bool nullable, const std::vector<std::vector<Part>>& keys) {
  for (size_t i = 1; i < keys.size(); ++i)
    EXPECT_LT(Composite(nullable, keys[i - 1]), Composite(nullable, keys[i])) << i;
}

TEST(KeyComposite, OrdersByFirstPartThenSecond) {
  ExpectAscending(false, {{{fptu_cstr, Str("")}, {fptu_cstr, Str("z")}},
                          {{fptu_cstr, Str("a")}, {fptu_cstr, Str("")}},
                          {{fptu_cstr, Str("a")}, {fptu_cstr, Str("b")}},
                          {{fptu_cstr, Str("a")}, {fptu_cstr, Str("bc")}},
                          {{fptu_cstr, Str("a\0"sv)}, {fptu_cstr, Str("")}},
                          {{fptu_cstr, Str("ab")}, {fptu_cstr, Str("c")}},
                          {{fptu_cstr, Str("b")}, {fptu_cstr, Str("")}}});
}

TEST(KeyComposite, NullablePartsTagPresenceAndNullComesFirst) {
  ExpectAscending(true, {{{fptu_int32, fpta_value_null()}, {fptu_cstr, fpta_value_null()}},
                         {{fptu_int32, fpta_value_null()}, {fptu_cstr, Str("")}},
                         {{fptu_int32, S(-1)}, {fptu_cstr, fpta_value_null()}},
                         {{fptu_int32, S(-1)}, {fptu_cstr, Str("a")}},
                         {{fptu_int32, S(0)}, {fptu_cstr, fpta_value_null()}}});
  // Only variable-length parts are escaped and terminated: a fixed width ends itself.
  const std::string zeros(12, '\0');
  EXPECT_EQ(Composite(true, {{fptu_int32, fpta_value_null()},
                             {fptu_cstr, Str("x\0"sv)},
                             {fptu_96, Bin(zeros)}}),
            "\0\1x\0\xFF\0\0\1"s + zeros);
}

TEST(KeyLong, KeepsTheLimitUnhashedAndHashesBeyondIt) {
  // A string key is its 0x01 tag and its bytes.
  for (const size_t length : {kMaxKeyBytes - 1, kMaxKeyBytes, size_t{65531}}) {
    const std::string text(length, 'x');
    bool hashed = false;
    const std::string key = Encode(fptu_cstr, kObverse, Str(text), &hashed);
    EXPECT_EQ(key.size(), kMaxKeyBytes) << length;
    EXPECT_EQ(hashed, length + 1 > kMaxKeyBytes) << length;
    EXPECT_EQ(key.substr(0, kMaxKeyBytes - 8), ("\x01" + text).substr(0, kMaxKeyBytes - 8));
  }
}

TEST(KeyLong, HashCoversEveryByteWhicheverWayItArrives) {
  const std::string base(600, 'q');
  const std::string whole = Encode(fptu_opaque, kObverse, Bin(base));
  Key bytewise;
  bytewise.Clear();
  bytewise.AppendByte(0x01);
  for (const char byte : base) bytewise.AppendByte(static_cast<uint8_t>(byte));
  bytewise.Finish();
  EXPECT_EQ(Bytes(bytewise), whole);
  // Stored keys hold this hash, so it may never change.
  EXPECT_EQ(Encode(fptu_opaque, kObverse, Bin(std::string(481, 'x'))).substr(kMaxKeyBytes - 8),
            "\xEA\x5A\xC8\x0E\xD7\xC2\xF6\xBC");
  for (const size_t at :
       {size_t{0}, kMaxKeyBytes - 9, kMaxKeyBytes - 2, kMaxKeyBytes - 1, size_t{599}}) {
    std::string other = base;
    other[at] = 'r';
    EXPECT_NE(Encode(fptu_opaque, kObverse, Bin(other)), whole) << at;
  }
}

struct Conversion {
  fptu_type column;
  fpta_value value;
  int status;
  fpta_value expected;  // when status is FPTA_SUCCESS
};

class KeyNormalize : public ::testing::TestWithParam<Conversion> {};

TEST_P(KeyNormalize, AcceptsOrRefuses) {
  const Conversion& c = GetParam();
  fpta_value normalized = fpta_value_null();
  ASSERT_EQ(Normalize(c.column, c.value, &normalized), c.status);
  if (c.status != FPTA_SUCCESS) return;
  EXPECT_EQ(normalized.type, c.expected.type);
  EXPECT_EQ(normalized.binary_length, c.expected.binary_length);
  EXPECT_EQ(normalized.uint, c.expected.uint);  // the payload's bits, or where it points
}

const fpta_value kRefused = fpta_value_null();
constexpr std::string_view kTwelve = "abcdefghijkl";
const std::string kLongest(fpta_max_col_bytes + 1, 's');
const fpta_value kLongestStr = fpta_value_string(kLongest.data(), fpta_max_col_bytes);
const fpta_value kTooLongStr = Str(kLongest);

INSTANTIATE_TEST_SUITE_P(
    Rules, KeyNormalize,
    ::testing::Values(
        Conversion{fptu_uint16, U(65535), FPTA_SUCCESS, U(65535)},
        Conversion{fptu_uint16, U(65536), ERANGE, kRefused},
        Conversion{fptu_uint16, F(3.5), ERANGE, kRefused},
        Conversion{fptu_uint32, F(kNan), ERANGE, kRefused},
        Conversion{fptu_uint64, S(-1), ERANGE, kRefused},
        Conversion{fptu_uint64, F(-0.0), FPTA_SUCCESS, U(0)},
        Conversion{fptu_uint64, F(0x1p64), ERANGE, kRefused},
        Conversion{fptu_uint64, Stamp(1), FPTA_ETYPE, kRefused},
        Conversion{fptu_int32, S(INT32_MIN), FPTA_SUCCESS, S(INT32_MIN)},
        Conversion{fptu_int32, S(INT32_MIN - 1ll), ERANGE, kRefused},
        Conversion{fptu_int32, U(1u << 31), ERANGE, kRefused},
        Conversion{fptu_int64, U(1ull << 63), ERANGE, kRefused},
        Conversion{fptu_int64, F(-0x1p63), FPTA_SUCCESS, S(INT64_MIN)},
        Conversion{fptu_int64, F(0x1p63), ERANGE, kRefused},
        Conversion{fptu_int64, Str("1"), FPTA_ETYPE, kRefused},
        Conversion{fptu_fp64, U((1ull << 53) + 1), ERANGE, kRefused},
        Conversion{fptu_fp64, U(1ull << 63), FPTA_SUCCESS, F(0x1p63)},
        Conversion{fptu_fp64, S(-(1ll << 53)), FPTA_SUCCESS, F(-0x1p53)},
        Conversion{fptu_fp32, F(1e39), ERANGE, kRefused},
        Conversion{fptu_fp32, F(-kInf), FPTA_SUCCESS, F(-kInf)},
        Conversion{fptu_fp32, F(0.1), FPTA_SUCCESS, F(0.1f)},
        Conversion{fptu_fp32, U((1u << 24) + 1), ERANGE, kRefused},
        Conversion{fptu_fp32, S(-(1 << 24)), FPTA_SUCCESS, F(-0x1p24)},
        Conversion{fptu_datetime, U(7), FPTA_SUCCESS, Stamp(7)},
        Conversion{fptu_datetime, S(7), FPTA_ETYPE, kRefused},
        Conversion{fptu_96, Str(kTwelve), FPTA_SUCCESS, fpta_value_binary(kTwelve.data(), 12)},
        Conversion{fptu_96, fpta_value_binary(kLongest.data(), 11), ERANGE, kRefused},
        Conversion{fptu_256, fpta_value_binary(kLongest.data(), 33), ERANGE, kRefused},
        Conversion{fptu_160, U(1), FPTA_ETYPE, kRefused},
        Conversion{fptu_cstr, kLongestStr, FPTA_SUCCESS, kLongestStr},
        Conversion{fptu_cstr, kTooLongStr, FPTU_ETOOLONG, kRefused},
        Conversion{fptu_cstr, fpta_value_string(nullptr, 3), FPTA_EINVAL, kRefused},
        Conversion{fptu_cstr, fpta_value_string(nullptr, 0), FPTA_SUCCESS,
                   fpta_value_string(nullptr, 0)},
        Conversion{fptu_opaque, kTooLongStr, FPTU_ETOOLONG, kRefused},
        Conversion{fptu_opaque, kLongestStr, FPTA_SUCCESS,
                   fpta_value_binary(kLongest.data(), fpta_max_col_bytes)},
        Conversion{fptu_nested, Str("abcd"), FPTA_ETYPE, kRefused},
        Conversion{fptu_uint16, fpta_value_null(), FPTA_SUCCESS, fpta_value_null()},
        Conversion{fptu_cstr, fpta_value_begin(), FPTA_ETYPE, kRefused},
        Conversion{fptu_uint64, fpta_value_of_kind(fpta_shoved, 0), FPTA_ETYPE, kRefused},
        Conversion{fptu_null, U(1), FPTA_ETYPE, kRefused}));

TEST(KeyCompare, ZerosAreEqualAndNanIsUnordered) {
  bool unordered = true;
  EXPECT_EQ(Compare(fptu_fp64, F(-0.0), F(0.0), &unordered), 0);
  EXPECT_FALSE(unordered);
  EXPECT_EQ(Encode(fptu_fp64, kObverse, F(-0.0)), Encode(fptu_fp64, kObverse, F(0.0)));
  for (const double other : {kNan, 0.0}) {
    EXPECT_NE(Compare(fptu_fp64, F(kNan), F(other), &unordered), 0);
    EXPECT_TRUE(unordered);
  }
  EXPECT_LT(Compare(fptu_cstr, fpta_value_null(), Str(""), nullptr), 0);
  EXPECT_EQ(Compare(fptu_cstr, Str("ab"), Str("ab"), nullptr), 0);
}

TEST(KeyStatus, HasItsOwnText) {
  EXPECT_STREQ(fpta_strerror(FPTA_ETYPE), "A value of a kind that does not fit the column's type");
  EXPECT_STREQ(fpta_strerror(FPTA_ENOKEY),
               "The row lacks a value of a non-nullable indexed column");
}

}  // namespace
}  // namespace fpta::keys
