// Rows of tables and columns of rows. Reading a column needs its number and
// type, which only a name resolved against the schema carries; writing and
// reading rows need a transaction. Neither is built yet: the entry points
// check their arguments and return FPTA_ENOIMP.
#include "arguments.h"
#include "names.h"
#include "recorder.h"
#include "tuple_check.h"

using fpta::CallRecord;
using fpta::names::IsColumnName;
using fpta::names::IsTableName;
using namespace fpta::arguments;

namespace {

int CheckRowChange(const fpta_txn *txn, const fpta_name *table_id, const fptu_ro &row) {
  return txn == nullptr || !IsTableName(table_id) || !IsRow(row) ? FPTA_EINVAL : FPTA_ENOIMP;
}

int CheckPut(const fpta_txn *txn, const fpta_name *table_id, const fptu_ro &row, fpta_put_options op) {
  return IsPutOption(op) ? CheckRowChange(txn, table_id, row) : FPTA_EINVAL;
}

int CheckColumnRead(const fptu_ro &row, const fpta_name *column_id, fpta_value *value) {
  if (value == nullptr) return FPTA_EINVAL;
  *value = fpta_value_null();
  const bool sound = fpta::tuple::CheckReadOnly(row, nullptr) == nullptr;
  return sound && IsColumnName(column_id) ? FPTA_ENOIMP : FPTA_EINVAL;
}

}  // namespace

int fpta_put(fpta_txn *txn, fpta_name *table_id, fptu_ro row, fpta_put_options op) {
  const CallRecord record(__func__, txn, table_id, row, op);
  return CheckPut(txn, table_id, row, op);
}

int fpta_validate_put(fpta_txn *txn, fpta_name *table_id, fptu_ro row_value, fpta_put_options op) {
  const CallRecord record(__func__, txn, table_id, row_value, op);
  return CheckPut(txn, table_id, row_value, op);
}

int fpta_delete(fpta_txn *txn, fpta_name *table_id, fptu_ro row_value) {
  const CallRecord record(__func__, txn, table_id, row_value);
  return CheckRowChange(txn, table_id, row_value);
}

int fpta_get(fpta_txn *txn, fpta_name *column_id, const fpta_value *column_value, fptu_ro *row) {
  const CallRecord record(__func__, txn, column_id, column_value, row);
  if (row == nullptr) return FPTA_EINVAL;
  *row = fptu_ro{};
  if (txn == nullptr || !IsColumnName(column_id) || column_value == nullptr || !IsValue(*column_value)) {
    return FPTA_EINVAL;
  }
  return FPTA_ENOIMP;
}

int fpta_get_column(fptu_ro row_value, const fpta_name *column_id, fpta_value *value) {
  const CallRecord record(__func__, row_value, column_id, value);
  return CheckColumnRead(row_value, column_id, value);
}

int fpta_get_column2buffer(fptu_ro row, const fpta_name *column_id, fpta_value *value, void *buffer,
                           size_t buffer_length) {
  const CallRecord record(__func__, row, column_id, value, buffer, buffer_length);
  if (buffer == nullptr && buffer_length != 0) {
    if (value != nullptr) *value = fpta_value_null();
    return FPTA_EINVAL;
  }
  return CheckColumnRead(row, column_id, value);
}

int fpta_upsert_column(fptu_rw *pt, const fpta_name *column_id, fpta_value value) {
  const CallRecord record(__func__, pt, column_id, value);
  if (pt == nullptr || fpta::tuple::CheckBounds(*pt) != nullptr || !IsColumnName(column_id) || !IsValue(value)) {
    return FPTA_EINVAL;
  }
  return FPTA_ENOIMP;
}
