// fpta_table_verify: a table's indexes held against its rows. Every row must
// be a sound row of its table and sit under its own key in each index; every
// index entry must be the key of the row it leads to. Together these say
// that rows and entries match one to one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "recorder.h"
#include "resolve.h"
#include "row_check.h"
#include "row_store.h"
#include "schema_store.h"

using fpta::CallRecord;
namespace keys = fpta::keys;
namespace resolve = fpta::resolve;
namespace row_store = fpta::row_store;
namespace rows = fpta::rows;
namespace schema = fpta::schema;

namespace {

constexpr uint64_t kProgressRows = 4096;
// Keys in fault texts show this many bytes at most.
constexpr size_t kShownKeyBytes = 24;

std::string Hex(const MDB_val& val) {
  std::string text;
  const auto* bytes = static_cast<const unsigned char*>(val.mv_data);
  for (size_t i = 0; i < val.mv_size && i < kShownKeyBytes; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", bytes[i]);
    text += pair;
  }
  if (val.mv_size > kShownKeyBytes) text += "...";
  return text.empty() ? "(empty)" : text;
}

class Verifier {
 public:
  Verifier(fpta_txn* txn, const schema::Table& table, fpta_verify_report report, void* context)
      : txn_(txn), table_(table), report_(report), context_(context), indexes_(table.secondary) {
    if (table.rows_apart()) indexes_.push_back(table.primary);
  }

  uint64_t faults() const { return faults_; }

  int Run() {
    int status = WalkRows();
    for (size_t i = 0; status == FPTA_SUCCESS && i < indexes_.size(); ++i) {
      status = WalkIndex(indexes_[i]);
    }
    return status;
  }

 private:
  std::string IndexName(unsigned number) const {
    const std::string& name = table_.columns[number].name;
    return name.empty() ? "#" + std::to_string(number) : name;
  }

  int Fault(const std::string& text) {
    ++faults_;
    if (report_ == nullptr) return FPTA_SUCCESS;
    const std::string line = "table " + table_.name + ": " + text;
    return report_(context_, line.c_str(), rows_);
  }

  // Whether the index store of column number holds the entry (key, reference).
  int IndexHolds(unsigned number, const keys::Key& key, const MDB_val& reference, bool* held) {
    const schema::Column& column = table_.columns[number];
    MDB_cursor* cursor;
    int status = mdb_cursor_open(txn_->mdb, column.store.dbi, &cursor);
    if (status != MDB_SUCCESS) return status;
    MDB_val k = row_store::ValOf(key), d = reference;
    const bool duplicates = fpta::schema_store::HasDuplicates(table_, column.store);
    status = mdb_cursor_get(cursor, &k, &d, duplicates ? MDB_GET_BOTH : MDB_SET_KEY);
    mdb_cursor_close(cursor);
    if (status != MDB_SUCCESS && status != MDB_NOTFOUND) return status;
    *held = status == MDB_SUCCESS &&
            (duplicates || (d.mv_size == reference.mv_size &&
                            std::memcmp(d.mv_data, reference.mv_data, d.mv_size) == 0));
    return MDB_SUCCESS;
  }

  // Each row: sound, and under its key in every index.
  int WalkRows() {
    MDB_cursor* cursor;
    int status = mdb_cursor_open(txn_->mdb, row_store::RowsDbi(table_), &cursor);
    if (status != MDB_SUCCESS) return status;
    MDB_val key, data;
    for (status = mdb_cursor_get(cursor, &key, &data, MDB_FIRST); status == MDB_SUCCESS;
         status = mdb_cursor_get(cursor, &key, &data, MDB_NEXT)) {
      status = CheckRow(key, data);
      if (status == FPTA_SUCCESS && ++rows_ % kProgressRows == 0 && report_ != nullptr) {
        status = report_(context_, nullptr, rows_);
      }
      if (status != FPTA_SUCCESS) break;
    }
    mdb_cursor_close(cursor);
    return status == MDB_NOTFOUND ? FPTA_SUCCESS : status;
  }

