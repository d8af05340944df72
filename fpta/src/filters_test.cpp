#include "filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "names.h"
#include "tuple_testing.h"

namespace fpta::filters {
namespace {

using testing::Tuple;

// Compile reads only the transaction's schema, so the tests hand it one made
// here instead of opening a database.
class FiltersTest : public ::testing::Test {
 protected:
  FiltersTest() {
    auto schema = std::make_shared<schema::Schema>();
    schema->version = 7;
    table_ = AddTable(schema.get(), "t", {{"id", fptu_uint32}, {"score", fptu_fp64}, {"name", fptu_cstr}});
    table_->columns.push_back(Column("pair", fptu_null));
    table_->columns.back().parts = {0, 1};
    AddTable(schema.get(), "u", {{"x", fptu_uint32}});
    txn_.schema = schema;
    fpta_table_init(&t_, "t");
    fpta_table_init(&u_, "u");
    for (const char *name : {"id", "score", "name", "pair", "none"}) {
      names_.emplace_back();
      fpta_column_init(&t_, &names_.back(), name);
    }
    fpta_column_init(&u_, &x_, "x");
  }

  static schema::Column Column(const char *name, fptu_type type) {
    schema::Column column;
    column.shove = names::ShoveOf(name) | type;
    column.type = type;
    return column;
  }
  static schema::Table *AddTable(schema::Schema *schema, const char *name,
                                 std::initializer_list<std::pair<const char *, fptu_type>> columns) {
    auto table = std::make_shared<schema::Table>();
    table->hash = names::NameHash(name);
    for (const auto &[column, type] : columns) table->columns.push_back(Column(column, type));
    schema->tables[table->hash] = table;
    return table.get();
  }

  int Compile(const fpta_filter &filter) { return Program::Compile(&txn_, *table_, &filter, &program_); }
  fpta_filter Cmp(fpta_filter_bits kind, unsigned column, fpta_value value) {
    fpta_filter filter{};
    filter.type = kind;
    filter.node_cmp = {&names_[column], value};
    return filter;
  }

