#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "tuple_testing.h"

namespace fpta::testing {
namespace {

// What a field should decode to: a value compared whole, or a type and
// length whose bytes are compared where the value points.
struct Expected {
  fpta_value value;
  std::string bytes;
  bool points = false;
};

Expected ByValue(const fpta_value& value) { return {value, {}, false}; }

Expected Pointing(fpta_value_type type, const std::string& bytes) {
  fpta_value value = fpta_value_null();
  value.type = type;
  value.binary_length = static_cast<unsigned>(bytes.size());
  return {value, bytes, true};
}

void ExpectDecodes(const fpta_value& actual, const Expected& expected) {
  EXPECT_EQ(actual.type, expected.value.type);
  EXPECT_EQ(actual.binary_length, expected.value.binary_length);
  if (!expected.points) {
    EXPECT_EQ(actual.uint, expected.value.uint);
    return;
  }
  EXPECT_EQ(Bytes(actual), expected.bytes);
  if (actual.type == fpta_string) {
    EXPECT_EQ(actual.str[actual.binary_length], '\0');
  }
}

std::string Pattern(size_t length, int seed) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(seed + 37 * i);
  return bytes;
}

const std::string k96a = Pattern(12, 1), k96b = Pattern(12, 2);
const std::string k128a = Pattern(16, 3), k128b = Pattern(16, 4);
const std::string k160a = Pattern(20, 5), k160b = Pattern(20, 6);
const std::string k256a = Pattern(32, 7), k256b = Pattern(32, 8);
const std::string kTextA = "hello", kTextB = std::string("a\0bcdefghij", 11);
const std::string kOpaqueA = Pattern(3, 9), kOpaqueB = Pattern(9, 10);
const std::string kIovA = Pattern(4, 11);

// A read-only tuple of the given uint16 fields, kept alive for the tests.
fptu_ro NestedOf(std::initializer_list<unsigned> values) {
  static std::vector<Tuple> keep;
  keep.push_back(Alloc(values.size(), 0));
  unsigned column = 0;
  for (const unsigned value : values) fptu_insert_uint16(keep.back().get(), column++, value);
  return fptu_take_noshrink(keep.back().get());
}
const fptu_ro kNestedA = NestedOf({1});
const fptu_ro kNestedB = NestedOf({2, 3});

std::string ImageOf(const fptu_ro& ro) {
  return std::string(reinterpret_cast<const char*>(ro.units), ro.total_bytes);
}

fpta_value Time(uint64_t fixedpoint) {
  fptu_time time;
  time.fixedpoint = fixedpoint;
  return fpta_value_datetime(time);
}

iovec Iov(const std::string& bytes) { return {const_cast<char*>(bytes.data()), bytes.size()}; }

// One field kind: insert writes the first value, upsert the second.
struct Kind {
  const char* name;
  fptu_type type;
  std::function<int(fptu_rw*, unsigned)> insert;
  std::function<int(fptu_rw*, unsigned)> upsert;
  Expected first;
  Expected second;
};

const Kind kKinds[] = {
    {"uint16", fptu_uint16, [](fptu_rw* pt, unsigned c) { return fptu_insert_uint16(pt, c, 0); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_uint16(pt, c, 65535); },
     ByValue(fpta_value_uint(0)), ByValue(fpta_value_uint(65535))},
    {"uint32", fptu_uint32, [](fptu_rw* pt, unsigned c) { return fptu_insert_uint32(pt, c, 1); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_uint32(pt, c, 4294967295u); },
     ByValue(fpta_value_uint(1)), ByValue(fpta_value_uint(4294967295u))},
    {"uint64", fptu_uint64, [](fptu_rw* pt, unsigned c) { return fptu_insert_uint64(pt, c, 2); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_uint64(pt, c, UINT64_MAX); },
     ByValue(fpta_value_uint(2)), ByValue(fpta_value_uint(UINT64_MAX))},
    {"int32", fptu_int32,
     [](fptu_rw* pt, unsigned c) { return fptu_insert_int32(pt, c, INT32_MIN); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_int32(pt, c, INT32_MAX); },
     ByValue(fpta_value_sint(INT32_MIN)), ByValue(fpta_value_sint(INT32_MAX))},
    {"int64", fptu_int64,
     [](fptu_rw* pt, unsigned c) { return fptu_insert_int64(pt, c, INT64_MIN); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_int64(pt, c, -1); },
     ByValue(fpta_value_sint(INT64_MIN)), ByValue(fpta_value_sint(-1))},
    {"fp32", fptu_fp32, [](fptu_rw* pt, unsigned c) { return fptu_insert_fp32(pt, c, -1.5f); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_fp32(pt, c, 3.25f); },
     ByValue(fpta_value_float(-1.5)), ByValue(fpta_value_float(3.25))},
    {"fp64", fptu_fp64, [](fptu_rw* pt, unsigned c) { return fptu_insert_fp64(pt, c, 1e300); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_fp64(pt, c, -0.0); },
     ByValue(fpta_value_float(1e300)), ByValue(fpta_value_float(-0.0))},
    {"datetime", fptu_datetime,
     [](fptu_rw* pt, unsigned c) { return fptu_insert_datetime(pt, c, Time(1).datetime); },
     [](fptu_rw* pt, unsigned c) {
       return fptu_upsert_datetime(pt, c, Time(0xFFFFFFFF00000001u).datetime);
     },
     ByValue(Time(1)), ByValue(Time(0xFFFFFFFF00000001u))},
    {"b96", fptu_96, [](fptu_rw* pt, unsigned c) { return fptu_insert_96(pt, c, k96a.data()); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_96(pt, c, k96b.data()); },
     Pointing(fpta_binary, k96a), Pointing(fpta_binary, k96b)},
    {"b128", fptu_128, [](fptu_rw* pt, unsigned c) { return fptu_insert_128(pt, c, k128a.data()); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_128(pt, c, k128b.data()); },
     Pointing(fpta_binary, k128a), Pointing(fpta_binary, k128b)},
    {"b160", fptu_160, [](fptu_rw* pt, unsigned c) { return fptu_insert_160(pt, c, k160a.data()); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_160(pt, c, k160b.data()); },
     Pointing(fpta_binary, k160a), Pointing(fpta_binary, k160b)},
    {"b256", fptu_256, [](fptu_rw* pt, unsigned c) { return fptu_insert_256(pt, c, k256a.data()); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_256(pt, c, k256b.data()); },
     Pointing(fpta_binary, k256a), Pointing(fpta_binary, k256b)},
    {"string", fptu_cstr,
     [](fptu_rw* pt, unsigned c) {
       return fptu_insert_string(pt, c, kTextA.data(), kTextA.size());
     },
     [](fptu_rw* pt, unsigned c) {
       return fptu_upsert_string(pt, c, kTextB.data(), kTextB.size());
     },
     Pointing(fpta_string, kTextA), Pointing(fpta_string, kTextB)},
    {"opaque", fptu_opaque,
     [](fptu_rw* pt, unsigned c) {
       return fptu_insert_opaque(pt, c, kOpaqueA.data(), kOpaqueA.size());
     },
     [](fptu_rw* pt, unsigned c) {
       return fptu_upsert_opaque(pt, c, kOpaqueB.data(), kOpaqueB.size());
     },
     Pointing(fpta_binary, kOpaqueA), Pointing(fpta_binary, kOpaqueB)},
    {"opaque_iov", fptu_opaque,
     [](fptu_rw* pt, unsigned c) { return fptu_insert_opaque_iov(pt, c, Iov(kIovA)); },
     [](fptu_rw* pt, unsigned c) {
       return fptu_upsert_opaque_iov(pt, c, iovec{nullptr, 0});
     },
     Pointing(fpta_binary, kIovA), Pointing(fpta_binary, "")},
    {"nested", fptu_nested,
     [](fptu_rw* pt, unsigned c) { return fptu_insert_nested(pt, c, kNestedA); },
     [](fptu_rw* pt, unsigned c) { return fptu_upsert_nested(pt, c, kNestedB); },
     Pointing(fpta_binary, ImageOf(kNestedA)), Pointing(fpta_binary, ImageOf(kNestedB))},
};

class FieldKind : public ::testing::TestWithParam<Kind> {};

TEST_P(FieldKind, InsertAtTheLastColumnRoundTrips) {
  Tuple pt = Alloc(4, 512);
  ASSERT_EQ(GetParam().insert(pt.get(), fpta_max_cols - 1), FPTA_SUCCESS);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
  const std::vector<Field> fields = LiveFields(pt.get());
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].column, fpta_max_cols - 1u);
  EXPECT_EQ(fields[0].type, GetParam().type);
  ExpectDecodes(fields[0].value, GetParam().first);
}

