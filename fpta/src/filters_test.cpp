// Filters as cursors apply them: compiled by fpta_cursor_open, matched on
// every row the cursor visits.
#include "filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tuple_testing.h"

namespace fpta::filters {
namespace {

using Ids = std::vector<uint64_t>;

const double kNan = std::nan("");

uint64_t IdOf(const fptu_ro& row) {
  for (const testing::Field& field : testing::LiveFields(row)) {
    if (field.column == 0) return field.value.uint;
  }
  return 0;
}

// Table t: id (primary), score, name, and the composite pair (id, name);
// its rows 1..5 have scores 1, 2, 3, none and NaN, and names only in 1 and 2.
// Table u has a column x.
class FiltersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "filters_test_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_EQ(fpta_db_open(path_.c_str(), fpta_weak, fpta_regime_default, 0644, 16, true, &db_),
              FPTA_SUCCESS);
    ASSERT_EQ(fpta_transaction_begin(db_, fpta_schema, &txn_), FPTA_SUCCESS);
    fpta_column_set set;
    fpta_column_set_init(&set);
    fpta_column_describe("id", fptu_uint32, fpta_primary_unique_ordered_obverse, &set);
    fpta_column_describe("score", fptu_fp64, fpta_index_none, &set);
    fpta_column_describe("name", fptu_cstr, fpta_index_none, &set);
    fpta_describe_composite_index_va("pair", fpta_secondary_withdups_ordered_obverse_nullable, &set,
                                     "id", "name", nullptr);
    ASSERT_EQ(fpta_table_create(txn_, "t", &set), FPTA_SUCCESS);
    fpta_column_set_init(&set);
    fpta_column_describe("x", fptu_uint32, fpta_primary_unique_ordered_obverse, &set);
    ASSERT_EQ(fpta_table_create(txn_, "u", &set), FPTA_SUCCESS);
    fpta_table_init(&t_, "t");
    fpta_table_init(&u_, "u");
    const char* columns[] = {"id", "score", "name", "pair", "none"};
    for (unsigned i = 0; i < 5; ++i) fpta_column_init(&t_, &columns_[i], columns[i]);
    fpta_column_init(&u_, &x_, "x");
    const char* names[] = {"ann", "bob", nullptr, nullptr, nullptr};
    const double scores[] = {1, 2, 3, kNan, kNan};
    for (unsigned id = 1; id <= 5; ++id) {
      testing::Tuple row = testing::Alloc(3, 64);
      fptu_insert_uint32(row.get(), 0, id);
      if (id != 4) fptu_insert_fp64(row.get(), 1, scores[id - 1]);
      if (names[id - 1] != nullptr) fptu_insert_string(row.get(), 2, names[id - 1], 3);
      ASSERT_EQ(fpta_insert_row(txn_, &t_, fptu_take_noshrink(row.get())), FPTA_SUCCESS);
    }
  }

  void TearDown() override {
    if (txn_ != nullptr) fpta_transaction_end(txn_, true);
    if (db_ != nullptr) fpta_db_close(db_);
    std::remove(path_.c_str());
    std::remove((path_ + "-lock").c_str());
  }

  // The ids of the rows that pass, or the status of the cursor's open.
  int Walk(const fpta_filter& filter, Ids* ids = nullptr) {
    fpta_cursor* cursor = nullptr;
    int status = fpta_cursor_open(txn_, &columns_[0], fpta_value_begin(), fpta_value_end(), &filter,
                                  fpta_ascending, &cursor);
    if (status != FPTA_SUCCESS) return status;
    for (status = fpta_cursor_move(cursor, fpta_first); status == FPTA_SUCCESS;
         status = fpta_cursor_move(cursor, fpta_next)) {
      fptu_ro row;
      EXPECT_EQ(fpta_cursor_get(cursor, &row), FPTA_SUCCESS);
      if (ids != nullptr) ids->push_back(IdOf(row));
    }
    EXPECT_EQ(status, FPTA_NODATA);
    return fpta_cursor_close(cursor);
  }

  Ids Passing(const fpta_filter& filter) {
    Ids ids;
    EXPECT_EQ(Walk(filter, &ids), FPTA_SUCCESS);
    return ids;
  }

  fpta_filter Cmp(fpta_filter_bits kind, unsigned column, const fpta_value& value) {
    fpta_filter filter{};
    filter.type = kind;
    filter.node_cmp = {&columns_[column], value};
    return filter;
  }

  std::string path_;
  fpta_db* db_ = nullptr;
  fpta_txn* txn_ = nullptr;
  fpta_name t_, u_, x_;
  fpta_name columns_[5];  // id, score, name, pair, and one t lacks
};

