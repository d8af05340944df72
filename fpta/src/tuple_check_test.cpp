#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tuple_testing.h"

namespace fpta::testing {
namespace {

// A sound tuple with a string (column 1), an opaque value (2), a nested tuple
// (3) and a removed uint32 (5), in that order of insertion.
struct Sample {
  Tuple nested = Alloc(1, 0);
  Tuple pt = Alloc(8, 128);

  Sample() {
    fptu_insert_uint16(nested.get(), 0, 7);
    fptu_insert_string(pt.get(), 1, "abc", 3);
    fptu_insert_opaque(pt.get(), 2, "wxyz1", 5);
    fptu_insert_nested(pt.get(), 3, fptu_take_noshrink(nested.get()));
    fptu_insert_uint32(pt.get(), 5, 1);
    fptu_upsert_null(pt.get(), 5);
  }

  fptu_unit& Header(unsigned column) {
    for (unsigned i = pt->head; i < pt->pivot; ++i) {
      if (pt->units[i].field.ct >> fpta_column_typeid_bits == column) return pt->units[i];
    }
    return pt->units[0];
  }
  fptu_unit* Data(unsigned column) { return &Header(column) + Header(column).field.offset; }
};

struct Corruption {
  const char* name;
  std::function<void(Sample&)> apply;
  const char* fault;
};

void SetType(fptu_unit& header, unsigned type) {
  header.field.ct = static_cast<uint16_t>((header.field.ct & ~fpta_column_typeid_mask) | type);
}

const Corruption kCorruptions[] = {
    {"head_zero", [](Sample& s) { s.pt->head = 0; }, "head leaves no unit for the tuple header"},
    {"head_past_pivot", [](Sample& s) { s.pt->head = s.pt->pivot + 1; }, "head lies beyond pivot"},
    {"pivot_past_tail", [](Sample& s) { s.pt->pivot = s.pt->tail + 1; }, "pivot lies beyond tail"},
    {"tail_past_end", [](Sample& s) { s.pt->tail = s.pt->end + 1; }, "tail lies beyond end"},
    {"end_past_largest", [](Sample& s) { s.pt->end = 65536; }, "end lies beyond the largest tuple"},
    {"type_null", [](Sample& s) { SetType(s.Header(1), fptu_null); }, "field has the type null"},
    {"type_array", [](Sample& s) { SetType(s.Header(1), fptu_farray | fptu_int32); },
     "field type is not one this format stores"},
    {"column_past_last",
     [](Sample& s) { s.Header(1).field.ct = fpta_max_cols << fpta_column_typeid_bits | fptu_cstr; },
     "field column number is out of range"},
    {"data_outside", [](Sample& s) { s.Header(1).field.offset = 60000; },
     "field data lies outside the data area"},
    {"data_out_of_order", [](Sample& s) { s.Header(1).field.offset += 2; },
     "field data is out of order"},
    {"string_unterminated", [](Sample& s) { reinterpret_cast<char*>(s.Data(1) + 1)[3] = 'd'; },
     "string is not terminated"},
    {"string_length", [](Sample& s) { s.Data(1)->varlen.opaque_bytes = 7; },
     "string length does not match its units"},
    {"opaque_length", [](Sample& s) { s.Data(2)->varlen.opaque_bytes = 1; },
     "opaque length does not match its units"},
    {"nested_items", [](Sample& s) { s.Data(3)->varlen.tuple_items = 2; },
     "tuple header counts more fields than units"},
    {"nested_field_type", [](Sample& s) { SetType(s.Data(3)[1], fptu_null); },
     "field has the type null"},
    {"junk_miscounted", [](Sample& s) { s.pt->junk += 1; },
     "junk does not match the removed fields"},
    {"unclaimed_data", [](Sample& s) { s.pt->tail += 1; }, "data area holds units of no field"},
};

class CorruptTuple : public ::testing::TestWithParam<Corruption> {};

TEST_P(CorruptTuple, IsNamedByCheck) {
  Sample sample;
  ASSERT_EQ(fptu_check(sample.pt.get()), nullptr);
  GetParam().apply(sample);
  const char* fault = fptu_check(sample.pt.get());
  ASSERT_NE(fault, nullptr);
  EXPECT_STREQ(fault, GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(Faults, CorruptTuple, ::testing::ValuesIn(kCorruptions),
                         [](const ::testing::TestParamInfo<Corruption>& info) {
                           return std::string(info.param.name);
                         });

TEST(TupleCheck, AcceptsEmptyBuiltAndFetchedTuples) {
  EXPECT_STREQ(fptu_check(nullptr), "tuple is null");
  EXPECT_EQ(fptu_check(Alloc(0, 0).get()), nullptr);
  Sample sample;
  EXPECT_EQ(fptu_check(sample.pt.get()), nullptr);
  std::vector<uint32_t> buffer(64);
  fptu_rw* copy =
      fptu_fetch(fptu_take_noshrink(sample.pt.get()), buffer.data(), buffer.size() * 4, 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(fptu_check(copy), nullptr);
}

// Damaged tuples, whatever the damage, are either refused by fptu_check or
// fully usable: no read or write strays outside the buffer's declared end.
TEST(TupleCheck, RandomDamageIsRefusedOrHarmless) {
  Sample sample;
  const fptu_ro image = fptu_take_noshrink(sample.pt.get());
  std::vector<uint32_t> pristine(fptu_space(0, fpta_max_row_bytes) / 4);
  ASSERT_NE(fptu_fetch(image, pristine.data(), pristine.size() * 4, 4), nullptr);
  std::mt19937 random(20240607);
  const size_t damaged_span = 20 + 4 * 40;
  unsigned accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint32_t> buffer = pristine;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(buffer.data());
    for (int flip = 1 + round % 3; flip > 0; --flip)
      bytes[random() % damaged_span] ^= 1u << (random() % 8);
    fptu_rw* pt = reinterpret_cast<fptu_rw*>(buffer.data());
    if (fptu_check(pt) != nullptr) continue;
    ++accepted;
    for (const Field& field : LiveFields(pt)) (void)field;
    EXPECT_NE(fptu_insert_uint64(pt, 9, 1), FPTA_EINVAL);
    fptu_upsert_null(pt, 1);
    EXPECT_EQ(fptu_check(pt), nullptr);
  }
  EXPECT_GT(accepted, 0u);
}

// The same for read-only images: a damaged one is refused as a copy's source
// and as a nested field, or it makes a sound tuple.
TEST(TupleCheck, RandomlyDamagedImagesAreRefusedOrMakeSoundTuples) {
  Sample sample;
  const fptu_ro image = fptu_take_noshrink(sample.pt.get());
  const uint32_t* words = reinterpret_cast<const uint32_t*>(image.units);
  const std::vector<uint32_t> pristine(words, words + image.total_bytes / 4);
  std::mt19937 random(7);
  unsigned accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint32_t> damaged = pristine;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(damaged.data());
    for (int flip = 1 + round % 3; flip > 0; --flip)
      bytes[random() % image.total_bytes] ^= 1u << (random() % 8);
    const fptu_ro source = {
        {reinterpret_cast<const fptu_unit*>(damaged.data()), image.total_bytes}};
    std::vector<uint32_t> buffer(256);
    fptu_rw* copy = fptu_fetch(source, buffer.data(), buffer.size() * 4, 1);
    Tuple holder = Alloc(1, 1024);
    const int nested = fptu_insert_nested(holder.get(), 0, source);
    EXPECT_EQ(copy != nullptr, nested == FPTA_SUCCESS);
    if (copy == nullptr) continue;
    ++accepted;
    EXPECT_EQ(fptu_check(copy), nullptr);
    EXPECT_EQ(fptu_check(holder.get()), nullptr);
    for (const Field& field : LiveFields(copy)) (void)field;
  }
  EXPECT_GT(accepted, 0u);
}

}  // namespace
}  // namespace fpta::testing
