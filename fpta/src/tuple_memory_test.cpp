#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tuple_testing.h"

namespace fpta::testing {
namespace {

struct SpaceCase {
  size_t items;
  size_t data_bytes;
  size_t bytes;
};

class TupleSpace : public ::testing::TestWithParam<SpaceCase> {};

TEST_P(TupleSpace, CountsHeaderUnitsAndRoundsDataUp) {
  EXPECT_EQ(fptu_space(GetParam().items, GetParam().data_bytes), GetParam().bytes);
}

constexpr size_t kHalf = size_t{1} << 63;

INSTANTIATE_TEST_SUITE_P(Sizes, TupleSpace,
                         ::testing::Values(SpaceCase{0, 0, 24}, SpaceCase{1, 0, 28},
                                           SpaceCase{0, 1, 28}, SpaceCase{0, 4, 28},
                                           SpaceCase{0, 5, 32}, SpaceCase{2, 10, 44},
                                           SpaceCase{size_t{1} << 61, 0, kHalf + 24},
                                           SpaceCase{size_t{1} << 61, 8, kHalf + 32},
                                           SpaceCase{size_t{1} << 62, 0, SIZE_MAX},
                                           SpaceCase{SIZE_MAX, 0, SIZE_MAX},
                                           SpaceCase{0, SIZE_MAX, SIZE_MAX},
                                           SpaceCase{SIZE_MAX / 4, SIZE_MAX, SIZE_MAX}));

TEST(TupleAlloc, LaysOutAnEmptyTupleInItsSpace) {
  Tuple pt = Alloc(3, 10);
  ASSERT_NE(pt, nullptr);
  EXPECT_EQ(pt->head, 4u);
  EXPECT_EQ(pt->pivot, 4u);
  EXPECT_EQ(pt->tail, 4u);
  EXPECT_EQ(pt->junk, 0u);
  EXPECT_EQ(pt->end, 7u);
  EXPECT_EQ(offsetof(fptu_rw, units) + pt->end * 4, fptu_space(3, 10));
}

TEST(TupleAlloc, RefusesTuplesLargerThanTheLargestRow) {
  EXPECT_NE(Alloc(0, fpta_max_row_bytes - 4), nullptr);
  EXPECT_EQ(Alloc(0, fpta_max_row_bytes - 3), nullptr);
  EXPECT_NE(Alloc(1, fpta_max_row_bytes - 8), nullptr);
  EXPECT_EQ(Alloc(1, fpta_max_row_bytes - 7), nullptr);
  EXPECT_EQ(Alloc(SIZE_MAX, 0), nullptr);
  EXPECT_EQ(Alloc(0, SIZE_MAX), nullptr);
}

TEST(TupleTake, GivesTheUnitsFromTheHeaderToTheTail) {
  EXPECT_EQ(fptu_take_noshrink(nullptr).units, nullptr);
  Tuple pt = Alloc(4, 16);
  fptu_insert_uint16(pt.get(), 1, 5);
  fptu_insert_int64(pt.get(), 2, -5);
  const fptu_ro ro = fptu_take_noshrink(pt.get());
  EXPECT_EQ(ro.units, &pt->units[pt->head - 1]);
  EXPECT_EQ(ro.total_bytes, 5u * 4);  // its header, two field headers, two units of the int64
  EXPECT_EQ(ro.units[0].varlen.brutto, 4u);
  EXPECT_EQ(ro.units[0].varlen.tuple_items, 2u);
  pt->head = 0;
  EXPECT_EQ(fptu_take_noshrink(pt.get()).total_bytes, 0u);
}

class TupleFetch : public ::testing::Test {
 protected:
  void SetUp() override {
    fptu_insert_string(source.get(), 1, "text", 4);
    fptu_insert_fp64(source.get(), 2, 2.5);
    fptu_insert_uint32(source.get(), 3, 3);
    fptu_upsert_null(source.get(), 3);
    image = fptu_take_noshrink(source.get());
  }
  // Bytes a fetch with room for more headers needs: 3 headers, 6 data units.
  size_t Needed(unsigned more) const { return fptu_space(3 + more, 6 * 4); }

  Tuple source = Alloc(3, 24);
  fptu_ro image{};
  std::vector<uint32_t> buffer = std::vector<uint32_t>(1024);
};

TEST_F(TupleFetch, CopiesFieldsJunkAndRoomForMoreHeaders) {
  fptu_rw* copy = fptu_fetch(image, buffer.data(), Needed(2), 2);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(fptu_check(copy), nullptr);
  EXPECT_EQ(copy->junk, source->junk);
  const std::vector<Field> fields = LiveFields(copy);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].value.fp, 2.5);
  EXPECT_STREQ(fields[1].value.str, "text");
  // Two headers fit the room asked for, two more the units of the removed field.
  for (unsigned column = 4; column < 8; ++column)
    EXPECT_EQ(fptu_insert_uint16(copy, column, 1), FPTA_SUCCESS);
  EXPECT_EQ(fptu_insert_uint16(copy, 8, 1), FPTU_ENOSPACE);
  EXPECT_EQ(fptu_check(copy), nullptr);
}

TEST_F(TupleFetch, RefusesWhatDoesNotFitOrIsNotATuple) {
  EXPECT_EQ(fptu_fetch(image, buffer.data(), Needed(2) - 1, 2), nullptr);
  EXPECT_EQ(fptu_fetch(image, nullptr, Needed(0), 0), nullptr);
  EXPECT_EQ(fptu_fetch(image, reinterpret_cast<char*>(buffer.data()) + 2, Needed(0), 0), nullptr);
  EXPECT_EQ(fptu_fetch(image, buffer.data(), buffer.size() * 4, 65535), nullptr);
  EXPECT_EQ(fptu_fetch(fptu_ro{{nullptr, 8}}, buffer.data(), Needed(0), 0), nullptr);
  EXPECT_EQ(fptu_fetch(fptu_ro{{image.units, image.total_bytes - 2}}, buffer.data(), Needed(0), 0),
            nullptr);
  EXPECT_EQ(fptu_fetch(fptu_ro{{image.units, image.total_bytes - 4}}, buffer.data(), Needed(0), 0),
            nullptr);
  EXPECT_EQ(fptu_fetch(fptu_ro{{image.units, fpta_max_row_bytes + 4}}, buffer.data(), Needed(0), 0),
            nullptr);
}

TEST_F(TupleFetch, MakesAnEmptyTupleOfAnEmptyOne) {
  fptu_rw* copy = fptu_fetch(fptu_ro{}, buffer.data(), fptu_space(1, 0), 1);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(fptu_check(copy), nullptr);
  EXPECT_EQ(fptu_insert_uint16(copy, 0, 1), FPTA_SUCCESS);
}

TEST_F(TupleFetch, UsesNoMoreThanTheLargestTupleOfABigBuffer) {
  std::vector<uint32_t> big(100000);
  fptu_rw* copy = fptu_fetch(image, big.data(), big.size() * 4, 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->end, fpta_max_row_bytes / 4u);
}

}  // namespace
}  // namespace fpta::testing
