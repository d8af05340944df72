// The table layer refuses bad arguments with a status before it touches
// storage: null, closed and ended handles, unknown enumerators, names that are
// not names, rows that are not tuples, malformed filters. The handles the
// checks meet are real ones, of a database in a fresh folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "tuple_testing.h"

namespace fpta::testing {
namespace {

// A database with the table "orders" (id, uint64 primary) holding one row, a
// schema transaction with a cursor open on it, and the same kinds of handles
// closed or ended; names, rows and column sets for the calls below.
struct Fixtures {
  std::string dir, path;
  fpta_db *db = nullptr, *closed_db = nullptr;
  fpta_txn *txn = nullptr, *ended_txn = nullptr;
  fpta_cursor *cursor = nullptr, *closed_cursor = nullptr;
  fpta_name table{}, other_table{}, column{}, blank{};
  Tuple row_tuple = Alloc(2, 8);
  Tuple removed_tuple = Alloc(1, 0);
  fptu_ro row{}, removed_only{};
  std::unique_ptr<fpta_column_set> keyed = std::make_unique<fpta_column_set>();
  std::unique_ptr<fpta_column_set> unkeyed = std::make_unique<fpta_column_set>();

  Fixtures() {
    char folder[] = "/tmp/fpta_table_layer_XXXXXX";
    dir = mkdtemp(folder);
    path = dir + "/db";
    fpta_table_init(&table, "orders");
    fpta_table_init(&other_table, "items");
    fpta_column_init(&table, &column, "id");
    fptu_insert_uint64(row_tuple.get(), 0, 1);
    row = fptu_take_noshrink(row_tuple.get());
    fptu_insert_uint16(removed_tuple.get(), 0, 1);
    fptu_upsert_null(removed_tuple.get(), 0);
    removed_only = fptu_take_noshrink(removed_tuple.get());
    fpta_column_set_init(keyed.get());
    fpta_column_describe("id", fptu_uint64, fpta_primary_unique_ordered_obverse, keyed.get());
    fpta_column_set_init(unkeyed.get());
    fpta_column_describe("id", fptu_uint64, fpta_index_none, unkeyed.get());

    // Closed handles are kept for reuse by the next handle of their kind, so
    // each dead one is made after the live one of its kind.
    Expect(fpta_db_open(path.c_str(), fpta_weak, fpta_regime_default, 0600, 1, true, &db));
    Expect(fpta_db_open((dir + "/closed").c_str(), fpta_weak, fpta_regime_default, 0600, 1, true,
                        &closed_db));
    Expect(fpta_db_close(closed_db));
    Expect(fpta_transaction_begin(db, fpta_schema, &txn));
    Expect(fpta_table_create(txn, "orders", keyed.get()));
    Expect(fpta_put(txn, &table, row, fpta_insert));
    Expect(fpta_transaction_end(txn, false));
    Expect(fpta_transaction_begin(db, fpta_schema, &txn));
    Expect(fpta_transaction_begin(db, fpta_read, &ended_txn));
    Expect(fpta_transaction_end(ended_txn, false));
    Expect(fpta_cursor_open(txn, &column, fpta_value_begin(), fpta_value_end(), nullptr,
                            fpta_ascending, &cursor));
    Expect(fpta_cursor_open(txn, &column, fpta_value_begin(), fpta_value_end(), nullptr,
                            fpta_ascending, &closed_cursor));
    Expect(fpta_cursor_close(closed_cursor));
  }

  ~Fixtures() {
    fpta_cursor_close(cursor);
    fpta_transaction_end(txn, true);
    fpta_db_close(db);
    for (const char* file : {"/db", "/db-lock", "/closed", "/closed-lock"})
      unlink((dir + file).c_str());
    rmdir(dir.c_str());
  }

