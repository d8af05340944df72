// The table layer checks every argument; with sound ones it reports that the
// operation is not built yet, and never success.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "tuple_testing.h"

namespace fpta::testing {
namespace {

fpta_db *const kDb = reinterpret_cast<fpta_db *>(0x1000);
fpta_txn *const kTxn = reinterpret_cast<fpta_txn *>(0x2000);
fpta_cursor *const kCursor = reinterpret_cast<fpta_cursor *>(0x3000);

// Names, rows and sets the calls below use, made once.
struct Fixtures {
  fpta_name table{}, other_table{}, column{}, blank{};
  Tuple row_tuple = Alloc(2, 8);
  Tuple removed_tuple = Alloc(1, 0);
  fptu_ro row{}, removed_only{};
  std::unique_ptr<fpta_column_set> keyed = std::make_unique<fpta_column_set>();
  std::unique_ptr<fpta_column_set> unkeyed = std::make_unique<fpta_column_set>();

  Fixtures() {
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
  }
};

Fixtures &F() {
  static Fixtures fixtures;
  return fixtures;
}

fpta_filter Compare(fpta_name *column) {
  fpta_filter filter{};
  filter.type = fpta_node_ge;
  filter.node_cmp.left_id = column;
  filter.node_cmp.right_value = fpta_value_uint(1);
  return filter;
}

int OpenCursor(fpta_value from, fpta_value to, const fpta_filter *filter, int options) {
  fpta_cursor *cursor;
  return fpta_cursor_open(kTxn, &F().column, from, to, filter, static_cast<fpta_cursor_options>(options), &cursor);
}

int OpenFiltered(const fpta_filter &filter) {
  return OpenCursor(fpta_value_begin(), fpta_value_end(), &filter, fpta_ascending);
}

struct Call {
  const char *label;
  std::function<int()> call;
  int status;
};

const fptu_ro kBrokenRow = {{reinterpret_cast<const fptu_unit *>("\x05\x00\x00\x00"), 4}};
fpta_db *db_out;
fpta_txn *txn_out;
size_t size_out;
uint64_t sequence_out;
fpta_value value_out;
fptu_ro row_out;

const Call kCalls[] = {
    {"db_open", [] { return fpta_db_open("db", fpta_sync, fpta_saferam, 0600, 1, false, &db_out); }, FPTA_ENOIMP},
    {"db_open_null_path", [] { return fpta_db_open(nullptr, fpta_sync, fpta_regime_default, 0600, 1, 0, &db_out); },
     FPTA_EINVAL},
    {"db_open_durability",
     [] { return fpta_db_open("db", fpta_durability(4), fpta_regime_default, 0600, 1, 0, &db_out); }, FPTA_EINVAL},
    {"db_open_regime", [] { return fpta_db_open("db", fpta_weak, fpta_regime_flags(16), 0600, 1, 0, &db_out); },
     FPTA_EINVAL},
    {"db_open_mode", [] { return fpta_db_open("db", fpta_weak, fpta_regime_default, 010600, 1, 0, &db_out); },
     FPTA_EINVAL},
    {"db_close_null", [] { return fpta_db_close(nullptr); }, FPTA_EINVAL},
    {"txn_begin", [] { return fpta_transaction_begin(kDb, fpta_schema, &txn_out); }, FPTA_ENOIMP},
    {"txn_begin_level", [] { return fpta_transaction_begin(kDb, fpta_level(0), &txn_out); }, FPTA_EINVAL},
    {"txn_end", [] { return fpta_transaction_end(kTxn, true); }, FPTA_ENOIMP},
    {"table_create", [] { return fpta_table_create(kTxn, "orders", F().keyed.get()); }, FPTA_ENOIMP},
    {"table_create_no_primary", [] { return fpta_table_create(kTxn, "orders", F().unkeyed.get()); }, FPTA_EINVAL},
    {"table_create_bad_name", [] { return fpta_table_create(kTxn, "or ders", F().keyed.get()); }, FPTA_EINVAL},
    {"table_drop", [] { return fpta_table_drop(kTxn, "orders"); }, FPTA_ENOIMP},
    {"table_clear_column", [] { return fpta_table_clear(kTxn, &F().column, true); }, FPTA_EINVAL},
    {"table_info", [] { return fpta_table_info(kTxn, &F().table, nullptr, nullptr); }, FPTA_ENOIMP},
    {"table_sequence_no_out", [] { return fpta_table_sequence(kTxn, &F().table, nullptr, 1); }, FPTA_EINVAL},
    {"refresh_column", [] { return fpta_name_refresh(kTxn, &F().column); }, FPTA_ENOIMP},
    {"refresh_blank", [] { return fpta_name_refresh(kTxn, &F().blank); }, FPTA_EINVAL},
    {"refresh_couple_table_only", [] { return fpta_name_refresh_couple(kTxn, &F().table, nullptr); }, FPTA_ENOIMP},
    {"refresh_couple_other_table", [] { return fpta_name_refresh_couple(kTxn, &F().other_table, &F().column); },
     FPTA_EINVAL},
    {"put", [] { return fpta_put(kTxn, &F().table, F().row, fpta_upsert); }, FPTA_ENOIMP},
    {"put_option", [] { return fpta_put(kTxn, &F().table, F().row, fpta_put_options(3)); }, FPTA_EINVAL},
    {"put_empty_row", [] { return fpta_put(kTxn, &F().table, fptu_ro{}, fpta_insert); }, FPTA_EINVAL},
    {"put_removed_only", [] { return fpta_put(kTxn, &F().table, F().removed_only, fpta_insert); }, FPTA_EINVAL},
    {"put_broken_row", [] { return fpta_put(kTxn, &F().table, kBrokenRow, fpta_insert); }, FPTA_EINVAL},
    {"validate_put", [] { return fpta_validate_put(kTxn, &F().table, F().row, fpta_update); }, FPTA_ENOIMP},
    {"delete", [] { return fpta_delete(kTxn, &F().table, F().row); }, FPTA_ENOIMP},
    {"get", [] { return fpta_get(kTxn, &F().column, &value_out, &row_out); }, FPTA_ENOIMP},
    {"get_unknown_key_type",
     [] {
       fpta_value key = fpta_value_null();
       key.type = fpta_value_type(10);
       return fpta_get(kTxn, &F().column, &key, &row_out);
     },
     FPTA_EINVAL},
    {"get_binary_without_bytes",
     [] {
       const fpta_value key = fpta_value_binary(nullptr, 3);
       return fpta_get(kTxn, &F().column, &key, &row_out);
     },
     FPTA_EINVAL},
    {"get_column", [] { return fpta_get_column(F().row, &F().column, &value_out); }, FPTA_ENOIMP},
    {"get_column_of_table", [] { return fpta_get_column(F().row, &F().table, &value_out); }, FPTA_EINVAL},
    {"get_column2buffer_no_buffer",
     [] { return fpta_get_column2buffer(F().row, &F().column, &value_out, nullptr, 16); }, FPTA_EINVAL},
    {"upsert_column", [] { return fpta_upsert_column(F().row_tuple.get(), &F().column, fpta_value_uint(1)); },
     FPTA_ENOIMP},
    {"cursor_open", [] { return OpenCursor(fpta_value_begin(), fpta_value_end(), nullptr, fpta_ascending); },
     FPTA_ENOIMP},
    {"cursor_open_dont_fetch",
     [] { return OpenCursor(fpta_value_sint(1), fpta_value_sint(5), nullptr, fpta_descending_dont_fetch); },
     FPTA_ENOIMP},
    {"cursor_open_from_end", [] { return OpenCursor(fpta_value_end(), fpta_value_end(), nullptr, 0); }, FPTA_EINVAL},
    {"cursor_open_to_begin", [] { return OpenCursor(fpta_value_begin(), fpta_value_begin(), nullptr, 0); },
     FPTA_EINVAL},
    {"cursor_open_options_3", [] { return OpenCursor(fpta_value_begin(), fpta_value_end(), nullptr, 3); },
     FPTA_EINVAL},
    {"cursor_open_options_7", [] { return OpenCursor(fpta_value_begin(), fpta_value_end(), nullptr, 7); },
     FPTA_EINVAL},
    {"filter_compare", [] { return OpenFiltered(Compare(&F().column)); }, FPTA_ENOIMP},
    {"filter_compare_table", [] { return OpenFiltered(Compare(&F().table)); }, FPTA_EINVAL},
    {"filter_and",
     [] {
       fpta_filter a = Compare(&F().column), b = Compare(&F().column), both{};
       both.type = fpta_node_and;
       both.node_and = {&a, &b};
       return OpenFiltered(both);
     },
     FPTA_ENOIMP},
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
    {"cursor_close", [] { return fpta_cursor_close(kCursor); }, FPTA_ENOIMP},
    {"cursor_move_unknown", [] { return fpta_cursor_move(kCursor, fpta_seek_operations(10)); }, FPTA_EINVAL},
    {"cursor_eof", [] { return fpta_cursor_eof(kCursor); }, FPTA_ENOIMP},
    {"cursor_get", [] { return fpta_cursor_get(kCursor, &row_out); }, FPTA_ENOIMP},
    {"cursor_update_empty", [] { return fpta_cursor_update(kCursor, fptu_ro{}); }, FPTA_EINVAL},
    {"cursor_delete", [] { return fpta_cursor_delete(kCursor); }, FPTA_ENOIMP},
    {"cursor_count_no_out", [] { return fpta_cursor_count(kCursor, nullptr, 10); }, FPTA_EINVAL},
};

class TableLayerCall : public ::testing::TestWithParam<Call> {};

TEST_P(TableLayerCall, ChecksItsArguments) { EXPECT_EQ(GetParam().call(), GetParam().status); }

INSTANTIATE_TEST_SUITE_P(Calls, TableLayerCall, ::testing::ValuesIn(kCalls),
                         [](const ::testing::TestParamInfo<Call> &info) { return std::string(info.param.label); });

TEST(TableLayer, ClearsEveryOutputItRefusesToFill) {
  db_out = kDb;
  txn_out = kTxn;
  fpta_cursor *cursor = kCursor;
  size_out = 5;
  sequence_out = 5;
  value_out = fpta_value_uint(5);
  row_out = F().row;
  fpta_table_stat stat;
  std::memset(&stat, 0xFF, sizeof(stat));
  fpta_db_open("db", fpta_sync, fpta_regime_default, 0600, 1, false, &db_out);
  fpta_transaction_begin(kDb, fpta_read, &txn_out);
  fpta_cursor_open(kTxn, &F().column, fpta_value_begin(), fpta_value_end(), nullptr, fpta_unsorted, &cursor);
  fpta_table_info(kTxn, &F().table, &size_out, &stat);
  fpta_table_sequence(kTxn, &F().table, &sequence_out, 1);
  fpta_get(kTxn, &F().column, &value_out, &row_out);
  EXPECT_EQ(db_out, nullptr);
  EXPECT_EQ(txn_out, nullptr);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(size_out, 0u);
  EXPECT_EQ(stat.row_count | stat.total_bytes | stat.btree_depth | stat.large_pages, 0u);
  EXPECT_EQ(sequence_out, 0u);
  EXPECT_EQ(row_out.units, nullptr);
  fpta_get_column(F().row, &F().column, &value_out);
  EXPECT_EQ(value_out.type, fpta_null);
}

}  // namespace
}  // namespace fpta::testing
