#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fpta.h"

namespace fpta::testing {
namespace {

struct NameCase {
  const char* label;
  std::string name;
  bool valid;
};

class NameSpelling : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameSpelling, DecidesWhetherATableNameIsMade) {
  fpta_name id{};
  id.number = 99;
  const int status = fpta_table_init(&id, GetParam().name.c_str());
  EXPECT_EQ(status, GetParam().valid ? FPTA_SUCCESS : FPTA_EINVAL);
  EXPECT_EQ(id.number, GetParam().valid ? 0u : 99u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameSpelling,
    ::testing::Values(NameCase{"one_letter", "a", true}, NameCase{"underscore_first", "_x1", true},
                      NameCase{"mixed", "Rule_Params_2", true},
                      NameCase{"longest", std::string(512, 'n'), true},
                      NameCase{"too_long", std::string(513, 'n'), false},
                      NameCase{"empty", "", false}, NameCase{"digit_first", "1a", false},
                      NameCase{"dash", "a-b", false}, NameCase{"space", "a b", false},
                      NameCase{"non_ascii", "caf\xc3\xa9", false}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

uint64_t TableShove(const char* name) {
  fpta_name id{};
  EXPECT_EQ(fpta_table_init(&id, name), FPTA_SUCCESS);
  return id.shove;
}

TEST(Names, TableIdIsTheCaseFoldedHashAboveTheTypeAndIndexBits) {
  EXPECT_EQ(TableShove("Orders"), TableShove("orders"));
  EXPECT_NE(TableShove("orders"), TableShove("order"));
  EXPECT_EQ(TableShove("orders") & ((1u << fpta_name_hash_shift) - 1), 0u);
  EXPECT_NE(TableShove("orders"), 0u);
  EXPECT_EQ(fpta_table_init(nullptr, "orders"), FPTA_EINVAL);
  EXPECT_EQ(fpta_table_init(nullptr, nullptr), FPTA_EINVAL);
}

TEST(Names, ColumnNamesBelongToAnInitialisedTable) {
  fpta_name table{}, column{};
  EXPECT_EQ(fpta_column_init(&table, &column, "id"), FPTA_EINVAL);
  ASSERT_EQ(fpta_table_init(&table, "orders"), FPTA_SUCCESS);
  EXPECT_EQ(fpta_column_init(&table, &table, "id"), FPTA_EINVAL);
  EXPECT_EQ(fpta_column_init(&table, nullptr, "id"), FPTA_EINVAL);
  EXPECT_EQ(fpta_column_init(&table, &column, "9id"), FPTA_EINVAL);
  ASSERT_EQ(fpta_column_init(&table, &column, "Id"), FPTA_SUCCESS);
  EXPECT_EQ(column.table, &table);
  EXPECT_EQ(column.shove, TableShove("id"));
  EXPECT_EQ(column.version, 0u);
  fpta_name nested{};
  EXPECT_EQ(fpta_column_init(&column, &nested, "x"), FPTA_EINVAL);
}

TEST(Names, DestroyZeroesTheWholeRecord) {
  fpta_name id;
  std::memset(&id, 0xA5, sizeof(id));
  fpta_name_destroy(&id);
  const fpta_name zero{};
  EXPECT_EQ(std::memcmp(&id, &zero, sizeof(id)), 0);
  fpta_name_destroy(nullptr);
}

}  // namespace
}  // namespace fpta::testing