  static void Expect(int status) {
    if (status != FPTA_SUCCESS) {
      ADD_FAILURE() << "fixture: " << fpta_strerror(status);
    }
  }
};

Fixtures& F() {
  static Fixtures fixtures;
  return fixtures;
}

fpta_filter Compare(fpta_name* column) {
  fpta_filter filter{};
  filter.type = fpta_node_ge;
  filter.node_cmp.left_id = column;
  filter.node_cmp.right_value = fpta_value_uint(1);
  return filter;
}

fpta_cursor* cursor_out;

int OpenCursor(fpta_value from, fpta_value to, const fpta_filter* filter, int options) {
  return fpta_cursor_open(F().txn, &F().column, from, to, filter,
                          static_cast<fpta_cursor_options>(options), &cursor_out);
}

int OpenFiltered(const fpta_filter& filter) {
  return OpenCursor(fpta_value_begin(), fpta_value_end(), &filter, fpta_ascending);
}

struct Call {
  const char* label;
  std::function<int()> call;
  int status;
};

const fptu_ro kBrokenRow = {{reinterpret_cast<const fptu_unit*>("\x05\x00\x00\x00"), 4}};
fpta_db* db_out;
fpta_txn* txn_out;
size_t size_out;
uint64_t sequence_out;
fpta_value value_out;
fptu_ro row_out;
const fpta_value kOne = fpta_value_uint(1);

const Call kCalls[] = {
    // The fixture's handles are sound: these succeed.
    {"table_info", [] { return fpta_table_info(F().txn, &F().table, &size_out, nullptr); },
     FPTA_SUCCESS},
    {"validate_put", [] { return fpta_validate_put(F().txn, &F().table, F().row, fpta_update); },
     FPTA_SUCCESS},
    {"cursor_eof", [] { return fpta_cursor_eof(F().cursor); }, 0},
    {"db_open_null_path",
     [] { return fpta_db_open(nullptr, fpta_sync, fpta_regime_default, 0600, 1, 0, &db_out); },
     FPTA_EINVAL},
    {"db_open_no_out",
     [] { return fpta_db_open("db", fpta_sync, fpta_regime_default, 0600, 1, 0, nullptr); },
     FPTA_EINVAL},
    {"db_open_durability",
     [] {
       return fpta_db_open("db", fpta_durability(4), fpta_regime_default, 0600, 1, 0, &db_out);
     },
     FPTA_EINVAL},
    {"db_open_regime",
     [] { return fpta_db_open("db", fpta_weak, fpta_regime_flags(16), 0600, 1, 0, &db_out); },
     FPTA_EINVAL},
    {"db_open_mode",
     [] { return fpta_db_open("db", fpta_weak, fpta_regime_default, 010600, 1, 0, &db_out); },
     FPTA_EINVAL},
    {"db_close_null", [] { return fpta_db_close(nullptr); }, FPTA_EINVAL},
    {"db_close_closed", [] { return fpta_db_close(F().closed_db); }, FPTA_EINVAL},
    {"txn_begin_null", [] { return fpta_transaction_begin(nullptr, fpta_read, &txn_out); },
     FPTA_EINVAL},
    {"txn_begin_closed", [] { return fpta_transaction_begin(F().closed_db, fpta_read, &txn_out); },
     FPTA_EINVAL},
    {"txn_begin_level", [] { return fpta_transaction_begin(F().db, fpta_level(0), &txn_out); },
     FPTA_EINVAL},
    {"txn_end_null", [] { return fpta_transaction_end(nullptr, true); }, FPTA_EINVAL},
    {"txn_end_ended", [] { return fpta_transaction_end(F().ended_txn, true); }, FPTA_EINVAL},
    {"table_create_null", [] { return fpta_table_create(nullptr, "orders", F().keyed.get()); },
     FPTA_EINVAL},
    {"table_create_no_primary", [] { return fpta_table_create(F().txn, "o", F().unkeyed.get()); },
     FPTA_EINVAL},
    {"table_create_bad_name", [] { return fpta_table_create(F().txn, "or ders", F().keyed.get()); },
     FPTA_EINVAL},
    {"table_drop_ended", [] { return fpta_table_drop(F().ended_txn, "orders"); }, FPTA_EINVAL},
    {"table_clear_column", [] { return fpta_table_clear(F().txn, &F().column, true); },
     FPTA_EINVAL},
    {"table_info_null", [] { return fpta_table_info(nullptr, &F().table, nullptr, nullptr); },
     FPTA_EINVAL},
    {"table_sequence_no_out", [] { return fpta_table_sequence(F().txn, &F().table, nullptr, 1); },
     FPTA_EINVAL},
    {"refresh_null", [] { return fpta_name_refresh(nullptr, &F().column); }, FPTA_EINVAL},
    {"refresh_blank", [] { return fpta_name_refresh(F().txn, &F().blank); }, FPTA_EINVAL},
    {"refresh_couple_other_table",
     [] { return fpta_name_refresh_couple(F().txn, &F().other_table, &F().column); }, FPTA_EINVAL},
    {"put_null", [] { return fpta_put(nullptr, &F().table, F().row, fpta_upsert); }, FPTA_EINVAL},
    {"put_ended", [] { return fpta_put(F().ended_txn, &F().table, F().row, fpta_upsert); },
     FPTA_EINVAL},
    {"put_option", [] { return fpta_put(F().txn, &F().table, F().row, fpta_put_options(3)); },
     FPTA_EINVAL},
    {"put_empty_row", [] { return fpta_put(F().txn, &F().table, fptu_ro{}, fpta_insert); },
     FPTA_EINVAL},
    {"put_removed_only",
     [] { return fpta_put(F().txn, &F().table, F().removed_only, fpta_insert); }, FPTA_EINVAL},
    {"put_broken_row", [] { return fpta_put(F().txn, &F().table, kBrokenRow, fpta_insert); },
     FPTA_EINVAL},
    {"validate_put_null",
     [] { return fpta_validate_put(nullptr, &F().table, F().row, fpta_update); }, FPTA_EINVAL},
    {"delete_null", [] { return fpta_delete(nullptr, &F().table, F().row); }, FPTA_EINVAL},
    {"get_null", [] { return fpta_get(nullptr, &F().column, &kOne, &row_out); }, FPTA_EINVAL},
    {"get_unknown_key_type",
     [] {
       fpta_value key = fpta_value_null();
       key.type = fpta_value_type(10);
       return fpta_get(F().txn, &F().column, &key, &row_out);
     },
     FPTA_EINVAL},
    {"get_binary_without_bytes",
     [] {
       const fpta_value key = fpta_value_binary(nullptr, 3);
       return fpta_get(F().txn, &F().column, &key, &row_out);
     },
     FPTA_EINVAL},
    {"get_column_of_table", [] { return fpta_get_column(F().row, &F().table, &value_out); },
     FPTA_EINVAL},
    {"get_column2buffer_no_buffer",
     [] { return fpta_get_column2buffer(F().row, &F().column, &value_out, nullptr, 16); },
     FPTA_EINVAL},
    {"upsert_column_null", [] { return fpta_upsert_column(nullptr, &F().column, kOne); },
     FPTA_EINVAL},
    {"cursor_open_null",
     [] {
       return fpta_cursor_open(nullptr, &F().column, fpta_value_begin(), fpta_value_end(), nullptr,
                               fpta_ascending, &cursor_out);
     },
     FPTA_EINVAL},
    {"cursor_open_from_end",
     [] { return OpenCursor(fpta_value_end(), fpta_value_end(), nullptr, 0); }, FPTA_EINVAL},
    {"cursor_open_to_begin",
     [] { return OpenCursor(fpta_value_begin(), fpta_value_begin(), nullptr, 0); }, FPTA_EINVAL},
    {"cursor_open_options_3",
     [] { return OpenCursor(fpta_value_begin(), fpta_value_end(), nullptr, 3); }, FPTA_EINVAL},
    {"cursor_open_options_7",
     [] { return OpenCursor(fpta_value_begin(), fpta_value_end(), nullptr, 7); }, FPTA_EINVAL},
    {"filter_compare_table", [] { return OpenFiltered(Compare(&F().table)); }, FPTA_EINVAL},
    {"filter_or_missing_operand",
     [] {
       fpta_filter a = Compare(&F().column), either{};
       either.type = fpta_node_or;
       either.node_or = {&a, nullptr};
       return OpenFiltered(either);
     },
     FPTA_EINVAL},
    {"filter_not_cycle",
     [] {
       fpta_filter loop{};
       loop.type = fpta_node_not;
       loop.node_not = &loop;
       return OpenFiltered(loop);
     },
     FPTA_EINVAL},
    {"filter_predicate_missing",
     [] {
       fpta_filter row{};
       row.type = fpta_node_fnrow;
       return OpenFiltered(row);
     },
     FPTA_EINVAL},
    {"filter_unknown_kind",
     [] {
       fpta_filter odd = Compare(&F().column);
       odd.type = fpta_filter_bits(1);
       return OpenFiltered(odd);
     },
     FPTA_EINVAL},
    {"cursor_close_null", [] { return fpta_cursor_close(nullptr); }, FPTA_EINVAL},
    {"cursor_close_closed", [] { return fpta_cursor_close(F().closed_cursor); }, FPTA_EINVAL},
    {"cursor_move_closed", [] { return fpta_cursor_move(F().closed_cursor, fpta_first); },
     FPTA_EINVAL},
    {"cursor_move_unknown", [] { return fpta_cursor_move(F().cursor, fpta_seek_operations(10)); },
     FPTA_EINVAL},
    {"cursor_eof_null", [] { return fpta_cursor_eof(nullptr); }, FPTA_EINVAL},
    {"cursor_get_null", [] { return fpta_cursor_get(nullptr, &row_out); }, FPTA_EINVAL},
    {"cursor_update_empty", [] { return fpta_cursor_update(F().cursor, fptu_ro{}); }, FPTA_EINVAL},
    {"cursor_delete_closed", [] { return fpta_cursor_delete(F().closed_cursor); }, FPTA_EINVAL},
    {"cursor_count_no_out", [] { return fpta_cursor_count(F().cursor, nullptr, 10); }, FPTA_EINVAL},
};

class TableLayerCall : public ::testing::TestWithParam<Call> {};

TEST_P(TableLayerCall, ChecksItsArguments) { EXPECT_EQ(GetParam().call(), GetParam().status); }

INSTANTIATE_TEST_SUITE_P(Calls, TableLayerCall, ::testing::ValuesIn(kCalls),
                         [](const ::testing::TestParamInfo<Call>& info) {
                           return std::string(info.param.label);
                         });

TEST(TableLayer, ClearsEveryOutputItRefusesToFill) {
  db_out = F().db;
  txn_out = F().txn;
  fpta_cursor* cursor = F().cursor;
  size_out = 5;
  sequence_out = 5;
  value_out = fpta_value_uint(5);
  row_out = F().row;
  fpta_table_stat stat;
  std::memset(&stat, 0xFF, sizeof(stat));
  fpta_db_open("db", fpta_durability(4), fpta_regime_default, 0600, 1, false, &db_out);
  fpta_transaction_begin(F().closed_db, fpta_read, &txn_out);
  fpta_cursor_open(F().ended_txn, &F().column, fpta_value_begin(), fpta_value_end(), nullptr,
                   fpta_unsorted, &cursor);
  fpta_table_info(F().ended_txn, &F().table, &size_out, &stat);
  fpta_table_sequence(F().ended_txn, &F().table, &sequence_out, 1);
  fpta_get(F().ended_txn, &F().column, &kOne, &row_out);
  EXPECT_EQ(db_out, nullptr);
  EXPECT_EQ(txn_out, nullptr);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(size_out, 0u);
  EXPECT_EQ(stat.row_count | stat.total_bytes | stat.btree_depth | stat.large_pages, 0u);
  EXPECT_EQ(sequence_out, 0u);
  EXPECT_EQ(row_out.units, nullptr);
  fpta_get_column(F().row, &F().blank, &value_out);
  EXPECT_EQ(value_out.type, fpta_null);
}

}  // namespace
}  // namespace fpta::testing