TEST_P(FieldKind, InsertKeepsEarlierFieldsOfTheColumn) {
  Tuple pt = Alloc(4, 512);
  ASSERT_EQ(GetParam().insert(pt.get(), 3), FPTA_SUCCESS);
  ASSERT_EQ(GetParam().insert(pt.get(), 3), FPTA_SUCCESS);
  EXPECT_EQ(LiveFields(pt.get()).size(), 2u);
}

TEST_P(FieldKind, UpsertAddsAFieldToAColumnWithoutOne) {
  Tuple pt = Alloc(4, 512);
  ASSERT_EQ(GetParam().upsert(pt.get(), 0), FPTA_SUCCESS);
  const std::vector<Field> fields = LiveFields(pt.get());
  ASSERT_EQ(fields.size(), 1u);
  ExpectDecodes(fields[0].value, GetParam().second);
}

TEST_P(FieldKind, UpsertReplacesOnlyTheFieldOfItsColumnAndType) {
  Tuple pt = Alloc(8, 1024);
  const bool other_is_uint32 = GetParam().type == fptu_uint16;
  ASSERT_EQ(
      other_is_uint32 ? fptu_insert_uint32(pt.get(), 5, 77) : fptu_insert_uint16(pt.get(), 5, 77),
      0);
  ASSERT_EQ(GetParam().insert(pt.get(), 5), FPTA_SUCCESS);
  ASSERT_EQ(GetParam().insert(pt.get(), 6), FPTA_SUCCESS);
  ASSERT_EQ(GetParam().upsert(pt.get(), 5), FPTA_SUCCESS);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
  const std::vector<Field> fields = LiveFields(pt.get());
  ASSERT_EQ(fields.size(), 3u);
  for (const Field& field : fields) {
    if (field.column == 6) {
      ExpectDecodes(field.value, GetParam().first);
    } else if (field.type == GetParam().type) {
      ExpectDecodes(field.value, GetParam().second);
    } else {
      EXPECT_EQ(field.value.uint, 77u);
    }
  }
}

