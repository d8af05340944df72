// Tables: creating, dropping and clearing them, their statistics and
// sequences, and the resolution of names against the schema.
#include <cstring>

#include "column_names.h"
#include "column_set.h"
#include "names.h"
#include "recorder.h"
#include "resolve.h"
#include "schema_store.h"

using fpta::CallRecord;
using fpta::names::IsValidName;
using fpta::names::NameHash;
namespace resolve = fpta::resolve;
namespace schema = fpta::schema;
namespace schema_store = fpta::schema_store;

namespace {

int EmptyStores(MDB_txn* txn, const schema::Table& table) {
  for (const schema::Store* store : schema::StoresOf(table)) {
    const int status = mdb_drop(txn, store->dbi, 0);
    if (status != MDB_SUCCESS) return status;
  }
  return MDB_SUCCESS;
}

int ResetSequence(fpta_txn* txn, uint64_t hash) {
  schema_store::TableKey key(hash);
  const int status = mdb_del(txn->mdb, txn->db->sequences_dbi, &key.val, nullptr);
  return status == MDB_NOTFOUND ? MDB_SUCCESS : status;
}

// The schema a schema transaction changes: its own copy, made on the first
// change, with the version one up, which goes to the store as well.
int Draft(fpta_txn* txn, schema::Schema** draft) {
  if (!txn->schema_changed) {
    const uint64_t version = txn->schema->version + 1;
    const int status = schema_store::WriteVersion(txn->mdb, txn->db->schema_dbi, version);
    if (status != MDB_SUCCESS) return resolve::FailTxn(txn, status);
    if (!txn->draft) txn->draft = std::make_shared<schema::Schema>(*txn->schema);
    txn->draft->version = version;
    txn->schema = txn->draft;
    txn->schema_changed = true;
  }
  *draft = txn->draft.get();
  return FPTA_SUCCESS;
}

int Create(fpta_txn* txn, const char* name, const fpta_column_set& set) {
  schema::Schema* draft;
  if (txn->schema->Find(NameHash(name)) != nullptr) return FPTA_EEXIST;
  if (txn->schema->tables.size() >= fpta_tables_max) return FPTA_ETOOMANY;
  uint32_t serial;
  int status = schema_store::ReadSerial(txn->mdb, txn->db->schema_dbi, &serial);
  if (status != MDB_SUCCESS) return status;
  auto table = std::make_shared<schema::Table>();
  status = schema::TableFromColumnSet(name, set, &serial, table.get());
  if (status != FPTA_SUCCESS) return status;
  const std::vector<std::string> column_names = fpta::column_names::Recall(set);
  for (size_t number = 0; number < column_names.size(); ++number) {
    table->columns[number].name = column_names[number];
  }
  // The handles this transaction opens are its own until it ends.
  if (!txn->opener_lock.owns_lock())
    txn->opener_lock = std::unique_lock<std::mutex>(txn->db->opener);
  // From here on a failure leaves the transaction half changed, except
  // running out of handles: LMDB refuses to open a store before it writes,
  // and the stores opened already are empty ones no table uses, which the
  // next open of the file removes.
  status = Draft(txn, &draft);
  if (status != FPTA_SUCCESS) return status;
  status = schema_store::WriteSerial(txn->mdb, txn->db->schema_dbi, serial);
  for (schema::Store* store : schema::StoresOf(*table)) {
    if (status != MDB_SUCCESS) break;
    status =
        schema_store::OpenStore(txn->mdb, store, schema_store::HasDuplicates(*table, *store), true);
    if (status == MDB_SUCCESS) txn->made_stores.emplace_back(store->serial, store->dbi);
    if (status == MDB_DBS_FULL) return status;
  }
  if (status == MDB_SUCCESS)
    status = schema_store::WriteTable(txn->mdb, txn->db->schema_dbi, *table);
  if (status == MDB_SUCCESS) status = ResetSequence(txn, table->hash);
  if (status != MDB_SUCCESS) return resolve::FailTxn(txn, status);
  draft->tables[table->hash] = std::move(table);
  return FPTA_SUCCESS;
}

int Drop(fpta_txn* txn, const char* name) {
  const uint64_t hash = NameHash(name);
  const schema::Table* table = txn->schema->Find(hash);
  if (table == nullptr) return FPTA_NOTFOUND;
  schema::Schema* draft;
  int status = Draft(txn, &draft);
  if (status != FPTA_SUCCESS) return status;
  // The emptied stores stay until the database is next opened, when no
  // transaction can still be using their handles.
  status = EmptyStores(txn->mdb, *table);
  if (status == MDB_SUCCESS)
    status = schema_store::DeleteTable(txn->mdb, txn->db->schema_dbi, hash);
  if (status == MDB_SUCCESS) status = ResetSequence(txn, hash);
  if (status != MDB_SUCCESS) return resolve::FailTxn(txn, status);
  draft->tables.erase(hash);
  return FPTA_SUCCESS;
}

void AddStat(const MDB_stat& lmdb, fpta_table_stat* stat) {
  stat->btree_depth = std::max<size_t>(stat->btree_depth, lmdb.ms_depth);
  stat->branch_pages += lmdb.ms_branch_pages;
  stat->leaf_pages += lmdb.ms_leaf_pages;
  stat->large_pages += lmdb.ms_overflow_pages;
  stat->total_bytes += uint64_t{lmdb.ms_psize} *
                       (lmdb.ms_branch_pages + lmdb.ms_leaf_pages + lmdb.ms_overflow_pages);
}

int Info(fpta_txn* txn, const schema::Table& table, size_t* row_count, fpta_table_stat* stat) {
  fpta_table_stat figures{};
  for (const schema::Store* store : schema::StoresOf(table)) {
    MDB_stat lmdb;
    const int status = mdb_stat(txn->mdb, store->dbi, &lmdb);
    if (status != MDB_SUCCESS) return status;
    if (store == &table.primary_column().store) figures.row_count = lmdb.ms_entries;
    AddStat(lmdb, &figures);
  }
  if (row_count != nullptr) *row_count = figures.row_count;
  if (stat != nullptr) *stat = figures;
  return FPTA_SUCCESS;
}

int Sequence(fpta_txn* txn, const schema::Table& table, uint64_t* result, uint64_t increment) {
  schema_store::TableKey key(table.hash);
  MDB_val data;
  int status = mdb_get(txn->mdb, txn->db->sequences_dbi, &key.val, &data);
  uint64_t value = 0;
  if (status == MDB_SUCCESS && data.mv_size == sizeof(value)) {
    std::memcpy(&value, data.mv_data, sizeof(value));
  } else if (status != MDB_NOTFOUND) {
    return status == MDB_SUCCESS ? MDB_CORRUPTED : status;
  }
  if (increment != 0) {
    if (txn->level == fpta_read) return EPERM;
    if (value + increment < value) return ERANGE;
    const uint64_t next = value + increment;
    data = MDB_val{sizeof(next), const_cast<uint64_t*>(&next)};
    status = mdb_put(txn->mdb, txn->db->sequences_dbi, &key.val, &data, 0);
    if (status != MDB_SUCCESS) return resolve::FailTxn(txn, status);
  }
  *result = value;
  return FPTA_SUCCESS;
}

}  // namespace