  fpta_txn txn_;
  schema::Table *table_;
  fpta_name t_, u_, x_;
  std::vector<fpta_name> names_;  // id, score, name, pair, none
  std::unique_ptr<Program> program_;
};

// A row of table t; a NaN score or a null name leaves that field out.
struct Row {
  Row(uint32_t id, double score, const char *name = nullptr) : tuple(fptu_alloc(4, 64)) {
    fptu_insert_uint32(tuple.get(), 0, id);
    if (!std::isnan(score)) fptu_insert_fp64(tuple.get(), 1, score);
    if (name != nullptr) fptu_insert_string(tuple.get(), 2, name, std::strlen(name));
    ro = fptu_take_noshrink(tuple.get());
  }
  Tuple tuple;
  fptu_ro ro;
};

bool Constant(const fptu_ro *, void *, void *arg) {
  ++static_cast<int *>(arg)[1];
  return static_cast<int *>(arg)[0] != 0;
}

fpta_filter Leaf(int *state) {
  fpta_filter filter{};
  filter.type = fpta_node_fnrow;
  filter.node_fnrow = {Constant, nullptr, state};
  return filter;
}

fpta_filter Node(fpta_filter_bits kind, fpta_filter *a, fpta_filter *b = nullptr) {
  fpta_filter filter{};
  filter.type = kind;
  if (kind == fpta_node_not) filter.node_not = a;
  else filter.node_and = {a, b};
  return filter;
}

TEST_F(FiltersTest, SharedSubtreesCompileOnceAndRunOncePerRow) {
  int leaf_state[2] = {1, 0};  // result, calls
  std::vector<fpta_filter> levels(31);
  levels[0] = Leaf(leaf_state);
  for (size_t i = 1; i < levels.size(); ++i) levels[i] = Node(fpta_node_and, &levels[i - 1], &levels[i - 1]);
  ASSERT_EQ(Compile(levels.back()), FPTA_SUCCESS);
  EXPECT_TRUE(program_->Match(Row(1, 0).ro));
  EXPECT_EQ(leaf_state[1], 1);
}

TEST_F(FiltersTest, RefusesCyclesBadNodesAndDepth) {
  int state[2] = {1, 0};
  fpta_filter leaf = Leaf(state), loop = Node(fpta_node_and, &leaf, nullptr);
  loop.node_and.b = &loop;
  EXPECT_EQ(Compile(loop), FPTA_EINVAL);
  for (const int kind : {1, 3, 99, -5}) {
    fpta_filter odd = leaf;
    odd.type = static_cast<fpta_filter_bits>(kind);
    EXPECT_EQ(Compile(odd), FPTA_EINVAL) << kind;
  }
  EXPECT_EQ(Compile(Node(fpta_node_or, &leaf, nullptr)), FPTA_EINVAL);
  fpta_filter no_predicate = Leaf(state);
  no_predicate.node_fnrow.predicate = nullptr;
  EXPECT_EQ(Compile(no_predicate), FPTA_EINVAL);

  // chain[i] is kMaxDepth + 1 - i levels deep.
  std::vector<fpta_filter> chain(Program::kMaxDepth + 1);
  chain.back() = leaf;
  for (size_t i = chain.size() - 1; i-- > 0;) chain[i] = Node(fpta_node_not, &chain[i + 1]);
  EXPECT_EQ(Compile(chain[1]), FPTA_SUCCESS);
  EXPECT_EQ(Compile(chain[0]), FPTA_EINVAL);
  // A subtree compiled first where it fits, then met again one level deeper.
  fpta_filter deeper = Node(fpta_node_not, &chain[3]);
  EXPECT_EQ(Compile(Node(fpta_node_and, &chain[3], &deeper)), FPTA_SUCCESS);
  deeper.node_not = &chain[2];
  EXPECT_EQ(Compile(Node(fpta_node_and, &chain[2], &deeper)), FPTA_EINVAL);
}

TEST_F(FiltersTest, RefusesColumnsAndValuesThatDoNotFit) {
  const fpta_value one = fpta_value_uint(1);
  fpta_filter other = Cmp(fpta_node_eq, 0, one);
  other.node_cmp.left_id = &x_;
  EXPECT_EQ(Compile(other), FPTA_EINVAL);
  EXPECT_EQ(Compile(Cmp(fpta_node_eq, 3, one)), FPTA_EINVAL);    // composite
  EXPECT_EQ(Compile(Cmp(fpta_node_eq, 4, one)), FPTA_NOTFOUND);  // not in t
  EXPECT_EQ(Compile(Cmp(fpta_node_eq, 0, fpta_value_sint(-1))), ERANGE);
  EXPECT_EQ(Compile(Cmp(fpta_node_eq, 0, fpta_value_cstr("1"))), FPTA_ETYPE);
  for (const fpta_value &value : {fpta_value_null(), fpta_value_begin(), fpta_value_end()}) {
    EXPECT_EQ(Compile(Cmp(fpta_node_eq, 0, value)), FPTA_ETYPE);
  }
}

TEST_F(FiltersTest, Comparisons) {
  struct Case {
    fpta_filter_bits kind;
    bool below, equal, above, nan;  // score 1, 2, 3 against 2, score 2 against NaN
  };
  const double kNan = std::nan("");
  for (const Case &c : {Case{fpta_node_lt, true, false, false, false},
                        Case{fpta_node_le, true, true, false, false},
                        Case{fpta_node_eq, false, true, false, false},
                        Case{fpta_node_ge, false, true, true, false},
                        Case{fpta_node_gt, false, false, true, false},
                        Case{fpta_node_ne, true, false, true, true}}) {
    SCOPED_TRACE(c.kind);
    ASSERT_EQ(Compile(Cmp(c.kind, 1, fpta_value_sint(2))), FPTA_SUCCESS);
    EXPECT_EQ(program_->Match(Row(0, 1).ro), c.below);
    EXPECT_EQ(program_->Match(Row(0, 2).ro), c.equal);
    EXPECT_EQ(program_->Match(Row(0, 3).ro), c.above);
    EXPECT_FALSE(program_->Match(Row(0, kNan).ro));  // no score
    ASSERT_EQ(Compile(Cmp(c.kind, 1, fpta_value_float(kNan))), FPTA_SUCCESS);
    EXPECT_EQ(program_->Match(Row(0, 2).ro), c.nan);
  }
}

TEST_F(FiltersTest, LogicTruthTables) {
  struct Case {
    fpta_filter_bits kind;
    int a, b;
    bool result;
    int b_calls;  // and/or do not look at b once a decides
  };
  for (const Case &c : {Case{fpta_node_not, 0, 0, true, 0}, Case{fpta_node_not, 1, 0, false, 0},
                        Case{fpta_node_and, 0, 1, false, 0}, Case{fpta_node_and, 1, 0, false, 1},
                        Case{fpta_node_and, 1, 1, true, 1}, Case{fpta_node_or, 0, 0, false, 1},
                        Case{fpta_node_or, 0, 1, true, 1}, Case{fpta_node_or, 1, 0, true, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.kind << " " << c.a << " " << c.b);
    int a[2] = {c.a, 0}, b[2] = {c.b, 0};
    fpta_filter leaf_a = Leaf(a), leaf_b = Leaf(b);
    ASSERT_EQ(Compile(Node(c.kind, &leaf_a, &leaf_b)), FPTA_SUCCESS);
    EXPECT_EQ(program_->Match(Row(0, 0).ro), c.result);
    EXPECT_EQ(b[1], c.b_calls);
  }
}

struct Seen {
  const void *first = nullptr, *second = nullptr, *third = nullptr;
};

bool SeeColumn(const fptu_field *column, void *arg) {
  static_cast<Seen *>(arg)->first = column;
  return true;
}

bool SeeRow(const fptu_ro *row, void *context, void *arg) {
  *static_cast<Seen *>(arg) = {row->units, context, arg};
  return true;
}

TEST_F(FiltersTest, PredicatesGetTheirArguments) {
  Seen seen;
  fpta_filter column{};
  column.type = fpta_node_fncol;
  column.node_fncol = {&names_[1], SeeColumn, &seen};
  ASSERT_EQ(Compile(column), FPTA_SUCCESS);
  const Row row(5, 2.5), no_score(5, std::nan(""));
  EXPECT_TRUE(program_->Match(row.ro));
  EXPECT_EQ(fpta_field2value(seen.first).fp, 2.5);
  EXPECT_TRUE(program_->Match(no_score.ro));
  EXPECT_EQ(seen.first, nullptr);

  int context = 0;
  fpta_filter whole{};
  whole.type = fpta_node_fnrow;
  whole.node_fnrow = {SeeRow, &context, &seen};
  ASSERT_EQ(Compile(whole), FPTA_SUCCESS);
  EXPECT_TRUE(program_->Match(row.ro));
  EXPECT_EQ(seen.first, row.ro.units);
  EXPECT_EQ(seen.second, &context);
  EXPECT_EQ(seen.third, &seen);
}

TEST_F(FiltersTest, KeepsItsOwnCopyOfStrings) {
  char *name = new char[4];
  std::memcpy(name, "bob", 4);
  ASSERT_EQ(Compile(Cmp(fpta_node_eq, 2, fpta_value_string(name, 3))), FPTA_SUCCESS);
  std::memcpy(name, "eve", 4);
  delete[] name;
  EXPECT_TRUE(program_->Match(Row(1, 0, "bob").ro));
  EXPECT_FALSE(program_->Match(Row(1, 0, "eve").ro));
}

}  // namespace
}  // namespace fpta::filters