// arg points to {result, calls}.
bool Counted(const fptu_ro*, void*, void* arg) {
  ++static_cast<int*>(arg)[1];
  return static_cast<int*>(arg)[0] != 0;
}

fpta_filter Leaf(int* state) {
  fpta_filter filter{};
  filter.type = fpta_node_fnrow;
  filter.node_fnrow = {Counted, nullptr, state};
  return filter;
}

fpta_filter Node(fpta_filter_bits kind, fpta_filter* a, fpta_filter* b = nullptr) {
  fpta_filter filter{};
  filter.type = kind;
  filter.node_and = {a, b};  // node_not is a's place
  return filter;
}

TEST_F(FiltersTest, SharedSubtreesRunOncePerRow) {
  int alone[2] = {1, 0}, shared[2] = {1, 0};
  fpta_filter leaf = Leaf(alone);
  EXPECT_EQ(Passing(leaf), (Ids{1, 2, 3, 4, 5}));
  // Unfolded, this tree would have 2^30 leaves.
  std::vector<fpta_filter> levels(31, Leaf(shared));
  for (size_t i = 1; i < levels.size(); ++i)
    levels[i] = Node(fpta_node_and, &levels[i - 1], &levels[i - 1]);
  EXPECT_EQ(Passing(levels.back()), (Ids{1, 2, 3, 4, 5}));
  EXPECT_EQ(shared[1], alone[1]);
}

TEST_F(FiltersTest, RefusesCyclesBadNodesAndDepth) {
  int state[2] = {1, 0};
  fpta_filter leaf = Leaf(state), loop = Node(fpta_node_and, &leaf, nullptr);
  loop.node_and.b = &loop;
  EXPECT_EQ(Walk(loop), FPTA_EINVAL);
  for (const int kind : {1, 3, 99, -5}) {
    fpta_filter odd = leaf;
    odd.type = static_cast<fpta_filter_bits>(kind);
    EXPECT_EQ(Walk(odd), FPTA_EINVAL) << kind;
  }
  EXPECT_EQ(Walk(Node(fpta_node_or, &leaf, nullptr)), FPTA_EINVAL);
  fpta_filter no_predicate = leaf;
  no_predicate.node_fnrow.predicate = nullptr;
  EXPECT_EQ(Walk(no_predicate), FPTA_EINVAL);

  // chain[i] is kMaxDepth + 1 - i levels deep.
  std::vector<fpta_filter> chain(Program::kMaxDepth + 1, leaf);
  for (size_t i = chain.size() - 1; i-- > 0;) chain[i] = Node(fpta_node_not, &chain[i + 1]);
  EXPECT_EQ(Walk(chain[1]), FPTA_SUCCESS);
  EXPECT_EQ(Walk(chain[0]), FPTA_EINVAL);
  // A subtree compiled first where it fits, then met again one level deeper.
  fpta_filter deeper = Node(fpta_node_not, &chain[3]);
  EXPECT_EQ(Walk(Node(fpta_node_and, &chain[3], &deeper)), FPTA_SUCCESS);
  deeper.node_not = &chain[2];
  EXPECT_EQ(Walk(Node(fpta_node_and, &chain[2], &deeper)), FPTA_EINVAL);
}

TEST_F(FiltersTest, RefusesColumnsAndValuesThatDoNotFit) {
  const fpta_value one = fpta_value_uint(1);
  fpta_filter other = Cmp(fpta_node_eq, 0, one);
  other.node_cmp.left_id = &x_;
  EXPECT_EQ(Walk(other), FPTA_EINVAL);
  EXPECT_EQ(Walk(Cmp(fpta_node_eq, 3, one)), FPTA_EINVAL);    // composite
  EXPECT_EQ(Walk(Cmp(fpta_node_eq, 4, one)), FPTA_NOTFOUND);  // not in t
  EXPECT_EQ(Walk(Cmp(fpta_node_eq, 0, fpta_value_sint(-1))), ERANGE);
  EXPECT_EQ(Walk(Cmp(fpta_node_eq, 0, fpta_value_cstr("1"))), FPTA_ETYPE);
  for (const fpta_value& value : {fpta_value_null(), fpta_value_begin(), fpta_value_end()}) {
    EXPECT_EQ(Walk(Cmp(fpta_node_eq, 0, value)), FPTA_ETYPE);
  }
}

