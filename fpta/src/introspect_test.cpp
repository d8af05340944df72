// What a file says about itself: table and column names as created (also
// through a copied or hand-filled column set), and fpta_table_verify on a
// sound table. Faults planted in the stores are tested from Python
// (tests/morvane/test_schema.py), where a second LMDB client is at hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tuple_testing.h"

namespace fpta::testing {
namespace {

class Introspection : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/fpta_introspect_XXXXXX";
    dir_ = mkdtemp(folder);
    ASSERT_EQ(
        fpta_db_open((dir_ + "/db").c_str(), fpta_weak, fpta_regime_default, 0600, 1, true, &db_),
        FPTA_SUCCESS);
    ASSERT_EQ(fpta_transaction_begin(db_, fpta_schema, &txn_), FPTA_SUCCESS);
  }
  void TearDown() override {
    if (txn_ != nullptr) fpta_transaction_end(txn_, true);
    fpta_db_close(db_);
    std::system(("rm -rf " + dir_).c_str());
  }

  std::vector<std::string> ColumnNames(const char* table_name) {
    fpta_name table;
    fpta_table_init(&table, table_name);
    fpta_column_info* columns = nullptr;
    size_t count = 99;
    EXPECT_EQ(fpta_table_columns(txn_, &table, &columns, &count), FPTA_SUCCESS);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
      EXPECT_EQ(columns[i].number, i);
      names.push_back(columns[i].name);
    }
    free(columns);
    return names;
  }

  std::string dir_;
  fpta_db* db_ = nullptr;
  fpta_txn* txn_ = nullptr;
};

TEST_F(Introspection, NamesAsCreatedFromDescribedCopiedAndHandFilledSets) {
  auto set = std::make_unique<fpta_column_set>();
  fpta_column_set_init(set.get());
  ASSERT_EQ(fpta_column_describe("Id", fptu_uint64, fpta_primary_unique_ordered_obverse, set.get()),
            FPTA_SUCCESS);
  ASSERT_EQ(fpta_column_describe("Customer_Name", fptu_cstr,
                                 fpta_secondary_withdups_ordered_obverse, set.get()),
            FPTA_SUCCESS);
  ASSERT_EQ(fpta_describe_composite_index_va("Both", fpta_secondary_unique_ordered_obverse,
                                             set.get(), "Id", "Customer_Name", nullptr),
            FPTA_SUCCESS);
  ASSERT_EQ(fpta_table_create(txn_, "Orders", set.get()), FPTA_SUCCESS);
  // A copy finds the names by their hashes.
  auto copy = std::make_unique<fpta_column_set>(*set);
  ASSERT_EQ(fpta_table_create(txn_, "Copied", copy.get()), FPTA_SUCCESS);
  // A set never described in this process carries no names.
  auto by_hand = std::make_unique<fpta_column_set>(*set);
  by_hand->count = 1;
  by_hand->shoves[0] =
      (uint64_t{12345} << fpta_name_hash_shift) | fpta_primary_unique_ordered_obverse | fptu_uint32;
  by_hand->composites[0] = 0;
  ASSERT_EQ(fpta_table_create(txn_, "ByHand", by_hand.get()), FPTA_SUCCESS);

  const std::vector<std::string> expected = {"Id", "Customer_Name", "Both"};
  EXPECT_EQ(ColumnNames("orders"), expected);
  EXPECT_EQ(ColumnNames("copied"), expected);
  EXPECT_EQ(ColumnNames("byhand"), std::vector<std::string>{""});
  ASSERT_EQ(fpta_transaction_end(txn_, false), FPTA_SUCCESS);
  ASSERT_EQ(fpta_transaction_begin(db_, fpta_read, &txn_), FPTA_SUCCESS);
  EXPECT_EQ(ColumnNames("ORDERS"), expected);  // as committed and read back

  char** names = nullptr;
  size_t count = 0;
  ASSERT_EQ(fpta_table_names(txn_, &names, &count), FPTA_SUCCESS);
  std::vector<std::string> tables(names, names + count);
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (std::vector<std::string>{"ByHand", "Copied", "Orders"}));
  free(names);
}

TEST_F(Introspection, RefusalsLeaveTheOutputsEmpty) {
  char** names = reinterpret_cast<char**>(1);
  size_t count = 7;
  EXPECT_EQ(fpta_table_names(nullptr, &names, &count), FPTA_EINVAL);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(fpta_table_names(txn_, &names, &count), FPTA_SUCCESS);  // no tables yet
  EXPECT_EQ(names, nullptr);
  fpta_name missing;
  fpta_table_init(&missing, "missing");
  fpta_column_info* columns = reinterpret_cast<fpta_column_info*>(1);
  EXPECT_EQ(fpta_table_columns(txn_, &missing, &columns, &count), FPTA_NOTFOUND);
  EXPECT_EQ(columns, nullptr);
  uint64_t faults = 9;
  EXPECT_EQ(fpta_table_verify(txn_, &missing, nullptr, nullptr, &faults), FPTA_NOTFOUND);
  EXPECT_EQ(faults, 0u);
}

TEST_F(Introspection, VerifyWalksASoundTableAndReportsProgress) {
  auto set = std::make_unique<fpta_column_set>();
  fpta_column_set_init(set.get());
  fpta_column_describe("id", fptu_uint32, fpta_primary_withdups_ordered_obverse, set.get());
  fpta_column_describe("tag", fptu_uint16, fpta_secondary_withdups_ordered_obverse_nullable,
                       set.get());
  ASSERT_EQ(fpta_table_create(txn_, "t", set.get()), FPTA_SUCCESS);
  fpta_name table;
  fpta_table_init(&table, "t");
  Tuple row = Alloc(2, 8);
  for (unsigned i = 0; i < 5000; ++i) {
    fptu_upsert_uint32(row.get(), 0, i % 100);
    if (i % 3 != 0) fptu_upsert_uint16(row.get(), 1, i % 7);
    ASSERT_EQ(fpta_put(txn_, &table, fptu_take_noshrink(row.get()), fpta_insert), FPTA_SUCCESS);
    fptu_upsert_null(row.get(), 1);
  }
  std::vector<uint64_t> progress;
  auto report = [](void* context, const char* fault, uint64_t rows) {
    if (fault != nullptr) ADD_FAILURE() << fault;
    static_cast<std::vector<uint64_t>*>(context)->push_back(rows);
    return 0;
  };
  uint64_t faults = 9;
  EXPECT_EQ(fpta_table_verify(txn_, &table, report, &progress, &faults), FPTA_SUCCESS);
  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(progress, std::vector<uint64_t>{4096});
  auto stop = [](void*, const char*, uint64_t) { return 42; };
  EXPECT_EQ(fpta_table_verify(txn_, &table, stop, nullptr, nullptr), 42);
}

}  // namespace
}  // namespace fpta::testing
