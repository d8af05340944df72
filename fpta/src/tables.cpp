// Tables and the resolution of names against the schema. They need a
// transaction, which storage has to provide first: the entry points check
// their arguments and return FPTA_ENOIMP.
#include "column_set.h"
#include "names.h"
#include "recorder.h"

using fpta::CallRecord;
using fpta::names::IsColumnName;
using fpta::names::IsTableName;
using fpta::names::IsValidName;

int fpta_table_create(fpta_txn *txn, const char *table_name, fpta_column_set *column_set) {
  const CallRecord record(__func__, txn, table_name, column_set);
  if (txn == nullptr || !IsValidName(table_name)) return FPTA_EINVAL;
  const int status = fpta::columns::CheckTableSet(column_set);
  return status != FPTA_SUCCESS ? status : FPTA_ENOIMP;
}

int fpta_table_drop(fpta_txn *txn, const char *table_name) {
  const CallRecord record(__func__, txn, table_name);
  return txn == nullptr || !IsValidName(table_name) ? FPTA_EINVAL : FPTA_ENOIMP;
}

int fpta_table_clear(fpta_txn *txn, fpta_name *table_id, bool reset_sequence) {
  const CallRecord record(__func__, txn, table_id, reset_sequence);
  return txn == nullptr || !IsTableName(table_id) ? FPTA_EINVAL : FPTA_ENOIMP;
}

int fpta_table_info(fpta_txn *txn, fpta_name *table_id, size_t *row_count, fpta_table_stat *stat) {
  const CallRecord record(__func__, txn, table_id, row_count, stat);
  // Either output may be left out; what is asked for never holds stale bytes.
  if (row_count != nullptr) *row_count = 0;
  if (stat != nullptr) *stat = fpta_table_stat{};
  return txn == nullptr || !IsTableName(table_id) ? FPTA_EINVAL : FPTA_ENOIMP;
}

int fpta_table_sequence(fpta_txn *txn, fpta_name *table_id, uint64_t *result, uint64_t increment) {
  const CallRecord record(__func__, txn, table_id, result, increment);
  if (result == nullptr) return FPTA_EINVAL;
  *result = 0;
  return txn == nullptr || !IsTableName(table_id) ? FPTA_EINVAL : FPTA_ENOIMP;
}

int fpta_name_refresh(fpta_txn *txn, fpta_name *name_id) {
  const CallRecord record(__func__, txn, name_id);
  return txn == nullptr || !(IsTableName(name_id) || IsColumnName(name_id)) ? FPTA_EINVAL : FPTA_ENOIMP;
}

int fpta_name_refresh_couple(fpta_txn *txn, fpta_name *table_id, fpta_name *column_id) {
  const CallRecord record(__func__, txn, table_id, column_id);
  // The column is optional, but when given it belongs to this table.
  if (txn == nullptr || !IsTableName(table_id)) return FPTA_EINVAL;
  if (column_id != nullptr && !(IsColumnName(column_id) && column_id->table == table_id)) return FPTA_EINVAL;
  return FPTA_ENOIMP;
}