  int CheckRow(const MDB_val& reference, const MDB_val& data) {
    const std::string where = "row " + Hex(reference);
    fptu_ro row;
    int status = row_store::StoredRow(txn_, data, &row);
    if (status == MDB_SUCCESS) status = rows::Check(table_, row, &fields_);
    if (status != FPTA_SUCCESS)
      return Fault(where + ": not a sound row of the table (" + fpta_strerror(status) + ")");
    if (!table_.rows_apart()) {
      status = rows::KeyOf(table_, table_.primary, fields_, &key_);
      if (status != FPTA_SUCCESS || !row_store::SameBytes(key_, reference)) {
        return Fault(where + ": stored under another key than its primary key");
      }
    }
    for (const unsigned number : indexes_) {
      status = rows::KeyOf(table_, number, fields_, &key_);
      bool held = false;
      if (status == FPTA_SUCCESS) status = IndexHolds(number, key_, reference, &held);
      if (status != FPTA_SUCCESS && status != FPTA_ENOKEY && status != ERANGE) return status;
      if (!held) status = Fault(where + ": missing from index " + IndexName(number));
      if (status != FPTA_SUCCESS) return status;
    }
    return FPTA_SUCCESS;
  }

  // Each entry of the index of column number: its row's key, leading to a row.
  int WalkIndex(unsigned number) {
    MDB_cursor* cursor;
    int status = mdb_cursor_open(txn_->mdb, table_.columns[number].store.dbi, &cursor);
    if (status != MDB_SUCCESS) return status;
    MDB_val key, reference;
    for (status = mdb_cursor_get(cursor, &key, &reference, MDB_FIRST); status == MDB_SUCCESS;
         status = mdb_cursor_get(cursor, &key, &reference, MDB_NEXT)) {
      status = CheckEntry(number, key, reference);
      if (status != FPTA_SUCCESS) break;
    }
    mdb_cursor_close(cursor);
    return status == MDB_NOTFOUND ? FPTA_SUCCESS : status;
  }

  int CheckEntry(unsigned number, const MDB_val& key, const MDB_val& reference) {
    const std::string where = "index " + IndexName(number) + ", entry " + Hex(key);
    MDB_val found = reference, data;
    int status = mdb_get(txn_->mdb, row_store::RowsDbi(table_), &found, &data);
    if (status == MDB_NOTFOUND) return Fault(where + ": leads to no row");
    if (status != MDB_SUCCESS) return status;
    fptu_ro row;
    // An unsound row is reported by the walk over the rows.
    if (row_store::StoredRow(txn_, data, &row) != MDB_SUCCESS ||
        rows::Check(table_, row, &fields_) != FPTA_SUCCESS)
      return FPTA_SUCCESS;
    status = rows::KeyOf(table_, number, fields_, &key_);
    if (status != FPTA_SUCCESS || !row_store::SameBytes(key_, key))
      return Fault(where + ": not the key of the row it leads to");
    return FPTA_SUCCESS;
  }

  fpta_txn* txn_;
  const schema::Table& table_;
  fpta_verify_report report_;
  void* context_;
  // The indexes kept apart from the rows: the secondary ones, and the
  // primary one where rows are stored by serial number.
  std::vector<unsigned> indexes_;
  uint64_t rows_ = 0, faults_ = 0;
  std::vector<const fptu_field*> fields_;
  keys::Key key_;
};

}  // namespace

int fpta_table_verify(fpta_txn* txn, fpta_name* table_id, fpta_verify_report report, void* context,
                      uint64_t* faults) {
  const CallRecord record(__func__, txn, table_id, report, context, faults);
  if (faults != nullptr) *faults = 0;
  int status = resolve::CheckTxn(txn);
  const schema::Table* table = nullptr;
  if (status == FPTA_SUCCESS) status = resolve::TableNamed(txn, table_id, &table);
  if (status != FPTA_SUCCESS) return status;
  Verifier verifier(txn, *table, report, context);
  status = verifier.Run();
  if (faults != nullptr) *faults = verifier.faults();
  return status;
}
