#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fpta.h"

namespace fpta::testing {
namespace {

// A column's id: its name hash as a table name carries it, then index and type.
uint64_t Id(const char* name, unsigned index, fptu_type type) {
  fpta_name id{};
  fpta_table_init(&id, name);
  return id.shove | index | static_cast<unsigned>(type);
}

class ColumnSet : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(set.get(), 0xEE, sizeof(*set));
    fpta_column_set_init(set.get());
  }
  int Describe(const char* name, fptu_type type, fpta_index_type index) {
    return fpta_column_describe(name, type, index, set.get());
  }

  std::unique_ptr<fpta_column_set> set = std::make_unique<fpta_column_set>();
};

TEST_F(ColumnSet, AppendsEachColumnAsItsId) {
  ASSERT_EQ(Describe("id", fptu_uint64, fpta_primary_unique_ordered_obverse), FPTA_SUCCESS);
  ASSERT_EQ(Describe("Name", fptu_cstr, fpta_secondary_withdups_ordered_obverse), FPTA_SUCCESS);
  ASSERT_EQ(Describe("blob", fptu_opaque, fpta_noindex_nullable), FPTA_SUCCESS);
  EXPECT_EQ(set->count, 3u);
  EXPECT_EQ(uint64_t{set->shoves[0]}, Id("id", 224, fptu_uint64));
  EXPECT_EQ(uint64_t{set->shoves[1]}, Id("name", 448, fptu_cstr));
  EXPECT_EQ(uint64_t{set->shoves[2]}, Id("blob", 512, fptu_opaque));
  EXPECT_EQ(set->composites[0], 0u);
}

// Every other entry point refuses a null argument; this one has no status to
// report it with, so it does nothing.
TEST(ColumnSetInit, IgnoresANullSet) { fpta_column_set_init(nullptr); }

struct Refusal {
  const char* label;
  const char* name;
  int type;
  int index;
  int status;
};

class ColumnRefusal : public ColumnSet, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ColumnRefusal, GivesItsStatusAndLeavesTheSet) {
  ASSERT_EQ(Describe("id", fptu_uint64, fpta_primary_unique_ordered_obverse), FPTA_SUCCESS);
  const Refusal& refusal = GetParam();
  EXPECT_EQ(Describe(refusal.name, static_cast<fptu_type>(refusal.type),
                     static_cast<fpta_index_type>(refusal.index)),
            refusal.status);
  EXPECT_EQ(set->count, refusal.status == FPTA_SUCCESS ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnRefusal,
    ::testing::Values(
        Refusal{"bad_name", "2x", fptu_int32, fpta_index_none, FPTA_EINVAL},
        Refusal{"null_name", nullptr, fptu_int32, fpta_index_none, FPTA_EINVAL},
        Refusal{"type_null", "x", fptu_null, fpta_index_none, FPTA_EINVAL},
        Refusal{"type_farray_alone", "x", fptu_farray, fpta_index_none, FPTA_EINVAL},
        Refusal{"type_array", "x", fptu_farray | fptu_int32, fpta_index_none, FPTA_ENOIMP},
        Refusal{"type_past_typeid", "x", 32, fpta_index_none, FPTA_EINVAL},
        Refusal{"type_any", "x", fptu_any, fpta_index_none, FPTA_EINVAL},
        Refusal{"index_unnamed", "x", fptu_int32, 33, FPTA_EINVAL},
        Refusal{"index_negative", "x", fptu_int32, -1, FPTA_EINVAL},
        Refusal{"nested_indexed", "x", fptu_nested, fpta_secondary_withdups_unordered, FPTA_EINVAL},
        Refusal{"nested_plain", "x", fptu_nested, fpta_index_none, FPTA_SUCCESS},
        Refusal{"same_name_other_case", "ID", fptu_int32, fpta_index_none, FPTA_EEXIST},
        Refusal{"second_primary", "x", fptu_int32, fpta_primary_withdups_unordered, FPTA_EEXIST},
        Refusal{"secondary", "x", fptu_int32, fpta_secondary_withdups_unordered_nullable_reverse,
                FPTA_SUCCESS}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.label); });

TEST_F(ColumnSet, HoldsNoMoreThanTheLargestTable) {
  for (unsigned i = 0; i < fpta_max_cols; ++i) {
    ASSERT_EQ(Describe(("c" + std::to_string(i)).c_str(), fptu_int32, fpta_index_none),
              FPTA_SUCCESS);
  }
  EXPECT_EQ(Describe("one_more", fptu_int32, fpta_index_none), FPTA_ETOOMANY);
  EXPECT_EQ(fpta_column_describe("x", fptu_int32, fpta_index_none, nullptr), FPTA_EINVAL);
  set->count = fpta_max_cols + 1;
  EXPECT_EQ(Describe("x", fptu_int32, fpta_index_none), FPTA_EINVAL);
}

class CompositeIndex : public ColumnSet {
 protected:
  void SetUp() override {
    ColumnSet::SetUp();
    Describe("a", fptu_int32, fpta_primary_unique_ordered_obverse);
    Describe("b", fptu_cstr, fpta_index_none);
    Describe("c", fptu_uint64, fpta_index_none);
    Describe("n", fptu_nested, fpta_index_none);
  }
  int Composite(const char* name, fpta_index_type index, std::initializer_list<const char*> parts) {
    std::vector<const char*> names(parts);
    return fpta_describe_composite_index(name, index, set.get(), names.data(), names.size());
  }
};