TEST_P(FieldKind, RefusesANullTupleAndAColumnPastTheLast) {
  Tuple pt = Alloc(4, 512);
  for (const auto& write : {GetParam().insert, GetParam().upsert}) {
    EXPECT_EQ(write(nullptr, 0), FPTA_EINVAL);
    EXPECT_EQ(write(pt.get(), fpta_max_cols), FPTA_EINVAL);
    EXPECT_EQ(write(pt.get(), UINT_MAX), FPTA_EINVAL);
  }
  EXPECT_TRUE(LiveFields(pt.get()).empty());
}

TEST_P(FieldKind, ReportsNoSpaceWhenNoUnitIsFree) {
  Tuple pt = Alloc(0, 0);
  EXPECT_EQ(GetParam().insert(pt.get(), 0), FPTU_ENOSPACE);
  EXPECT_EQ(GetParam().upsert(pt.get(), 0), FPTU_ENOSPACE);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
}

TEST_P(FieldKind, UpsertNullRemovesEveryFieldOfTheColumn) {
  Tuple pt = Alloc(4, 512);
  ASSERT_EQ(GetParam().insert(pt.get(), 7), FPTA_SUCCESS);
  ASSERT_EQ(GetParam().insert(pt.get(), 7), FPTA_SUCCESS);
  ASSERT_EQ(GetParam().insert(pt.get(), 8), FPTA_SUCCESS);
  ASSERT_EQ(fptu_upsert_null(pt.get(), 7), FPTA_SUCCESS);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
  const std::vector<Field> fields = LiveFields(pt.get());
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].column, 8u);
  EXPECT_GE(pt->junk, 2u);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FieldKind, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                           return std::string(info.param.name);
                         });

// Writes whose outcome hangs on a limit, a range or a pointer.
struct Boundary {
  const char* name;
  std::function<int(fptu_rw*)> write;
  int status;
};

const std::string kLongest(fpta_max_col_bytes + 1, 'x');

// A nested tuple of exactly the given bytes: one opaque field filling it.
fptu_ro NestedOfBytes(size_t total_bytes) {
  static std::vector<Tuple> keep;
  const size_t opaque = total_bytes - 12;
  keep.push_back(Alloc(1, opaque + 4));
  fptu_insert_opaque(keep.back().get(), 0, kLongest.data(), opaque);
  return fptu_take_noshrink(keep.back().get());
}

