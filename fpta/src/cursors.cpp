// Cursors over the rows of a table, in the order of one of its indexes.
// They need a transaction, which storage has to provide first: the entry
// points check their arguments and return FPTA_ENOIMP, so no cursor is made.
#include "arguments.h"
#include "names.h"
#include "recorder.h"

using fpta::CallRecord;
using namespace fpta::arguments;

namespace {

int CheckCursor(const fpta_cursor *cursor) { return cursor == nullptr ? FPTA_EINVAL : FPTA_ENOIMP; }

}  // namespace

int fpta_cursor_open(fpta_txn *txn, fpta_name *column_id, fpta_value range_from, fpta_value range_to,
                     const fpta_filter *filter, fpta_cursor_options op, fpta_cursor **cursor) {
  const CallRecord record(__func__, txn, column_id, range_from, range_to, filter, op, cursor);
  if (cursor == nullptr) return FPTA_EINVAL;
  *cursor = nullptr;
  if (txn == nullptr || !fpta::names::IsColumnName(column_id) || !IsRangeFrom(range_from) ||
      !IsRangeTo(range_to) || (filter != nullptr && !IsFilter(*filter)) || !IsCursorOptions(op)) {
    return FPTA_EINVAL;
  }
  return FPTA_ENOIMP;
}

int fpta_cursor_close(fpta_cursor *cursor) {
  const CallRecord record(__func__, cursor);
  return CheckCursor(cursor);
}

int fpta_cursor_move(fpta_cursor *cursor, fpta_seek_operations op) {
  const CallRecord record(__func__, cursor, op);
  return IsSeekOperation(op) ? CheckCursor(cursor) : FPTA_EINVAL;
}

int fpta_cursor_eof(fpta_cursor *cursor) {
  const CallRecord record(__func__, cursor);
  return CheckCursor(cursor);
}

int fpta_cursor_get(fpta_cursor *cursor, fptu_ro *row) {
  const CallRecord record(__func__, cursor, row);
  if (row == nullptr) return FPTA_EINVAL;
  *row = fptu_ro{};
  return CheckCursor(cursor);
}

int fpta_cursor_update(fpta_cursor *cursor, fptu_ro new_row_value) {
  const CallRecord record(__func__, cursor, new_row_value);
  return IsRow(new_row_value) ? CheckCursor(cursor) : FPTA_EINVAL;
}

int fpta_cursor_delete(fpta_cursor *cursor) {
  const CallRecord record(__func__, cursor);
  return CheckCursor(cursor);
}

int fpta_cursor_count(fpta_cursor *cursor, size_t *count, size_t limit) {
  const CallRecord record(__func__, cursor, count, limit);
  if (count == nullptr) return FPTA_EINVAL;
  *count = 0;
  return CheckCursor(cursor);
}