// Row 4 has no score, so no comparison holds for it; NaN (row 5 and the
// value NaN) is only unequal.
TEST_F(FiltersTest, Comparisons) {
  struct Case {
    fpta_filter_bits kind;
    Ids against_2, against_nan;
  };
  for (const Case& c : {Case{fpta_node_lt, {1}, {}}, Case{fpta_node_le, {1, 2}, {}},
                        Case{fpta_node_eq, {2}, {}}, Case{fpta_node_ge, {2, 3}, {}},
                        Case{fpta_node_gt, {3}, {}}, Case{fpta_node_ne, {1, 3, 5}, {1, 2, 3, 5}}}) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(Passing(Cmp(c.kind, 1, fpta_value_sint(2))), c.against_2);
    EXPECT_EQ(Passing(Cmp(c.kind, 1, fpta_value_float(kNan))), c.against_nan);
  }
}

TEST_F(FiltersTest, LogicTruthTables) {
  struct Case {
    fpta_filter_bits kind;
    int a, b;
    bool result, b_consulted;  // and/or do not look at b once a decides
  };
  for (const Case& c :
       {Case{fpta_node_not, 0, 0, true, false}, Case{fpta_node_not, 1, 0, false, false},
        Case{fpta_node_and, 0, 1, false, false}, Case{fpta_node_and, 1, 0, false, true},
        Case{fpta_node_and, 1, 1, true, true}, Case{fpta_node_or, 0, 0, false, true},
        Case{fpta_node_or, 0, 1, true, true}, Case{fpta_node_or, 1, 0, true, false}}) {
    SCOPED_TRACE(::testing::Message() << c.kind << " " << c.a << " " << c.b);
    int a[2] = {c.a, 0}, b[2] = {c.b, 0};
    fpta_filter leaf_a = Leaf(a), leaf_b = Leaf(b);
    fpta_filter node = Node(c.kind, &leaf_a, c.kind == fpta_node_not ? nullptr : &leaf_b);
    EXPECT_EQ(Passing(node).size(), c.result ? 5u : 0u);
    EXPECT_EQ(b[1] != 0, c.b_consulted);
  }
}

struct Seen {
  std::set<double> scores;
  bool null = false, nan = false;
  std::set<uint64_t> rows;
};

bool SeeScore(const fptu_field* column, void* arg) {
  Seen& seen = *static_cast<Seen*>(arg);
  if (column == nullptr) {
    seen.null = true;
  } else if (std::isnan(fpta_field2value(column).fp)) {
    seen.nan = true;
  } else {
    seen.scores.insert(fpta_field2value(column).fp);
  }
  return true;
}

bool SeeRow(const fptu_ro* row, void* context, void* arg) {
  EXPECT_EQ(context, arg);
  static_cast<Seen*>(arg)->rows.insert(IdOf(*row));
  return true;
}

TEST_F(FiltersTest, PredicatesGetTheirArguments) {
  Seen seen;
  fpta_filter column{};
  column.type = fpta_node_fncol;
  column.node_fncol = {&columns_[1], SeeScore, &seen};
  fpta_filter row{};
  row.type = fpta_node_fnrow;
  row.node_fnrow = {SeeRow, &seen, &seen};
  EXPECT_EQ(Passing(Node(fpta_node_and, &column, &row)).size(), 5u);
  EXPECT_EQ(seen.scores, (std::set<double>{1, 2, 3}));
  EXPECT_TRUE(seen.null);  // row 4
  EXPECT_TRUE(seen.nan);   // row 5
  EXPECT_EQ(seen.rows, (std::set<uint64_t>{1, 2, 3, 4, 5}));
}

TEST_F(FiltersTest, KeepsItsOwnCopyOfStrings) {
  char* name = new char[4];
  std::memcpy(name, "bob", 4);
  const fpta_filter filter = Cmp(fpta_node_eq, 2, fpta_value_string(name, 3));
  fpta_cursor* cursor = nullptr;
  ASSERT_EQ(fpta_cursor_open(txn_, &columns_[0], fpta_value_begin(), fpta_value_end(), &filter,
                             fpta_ascending, &cursor),
            FPTA_SUCCESS);
  std::memcpy(name, "ann", 4);
  delete[] name;
  fptu_ro row;
  ASSERT_EQ(fpta_cursor_move(cursor, fpta_first), FPTA_SUCCESS);
  ASSERT_EQ(fpta_cursor_get(cursor, &row), FPTA_SUCCESS);
  EXPECT_EQ(IdOf(row), 2u);
  EXPECT_EQ(fpta_cursor_move(cursor, fpta_next), FPTA_NODATA);
  EXPECT_EQ(fpta_cursor_close(cursor), FPTA_SUCCESS);
}

}  // namespace
}  // namespace fpta::filters