TEST_F(CompositeIndex, ListsItsPartsByPositionInThePool) {
  ASSERT_EQ(Composite("bc", fpta_secondary_unique_ordered_obverse, {"c", "b"}), FPTA_SUCCESS);
  ASSERT_EQ(Composite("abc", fpta_secondary_withdups_unordered, {"a", "b", "c"}), FPTA_SUCCESS);
  EXPECT_EQ(set->count, 6u);
  EXPECT_EQ(uint64_t{set->shoves[4]}, Id("bc", 480, fptu_null));
  EXPECT_EQ(uint64_t{set->shoves[5]}, Id("abc", 384, fptu_null));
  const uint16_t pool[] = {7, 2, 2, 1, 3, 0, 1, 2};
  EXPECT_EQ(std::memcmp(set->composites, pool, sizeof(pool)), 0);
}

TEST_F(CompositeIndex, VariadicFormDescribesTheSameSet) {
  auto twin = std::make_unique<fpta_column_set>(*set);
  ASSERT_EQ(Composite("abc", fpta_secondary_withdups_unordered, {"a", "b", "c"}), FPTA_SUCCESS);
  ASSERT_EQ(Composite("ab", fpta_secondary_withdups_unordered, {"a", "b"}), FPTA_SUCCESS);
  ASSERT_EQ(fpta_describe_composite_index_va("abc", fpta_secondary_withdups_unordered, twin.get(),
                                             "a", "b", "c", static_cast<const char*>(nullptr)),
            FPTA_SUCCESS);
  ASSERT_EQ(fpta_describe_composite_index_va("ab", fpta_secondary_withdups_unordered, twin.get(),
                                             "a", "b", nullptr),
            FPTA_SUCCESS);
  EXPECT_EQ(std::memcmp(set.get(), twin.get(), sizeof(*set)), 0);
  EXPECT_EQ(fpta_describe_composite_index_va("x", fpta_secondary_withdups_unordered, twin.get(),
                                             "a", nullptr, nullptr),
            FPTA_EINVAL);
}

struct CompositeRefusal {
  const char* label;
  const char* name;
  int index;
  std::vector<const char*> parts;
  int status;
};

class CompositeRefusals : public CompositeIndex,
                          public ::testing::WithParamInterface<CompositeRefusal> {};

TEST_P(CompositeRefusals, GivesItsStatusAndLeavesTheSet) {
  ASSERT_EQ(Composite("bc", fpta_secondary_unique_ordered_obverse, {"b", "c"}), FPTA_SUCCESS);
  const CompositeRefusal& refusal = GetParam();
  std::vector<const char*> parts = refusal.parts;
  EXPECT_EQ(fpta_describe_composite_index(refusal.name, static_cast<fpta_index_type>(refusal.index),
                                          set.get(), parts.data(), parts.size()),
            refusal.status);
  EXPECT_EQ(set->count, 5u);
  EXPECT_EQ(set->composites[0], 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Composites, CompositeRefusals,
    ::testing::Values(
        CompositeRefusal{"one_part", "x", fpta_secondary_withdups_unordered, {"a"}, FPTA_EINVAL},
        CompositeRefusal{
            "unknown_part", "x", fpta_secondary_withdups_unordered, {"a", "zz"}, FPTA_NOTFOUND},
        CompositeRefusal{
            "part_twice", "x", fpta_secondary_withdups_unordered, {"a", "A"}, FPTA_EINVAL},
        CompositeRefusal{
            "composite_part", "x", fpta_secondary_withdups_unordered, {"a", "bc"}, FPTA_EINVAL},
        CompositeRefusal{
            "nested_part", "x", fpta_secondary_withdups_unordered, {"a", "n"}, FPTA_EINVAL},
        CompositeRefusal{"no_index", "x", fpta_index_none, {"a", "b"}, FPTA_EINVAL},
        CompositeRefusal{"nullable_only", "x", fpta_noindex_nullable, {"a", "b"}, FPTA_EINVAL},
        CompositeRefusal{
            "bad_part_name", "x", fpta_secondary_withdups_unordered, {"a", "-"}, FPTA_EINVAL},
        CompositeRefusal{
            "name_taken", "B", fpta_secondary_withdups_unordered, {"a", "c"}, FPTA_EEXIST},
        CompositeRefusal{
            "second_primary", "x", fpta_primary_unique_unordered, {"b", "c"}, FPTA_EEXIST}),
    [](const ::testing::TestParamInfo<CompositeRefusal>& info) {
      return std::string(info.param.label);
    });

TEST_F(CompositeIndex, PoolRunsOutBeforeTheColumns) {
  // Each two-part composite takes three of the pool's 1021 words.
  for (int i = 0; i < 340; ++i) {
    ASSERT_EQ(
        Composite(("k" + std::to_string(i)).c_str(), fpta_secondary_withdups_unordered, {"b", "c"}),
        0);
  }
  EXPECT_EQ(Composite("last", fpta_secondary_withdups_unordered, {"b", "c"}), FPTA_ETOOMANY);
  EXPECT_EQ(
      fpta_describe_composite_index("x", fpta_secondary_withdups_unordered, set.get(), nullptr, 2),
      FPTA_EINVAL);
}

}  // namespace
}  // namespace fpta::testing