const Boundary kBoundaries[] = {
    {"string_at_limit",
     [](fptu_rw* pt) { return fptu_insert_string(pt, 0, kLongest.data(), fpta_max_col_bytes); },
     FPTA_SUCCESS},
    {"string_past_limit",
     [](fptu_rw* pt) { return fptu_upsert_string(pt, 0, kLongest.data(), fpta_max_col_bytes + 1); },
     FPTU_ETOOLONG},
    {"opaque_at_limit",
     [](fptu_rw* pt) { return fptu_upsert_opaque(pt, 0, kLongest.data(), fpta_max_col_bytes); },
     FPTA_SUCCESS},
    {"opaque_past_limit",
     [](fptu_rw* pt) { return fptu_insert_opaque(pt, 0, kLongest.data(), fpta_max_col_bytes + 1); },
     FPTU_ETOOLONG},
    {"iov_past_limit", [](fptu_rw* pt) { return fptu_insert_opaque_iov(pt, 0, Iov(kLongest)); },
     FPTU_ETOOLONG},
    {"nested_at_limit", [](fptu_rw* pt) { return fptu_insert_nested(pt, 0, NestedOfBytes(65528)); },
     FPTA_SUCCESS},
    {"nested_past_limit",
     [](fptu_rw* pt) { return fptu_upsert_nested(pt, 0, NestedOfBytes(65532)); }, FPTU_ETOOLONG},
    {"nested_broken",
     [](fptu_rw* pt) {
       return fptu_insert_nested(pt, 0, fptu_ro{{kNestedB.units, 6}});
     },
     FPTA_EINVAL},
    {"nested_empty", [](fptu_rw* pt) { return fptu_insert_nested(pt, 0, fptu_ro{}); },
     FPTA_SUCCESS},
    {"uint16_largest", [](fptu_rw* pt) { return fptu_insert_uint16(pt, 0, 65535); }, FPTA_SUCCESS},
    {"uint16_past", [](fptu_rw* pt) { return fptu_insert_uint16(pt, 0, 65536); }, FPTA_EINVAL},
    {"upsert_uint16_past", [](fptu_rw* pt) { return fptu_upsert_uint16(pt, 0, 65536); },
     FPTA_EINVAL},
    {"upsert_uint32_past",
     [](fptu_rw* pt) { return fptu_upsert_uint32(pt, 0, uint_fast32_t{1} << 32); }, FPTA_EINVAL},
    {"upsert_int32_below",
     [](fptu_rw* pt) { return fptu_upsert_int32(pt, 0, int_fast32_t{INT32_MIN} - 1); },
     FPTA_EINVAL},
    {"upsert_int32_above",
     [](fptu_rw* pt) { return fptu_upsert_int32(pt, 0, int_fast32_t{INT32_MAX} + 1); },
     FPTA_EINVAL},
    {"b96_null", [](fptu_rw* pt) { return fptu_insert_96(pt, 0, nullptr); }, FPTA_EINVAL},
    {"b256_null", [](fptu_rw* pt) { return fptu_upsert_256(pt, 0, nullptr); }, FPTA_EINVAL},
    {"string_null_empty", [](fptu_rw* pt) { return fptu_insert_string(pt, 0, nullptr, 0); },
     FPTA_SUCCESS},
    {"string_null_long", [](fptu_rw* pt) { return fptu_insert_string(pt, 0, nullptr, 1); },
     FPTA_EINVAL},
    {"opaque_null_long", [](fptu_rw* pt) { return fptu_upsert_opaque(pt, 0, nullptr, 2); },
     FPTA_EINVAL},
    {"iov_null_long",
     [](fptu_rw* pt) {
       return fptu_upsert_opaque_iov(pt, 0, iovec{nullptr, 3});
     },
     FPTA_EINVAL},
    {"upsert_null_column_past", [](fptu_rw* pt) { return fptu_upsert_null(pt, fpta_max_cols); },
     FPTA_EINVAL},
};

class WriteBoundary : public ::testing::TestWithParam<Boundary> {};