int fpta_table_create(fpta_txn* txn, const char* table_name, fpta_column_set* column_set) {
  const CallRecord record(__func__, txn, table_name, column_set);
  const int status = resolve::CheckSchemaChange(txn);
  if (status != FPTA_SUCCESS) return status;
  if (!IsValidName(table_name) || fpta::columns::CheckTableSet(column_set) != FPTA_SUCCESS)
    return FPTA_EINVAL;
  return Create(txn, table_name, *column_set);
}

int fpta_table_drop(fpta_txn* txn, const char* table_name) {
  const CallRecord record(__func__, txn, table_name);
  const int status = resolve::CheckSchemaChange(txn);
  if (status != FPTA_SUCCESS) return status;
  return IsValidName(table_name) ? Drop(txn, table_name) : FPTA_EINVAL;
}

int fpta_table_clear(fpta_txn* txn, fpta_name* table_id, bool reset_sequence) {
  const CallRecord record(__func__, txn, table_id, reset_sequence);
  int status = resolve::CheckSchemaChange(txn);
  const schema::Table* table = nullptr;
  if (status == FPTA_SUCCESS) status = resolve::TableNamed(txn, table_id, &table);
  if (status != FPTA_SUCCESS) return status;
  status = EmptyStores(txn->mdb, *table);
  if (status == MDB_SUCCESS && reset_sequence) status = ResetSequence(txn, table->hash);
  return resolve::FailTxn(txn, status);
}

int fpta_table_info(fpta_txn* txn, fpta_name* table_id, size_t* row_count, fpta_table_stat* stat) {
  const CallRecord record(__func__, txn, table_id, row_count, stat);
  // Either output may be left out; what is asked for never holds stale bytes.
  if (row_count != nullptr) *row_count = 0;
  if (stat != nullptr) *stat = fpta_table_stat{};
  int status = resolve::CheckTxn(txn);
  const schema::Table* table = nullptr;
  if (status == FPTA_SUCCESS) status = resolve::TableNamed(txn, table_id, &table);
  return status == FPTA_SUCCESS ? Info(txn, *table, row_count, stat) : status;
}

int fpta_table_sequence(fpta_txn* txn, fpta_name* table_id, uint64_t* result, uint64_t increment) {
  const CallRecord record(__func__, txn, table_id, result, increment);
  if (result == nullptr) return FPTA_EINVAL;
  *result = 0;
  int status = resolve::CheckTxn(txn);
  const schema::Table* table = nullptr;
  if (status == FPTA_SUCCESS) status = resolve::TableNamed(txn, table_id, &table);
  return status == FPTA_SUCCESS ? Sequence(txn, *table, result, increment) : status;
}

int fpta_name_refresh(fpta_txn* txn, fpta_name* name_id) {
  const CallRecord record(__func__, txn, name_id);
  const int status = resolve::CheckTxn(txn);
  if (status != FPTA_SUCCESS) return status;
  const schema::Table* table;
  unsigned number;
  if (fpta::names::IsTableName(name_id)) return resolve::TableNamed(txn, name_id, &table);
  return resolve::ColumnNamed(txn, name_id, &table, &number);
}

int fpta_name_refresh_couple(fpta_txn* txn, fpta_name* table_id, fpta_name* column_id) {
  const CallRecord record(__func__, txn, table_id, column_id);
  int status = resolve::CheckTxn(txn);
  if (status != FPTA_SUCCESS) return status;
  // The column is optional, but when given it belongs to this table.
  if (column_id != nullptr &&
      !(fpta::names::IsColumnName(column_id) && column_id->table == table_id)) {
    return FPTA_EINVAL;
  }
  const schema::Table* table;
  unsigned number;
  status = resolve::TableNamed(txn, table_id, &table);
  if (status == FPTA_SUCCESS && column_id != nullptr)
    status = resolve::ColumnNamed(txn, column_id, &table, &number);
  return status;
}
