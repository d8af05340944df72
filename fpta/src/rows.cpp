// Rows of tables, and columns of rows.
#include <cstring>

#include "arguments.h"
#include "keys.h"
#include "recorder.h"
#include "resolve.h"
#include "row_store.h"
#include "tuple_check.h"
#include "tuple_format.h"
#include "tuple_payload.h"
#include "tuple_writer.h"

using fpta::CallRecord;
using namespace fpta::arguments;
namespace resolve = fpta::resolve;
namespace tuple = fpta::tuple;

namespace {

int PutRow(fpta_txn* txn, fpta_name* table_id, const fptu_ro& row, fpta_put_options op,
           bool apply) {
  int status = resolve::CheckWrite(txn);
  if (status != FPTA_SUCCESS) return status;
  if (!IsPutOption(op)) return FPTA_EINVAL;
  const fpta::schema::Table* table;
  status = resolve::TableNamed(txn, table_id, &table);
  return status == FPTA_SUCCESS ? fpta::row_store::Put(txn, *table, row, op, apply) : status;
}

// The first live field of the resolved column in a sound row, or null.
int ResolvedField(const fptu_ro& row, const fpta_name* column_id, const fptu_field** found) {
  *found = nullptr;
  if (!resolve::IsResolvedColumn(column_id) || tuple::CheckHeader(row) != nullptr)
    return FPTA_EINVAL;
  const fptu_type type = static_cast<fptu_type>(column_id->shove & fpta_column_typeid_mask);
  if (type == fptu_null) return FPTA_EINVAL;  // a composite index has no field
  const unsigned header = tuple::FindField(row, column_id->number, type);
  if (header == 0) return FPTA_NODATA;
  if (tuple::CheckField(row, header) != nullptr) return FPTA_EINVAL;
  *found = &row.units[header].field;
  return FPTA_SUCCESS;
}

int ReadColumn(const fptu_ro& row, const fpta_name* column_id, fpta_value* value) {
  if (value == nullptr) return FPTA_EINVAL;
  *value = fpta_value_null();
  const fptu_field* field;
  const int status = ResolvedField(row, column_id, &field);
  if (status == FPTA_SUCCESS) *value = tuple::DecodeField(*field);
  return status;
}

// The field to write for a normalized value of a column of type.
tuple::Payload PayloadOf(fptu_type type, const fpta_value& value) {
  switch (type) {
    case fptu_uint16:
      return tuple::Uint16Payload(value.uint);
    case fptu_uint32:
      return tuple::Uint32Payload(value.uint);
    case fptu_int32:
      return tuple::Int32Payload(value.sint);
    case fptu_fp32: {
      const float single = static_cast<float>(value.fp);
      return tuple::FixedPayload(type, &single);
    }
    case fptu_int64:
    case fptu_uint64:
    case fptu_fp64:
    case fptu_datetime:
      return tuple::FixedPayload(type, &value.uint);
    case fptu_cstr:
      return tuple::TextPayload(value.str, value.binary_length);
    case fptu_opaque:
      return tuple::OpaquePayload(value.binary_data, value.binary_length);
    case fptu_nested:
      return tuple::NestedPayload(
          fptu_ro{{static_cast<const fptu_unit*>(value.binary_data), value.binary_length}});
    default:
      return tuple::FixedPayload(type, value.binary_data);
  }
}

}  // namespace

int fpta_put(fpta_txn* txn, fpta_name* table_id, fptu_ro row, fpta_put_options op) {
  const CallRecord record(__func__, txn, table_id, row, op);
  return PutRow(txn, table_id, row, op, true);
}

int fpta_validate_put(fpta_txn* txn, fpta_name* table_id, fptu_ro row_value, fpta_put_options op) {
  const CallRecord record(__func__, txn, table_id, row_value, op);
  return PutRow(txn, table_id, row_value, op, false);
}

int fpta_delete(fpta_txn* txn, fpta_name* table_id, fptu_ro row_value) {
  const CallRecord record(__func__, txn, table_id, row_value);
  int status = resolve::CheckWrite(txn);
  const fpta::schema::Table* table = nullptr;
  if (status == FPTA_SUCCESS) status = resolve::TableNamed(txn, table_id, &table);
  return status == FPTA_SUCCESS ? fpta::row_store::Delete(txn, *table, row_value) : status;
}

int fpta_get(fpta_txn* txn, fpta_name* column_id, const fpta_value* column_value, fptu_ro* row) {
  const CallRecord record(__func__, txn, column_id, column_value, row);
  if (row == nullptr) return FPTA_EINVAL;
  *row = fptu_ro{};
  int status = resolve::CheckTxn(txn);
  if (status != FPTA_SUCCESS) return status;
  if (column_value == nullptr || !IsValue(*column_value)) return FPTA_EINVAL;
  const fpta::schema::Table* table;
  unsigned number;
  status = resolve::ColumnNamed(txn, column_id, &table, &number);
  return status == FPTA_SUCCESS ? fpta::row_store::Get(txn, *table, number, *column_value, row)
                                : status;
}

int fpta_get_column(fptu_ro row_value, const fpta_name* column_id, fpta_value* value) {
  const CallRecord record(__func__, row_value, column_id, value);
  return ReadColumn(row_value, column_id, value);
}

int fpta_get_column2buffer(fptu_ro row, const fpta_name* column_id, fpta_value* value, void* buffer,
                           size_t buffer_length) {
  const CallRecord record(__func__, row, column_id, value, buffer, buffer_length);
  if (buffer == nullptr && buffer_length != 0) {
    if (value != nullptr) *value = fpta_value_null();
    return FPTA_EINVAL;
  }
  const int status = ReadColumn(row, column_id, value);
  if (status != FPTA_SUCCESS || (value->type != fpta_string && value->type != fpta_binary))
    return status;
  // A string is copied with its terminating NUL, a binary value as it is.
  const size_t needed = value->binary_length + (value->type == fpta_string ? 1 : 0);
  if (needed > buffer_length) {
    *value = fpta_value_null();
    return ENOBUFS;
  }
  std::memcpy(buffer, value->binary_data, needed);
  value->binary_data = buffer;
  return FPTA_SUCCESS;
}

int fpta_upsert_column(fptu_rw* pt, const fpta_name* column_id, fpta_value value) {
  const CallRecord record(__func__, pt, column_id, value);
  if (pt == nullptr || tuple::CheckBounds(*pt) != nullptr ||
      !resolve::IsResolvedColumn(column_id) || !IsValue(value)) {
    return FPTA_EINVAL;
  }
  const fptu_type type = static_cast<fptu_type>(column_id->shove & fpta_column_typeid_mask);
  if (type == fptu_null) return FPTA_EINVAL;  // a composite index has no field
  fpta_value normalized;
  const int status = fpta::keys::Normalize(type, value, &normalized);
  if (status != FPTA_SUCCESS) return status;
  if (normalized.type == fpta_null) return tuple::RemoveColumn(pt, column_id->number);
  return tuple::Upsert(pt, column_id->number, PayloadOf(type, normalized));
}