TEST_P(WriteBoundary, GivesItsStatusAndKeepsTheTupleSound) {
  Tuple pt = Alloc(2, 70000);
  EXPECT_EQ(GetParam().write(pt.get()), GetParam().status);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
  EXPECT_EQ(LiveFields(pt.get()).size(), GetParam().status == FPTA_SUCCESS ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Limits, WriteBoundary, ::testing::ValuesIn(kBoundaries),
                         [](const ::testing::TestParamInfo<Boundary>& info) {
                           return std::string(info.param.name);
                         });

TEST(TupleWriter, PacksAwayJunkWhenTheDataRoomRunsOut) {
  Tuple pt = Alloc(2, 16);
  ASSERT_EQ(fptu_insert_string(pt.get(), 1, "12345678", 8), FPTA_SUCCESS);  // all 4 data units
  ASSERT_EQ(fptu_upsert_null(pt.get(), 1), FPTA_SUCCESS);
  EXPECT_EQ(pt->junk, 5u);
  ASSERT_EQ(fptu_insert_opaque(pt.get(), 2, "abcdefghijkl", 12), FPTA_SUCCESS);
  EXPECT_EQ(pt->junk, 0u);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
  const std::vector<Field> fields = LiveFields(pt.get());
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(Bytes(fields[0].value), "abcdefghijkl");
}

TEST(TupleWriter, PackingKeepsTheHeaderRoomTheTupleWasMadeWith) {
  Tuple pt = Alloc(4, 8);
  ASSERT_EQ(fptu_insert_opaque(pt.get(), 1, "abcd", 4), FPTA_SUCCESS);
  ASSERT_EQ(fptu_upsert_null(pt.get(), 1), FPTA_SUCCESS);
  ASSERT_EQ(fptu_insert_uint32(pt.get(), 3, 9), FPTA_SUCCESS);
  EXPECT_EQ(pt->head, 4u);  // three more headers fit, as when it was made
  EXPECT_EQ(pt->end - pt->tail, 1u);
  for (unsigned column = 10; column < 14; ++column)
    EXPECT_EQ(fptu_insert_uint16(pt.get(), column, 1), FPTA_SUCCESS);
  EXPECT_EQ(fptu_insert_uint16(pt.get(), 14, 1), FPTU_ENOSPACE);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
  EXPECT_EQ(LiveFields(pt.get()).size(), 5u);
}

TEST(TupleWriter, DataRoomTakesHeadersWhenTheHeaderRoomIsUsedUp) {
  Tuple pt = Alloc(0, 8);
  EXPECT_EQ(fptu_insert_uint32(pt.get(), 0, 1), FPTA_SUCCESS);
  EXPECT_EQ(fptu_insert_uint16(pt.get(), 1, 2), FPTU_ENOSPACE);
  EXPECT_EQ(fptu_check(pt.get()), nullptr);
  EXPECT_EQ(LiveFields(pt.get()).size(), 1u);
}

// A longer string fits once the old field's units are freed, or the old
// value stays as it was.
TEST(TupleWriter, UpsertThatGrowsAStringReusesTheOldUnitsOrFails) {
  struct Growth {
    size_t data_bytes;
    const char* longer;
    int status;
    const char* kept;
  };
  for (const Growth& growth :
       {Growth{12, "abcdefg", FPTA_SUCCESS, "abcdefg"},  // 3 units: the 2 old ones + 1 free
        Growth{8, "abcdefgh", FPTU_ENOSPACE, "abc"}}) {  // 4 units: the 2 old ones do not do
    Tuple pt = Alloc(1, growth.data_bytes);
    ASSERT_EQ(fptu_upsert_string(pt.get(), 0, "abc", 3), FPTA_SUCCESS);
    EXPECT_EQ(fptu_upsert_string(pt.get(), 0, growth.longer, std::strlen(growth.longer)),
              growth.status);
    EXPECT_EQ(fptu_check(pt.get()), nullptr);
    const std::vector<Field> fields = LiveFields(pt.get());
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_STREQ(fields[0].value.str, growth.kept);
  }
}

// The tuple's own read-only view lies in the units the write moves and
// overwrites; the field must still hold the image as it was before the call.
TEST(TupleWriter, NestsItsOwnViewAsItWasBeforeTheWrite) {
  for (const auto write : {fptu_insert_nested, fptu_upsert_nested}) {
    Tuple pt = Alloc(4, 96);
    ASSERT_EQ(fptu_insert_uint32(pt.get(), 1, 7), FPTA_SUCCESS);
    ASSERT_EQ(fptu_insert_string(pt.get(), 2, "abc", 3), FPTA_SUCCESS);
    const fptu_ro own = fptu_take_noshrink(pt.get());
    const std::string image = ImageOf(own);
    ASSERT_EQ(write(pt.get(), 9, own), FPTA_SUCCESS);
    EXPECT_EQ(fptu_check(pt.get()), nullptr);
    const std::vector<Field> fields = LiveFields(pt.get());
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].column, 9u);
    EXPECT_EQ(Bytes(fields[0].value), image);
  }
}

TEST(TupleWriter, InsertOnABrokenTupleIsRefused) {
  Tuple pt = Alloc(2, 16);
  pt->tail = pt->end + 1;
  EXPECT_EQ(fptu_insert_uint32(pt.get(), 0, 1), FPTA_EINVAL);
  EXPECT_EQ(fptu_upsert_null(pt.get(), 0), FPTA_EINVAL);
}

}  // namespace
}  // namespace fpta::testing
