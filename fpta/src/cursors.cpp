// Cursors: a walk over the rows of a table in the order of one of its
// indexes, within a range of keys, past the rows a filter refuses.
//
// A cursor keeps an LMDB cursor on its index's store. "Up" and "down" below
// are the store's own (ascending key) order; a descending cursor walks down
// when it moves to its next row.
#include "cursors.h"

#include <algorithm>
#include <cstring>

#include "arguments.h"
#include "filters.h"
#include "recorder.h"
#include "resolve.h"
#include "row_check.h"
#include "row_store.h"

using fpta::CallRecord;
using namespace fpta::arguments;
using Place = fpta_cursor::Place;
namespace keys = fpta::keys;
namespace resolve = fpta::resolve;
namespace row_store = fpta::row_store;

fpta_cursor::~fpta_cursor() = default;

namespace {

using fpta::handles::PoolOf;

fpta_cursor* NewCursor() { return PoolOf<fpta_cursor>().Take(fpta::handles::kLiveCursor); }

void ReleaseCursor(fpta_cursor* cursor) {
  cursor->txn = nullptr;
  cursor->mdb = nullptr;
  cursor->table.reset();
  cursor->filter.reset();
  cursor->place = Place::kNowhere;
  cursor->row = fptu_ro{};
  PoolOf<fpta_cursor>().Give(cursor);
}

int CompareKeys(const MDB_val& a, const keys::Key& b) {
  const int order = std::memcmp(a.mv_data, b.data(), std::min(a.mv_size, b.size()));
  if (order != 0) return order;
  return a.mv_size < b.size() ? -1 : a.mv_size > b.size() ? 1 : 0;
}

bool PastTop(const fpta_cursor* cursor, const MDB_val& key) {
  return cursor->has_to && CompareKeys(key, cursor->to) >= 0;
}

bool PastBottom(const fpta_cursor* cursor, const MDB_val& key) {
  return cursor->has_from && CompareKeys(key, cursor->from) < 0;
}

// LMDB's moves to the first or last duplicate give no key; the key is then
// read where the cursor stands.
int Lmdb(fpta_cursor* cursor, MDB_val* key, MDB_val* data, MDB_cursor_op op) {
  const int status = mdb_cursor_get(cursor->mdb, key, data, op);
  if (status != MDB_SUCCESS || (op != MDB_FIRST_DUP && op != MDB_LAST_DUP)) return status;
  return mdb_cursor_get(cursor->mdb, key, data, MDB_GET_CURRENT);
}

// The cursor leaves its range at the end it was going to.
int LeaveRange(fpta_cursor* cursor, bool up) {
  cursor->place = up != cursor->descending ? Place::kAfterLast : Place::kBeforeFirst;
  cursor->row = fptu_ro{};
  return FPTA_NODATA;
}

// A cursor whose move or read failed stands nowhere; returns status.
int FailCursor(fpta_cursor* cursor, int status) {
  cursor->place = Place::kNowhere;
  cursor->row = fptu_ro{};
  return status;
}

bool Writes(const fpta_cursor* cursor) { return cursor->txn->level != fpta_read; }

// Keeps the entry the cursor now stands on, where other calls may remove it.
void RememberEntry(fpta_cursor* cursor, const MDB_val& key, const MDB_val& reference) {
  if (!Writes(cursor)) return;
  row_store::Assign(&cursor->entry_key, key);
  row_store::Assign(&cursor->entry_reference, reference);
}

// Whether the cursor's LMDB side stands on the entry it remembers.
bool OnEntry(fpta_cursor* cursor) {
  MDB_val key, data;
  if (mdb_cursor_get(cursor->mdb, &key, &data, MDB_GET_CURRENT) != MDB_SUCCESS) return false;
  const MDB_val reference = row_store::ReferenceAt(*cursor->table, cursor->column, key, data);
  return CompareKeys(key, cursor->entry_key) == 0 &&
         CompareKeys(reference, cursor->entry_reference) == 0;
}

// Whether the row the cursor stands on is still there in a transaction that
// writes: a call other than the cursor's own may have removed it, after
// which LMDB leaves the cursor on a neighbour, or nowhere. The cursor then
// stands in the gap.
void Recheck(fpta_cursor* cursor) {
  if (cursor->place != Place::kOnRow || !Writes(cursor) || OnEntry(cursor)) return;
  MDB_val key = row_store::ValOf(cursor->entry_key),
          data = row_store::ValOf(cursor->entry_reference);
  if (Lmdb(cursor, &key, &data, cursor->duplicates ? MDB_GET_BOTH : MDB_SET_KEY) == MDB_SUCCESS &&
      OnEntry(cursor)) {
    return;
  }
  cursor->place = Place::kGap;
  cursor->row = fptu_ro{};
}

// Whether the entry's row passes the filter; the row is kept when it does.
int Accept(fpta_cursor* cursor, const MDB_val& key, const MDB_val& data, bool* accepted) {
  fptu_ro row;
  const int status = row_store::RowAt(cursor->txn, *cursor->table, cursor->column, key, data, &row);
  if (status != MDB_SUCCESS) return status;
  *accepted = !cursor->filter || cursor->filter->Match(row);
  if (*accepted) {
    cursor->row = row;
    cursor->place = Place::kOnRow;
    RememberEntry(cursor, key, row_store::ReferenceAt(*cursor->table, cursor->column, key, data));
  }
  return MDB_SUCCESS;
}

// From where LMDB's last move left the cursor (status, key, data), goes on
// with step, up or down, to the first row in range that passes the filter.
int Settle(fpta_cursor* cursor, int status, MDB_val key, MDB_val data, bool up,
           MDB_cursor_op step) {
  for (;; status = Lmdb(cursor, &key, &data, step)) {
    if (status == MDB_NOTFOUND) return LeaveRange(cursor, up);
    if (status != MDB_SUCCESS) return FailCursor(cursor, status);
    if (up ? PastTop(cursor, key) : PastBottom(cursor, key)) return LeaveRange(cursor, up);
    bool accepted;
    status = Accept(cursor, key, data, &accepted);
    if (status != MDB_SUCCESS) return FailCursor(cursor, status);
    if (accepted) return FPTA_SUCCESS;
  }
}

int Bottom(fpta_cursor* cursor) {
  MDB_val key = row_store::ValOf(cursor->from), data;
  const int status = Lmdb(cursor, &key, &data, cursor->has_from ? MDB_SET_RANGE : MDB_FIRST);
  return Settle(cursor, status, key, data, true, MDB_NEXT);
}

int Top(fpta_cursor* cursor) {
  MDB_val key = row_store::ValOf(cursor->to), data;
  int status;
  if (cursor->has_to) {
    // Just below the first key that is not below to.
    status = Lmdb(cursor, &key, &data, MDB_SET_RANGE);
    status = Lmdb(cursor, &key, &data, status == MDB_SUCCESS ? MDB_PREV : MDB_LAST);
  } else {
    status = Lmdb(cursor, &key, &data, MDB_LAST);
  }
  return Settle(cursor, status, key, data, false, MDB_PREV);
}

int First(fpta_cursor* cursor) { return cursor->descending ? Top(cursor) : Bottom(cursor); }
int Last(fpta_cursor* cursor) { return cursor->descending ? Bottom(cursor) : Top(cursor); }

// Onto the row next to the entry (key, reference), which was just removed,
// going up or down the store.
int Beside(fpta_cursor* cursor, const keys::Key& key, const keys::Key& reference, bool up) {
  MDB_val at = row_store::ValOf(key), data = row_store::ValOf(reference);
  int status = cursor->duplicates ? Lmdb(cursor, &at, &data, MDB_GET_BOTH_RANGE) : MDB_NOTFOUND;
  if (status == MDB_NOTFOUND) {
    at = row_store::ValOf(key);
    status = Lmdb(cursor, &at, &data, MDB_SET_RANGE);
    // Every row left under the same key comes before the removed one.
    if (status == MDB_SUCCESS && cursor->duplicates && CompareKeys(at, key) == 0) {
      status = Lmdb(cursor, &at, &data, MDB_NEXT_NODUP);
    }
  }
  if (up) return Settle(cursor, status, at, data, true, MDB_NEXT);
  if (status == MDB_SUCCESS || status == MDB_NOTFOUND) {
    status = Lmdb(cursor, &at, &data, status == MDB_SUCCESS ? MDB_PREV : MDB_LAST);
  }
  return Settle(cursor, status, at, data, false, MDB_PREV);
}

// Onto the row after the removed entry (key, reference) in the cursor's order.
int After(fpta_cursor* cursor, const keys::Key& key, const keys::Key& reference) {
  return Beside(cursor, key, reference, !cursor->descending);
}

// From the gap a removed row left, one row on in the cursor's order
// (forward) or against it.
int LeaveGap(fpta_cursor* cursor, bool forward) {
  const keys::Key key = cursor->entry_key, reference = cursor->entry_reference;
  return Beside(cursor, key, reference, forward != cursor->descending);
}

// One row on, in the cursor's order (forward) or against it.
int MoveOne(fpta_cursor* cursor, bool forward) {
  const Place stuck = forward ? Place::kAfterLast : Place::kBeforeFirst;
  if (cursor->place == stuck) return FPTA_NODATA;
  if (cursor->place == Place::kGap) return LeaveGap(cursor, forward);
  if (cursor->place != Place::kOnRow) return forward ? First(cursor) : Last(cursor);
  const bool up = forward != cursor->descending;
  MDB_val key, data;
  const int status = Lmdb(cursor, &key, &data, up ? MDB_NEXT : MDB_PREV);
  return Settle(cursor, status, key, data, up, up ? MDB_NEXT : MDB_PREV);
}

// The entry the cursor stands on: its key and its row's reference, copied.
int Current(fpta_cursor* cursor, keys::Key* key, keys::Key* reference) {
  MDB_val at, data;
  const int status = mdb_cursor_get(cursor->mdb, &at, &data, MDB_GET_CURRENT);
  if (status != MDB_SUCCESS) return status;
  row_store::Assign(key, at);
  row_store::Assign(reference, row_store::ReferenceAt(*cursor->table, cursor->column, at, data));
  return MDB_SUCCESS;
}

// Back onto the entry (key, reference), which is there.
int Return(fpta_cursor* cursor, const keys::Key& key, const keys::Key& reference) {
  MDB_val at = row_store::ValOf(key), data = row_store::ValOf(reference);
  int status = Lmdb(cursor, &at, &data, cursor->duplicates ? MDB_GET_BOTH : MDB_SET_KEY);
  if (status == MDB_SUCCESS)
    status = row_store::RowAt(cursor->txn, *cursor->table, cursor->column, at, data, &cursor->row);
  if (status != MDB_SUCCESS) return FailCursor(cursor, status);
  cursor->place = Place::kOnRow;
  RememberEntry(cursor, row_store::ValOf(key), row_store::ValOf(reference));
  return FPTA_SUCCESS;
}

// Among the rows of the current key: its first or last in the cursor's
// order, or the next or previous one. A move past the key's rows leaves the
// cursor on the row it stood on.
int DupMove(fpta_cursor* cursor, fpta_seek_operations op) {
  if (cursor->place != Place::kOnRow) return FPTA_NODATA;
  const bool to_end = op == fpta_dup_first || op == fpta_dup_last;
  // A unique index has one row per key: the cursor stands on it already.
  if (!cursor->duplicates) return to_end ? FPTA_SUCCESS : FPTA_NODATA;
  keys::Key key, reference;
  int status = Current(cursor, &key, &reference);
  if (status != MDB_SUCCESS) return FailCursor(cursor, status);
  const bool forward = op == fpta_dup_first || op == fpta_dup_next;
  const bool up = forward != cursor->descending;
  const MDB_cursor_op step = up ? MDB_NEXT_DUP : MDB_PREV_DUP;
  MDB_val at, data;
  status = Lmdb(cursor, &at, &data, to_end ? (up ? MDB_FIRST_DUP : MDB_LAST_DUP) : step);
  status = Settle(cursor, status, at, data, up, step);
  if (status != FPTA_NODATA) return status;
  status = Return(cursor, key, reference);
  return status == FPTA_SUCCESS ? FPTA_NODATA : status;
}

// To the next or previous distinct key that has a row passing the filter,
// onto its first row in the cursor's order.
int KeyMove(fpta_cursor* cursor, bool forward) {
  if (cursor->place == Place::kGap) {
    // The next row may be another of the removed row's key.
    const keys::Key removed = cursor->entry_key;
    const int status = LeaveGap(cursor, forward);
    if (status != FPTA_SUCCESS || !cursor->duplicates ||
        CompareKeys(row_store::ValOf(cursor->entry_key), removed) != 0) {
      return status;
    }
  }
  if (cursor->place != Place::kOnRow) return MoveOne(cursor, forward);
  const bool up = forward != cursor->descending;
  const bool ascending = !cursor->descending;
  MDB_val key, data;
  for (;;) {
    int status = Lmdb(cursor, &key, &data, up ? MDB_NEXT_NODUP : MDB_PREV_NODUP);
    if (status == MDB_NOTFOUND ||
        (status == MDB_SUCCESS && (up ? PastTop(cursor, key) : PastBottom(cursor, key)))) {
      return LeaveRange(cursor, up);
    }
    if (status == MDB_SUCCESS && cursor->duplicates)
      status = Lmdb(cursor, &key, &data, ascending ? MDB_FIRST_DUP : MDB_LAST_DUP);
    while (status == MDB_SUCCESS) {
      bool accepted;
      status = Accept(cursor, key, data, &accepted);
      if (status == MDB_SUCCESS && accepted) return FPTA_SUCCESS;
      if (status == MDB_SUCCESS)
        status = cursor->duplicates
                     ? Lmdb(cursor, &key, &data, ascending ? MDB_NEXT_DUP : MDB_PREV_DUP)
                     : MDB_NOTFOUND;
    }
    if (status != MDB_NOTFOUND) return FailCursor(cursor, status);
  }
}

int Move(fpta_cursor* cursor, fpta_seek_operations op) {
  switch (op) {
    case fpta_first:
      return First(cursor);
    case fpta_last:
      return Last(cursor);
    case fpta_next:
      return MoveOne(cursor, true);
    case fpta_prev:
      return MoveOne(cursor, false);
    case fpta_key_next:
      return KeyMove(cursor, true);
    case fpta_key_prev:
      return KeyMove(cursor, false);
    default:
      return DupMove(cursor, op);
  }
}

// The entries in the cursor's range, up to limit, without reading their
// rows (a cursor without a filter): a key's duplicates are counted at once.
// A cursor of its own walks the store, so the caller's stays where it is.
int CountEntries(const fpta_cursor* cursor, size_t* count, size_t limit) {
  MDB_cursor* walker;
  int status = mdb_cursor_open(mdb_cursor_txn(cursor->mdb), mdb_cursor_dbi(cursor->mdb), &walker);
  if (status != MDB_SUCCESS) return status;
  MDB_val key = row_store::ValOf(cursor->from), data;
  size_t counted = 0;
  for (status = limit != 0 ? mdb_cursor_get(walker, &key, &data,
                                            cursor->has_from ? MDB_SET_RANGE : MDB_FIRST)
                           : MDB_NOTFOUND;
       status == MDB_SUCCESS && !PastTop(cursor, key);
       status =
           mdb_cursor_get(walker, &key, &data, cursor->duplicates ? MDB_NEXT_NODUP : MDB_NEXT)) {
    size_t entries = 1;
    if (cursor->duplicates) status = mdb_cursor_count(walker, &entries);
    if (status != MDB_SUCCESS) break;
    counted += std::min(entries, limit - counted);
    if (counted == limit) break;
  }
  mdb_cursor_close(walker);
  if (status != MDB_SUCCESS && status != MDB_NOTFOUND) return status;
  *count = counted;
  return FPTA_SUCCESS;
}

// A live cursor whose transaction is still open; cursor is the handle the
// caller gave, replaced by the cursor it stands for, which then stands where
// its row is (Recheck).
int CheckCursor(fpta_cursor*& cursor) {
  if (!fpta::handles::Admit(&cursor, fpta::handles::kLiveCursor) || cursor->txn == nullptr)
    return FPTA_EINVAL;
  const int status = resolve::CheckAdmitted(cursor->txn);
  if (status == FPTA_SUCCESS) Recheck(cursor);
  return status;
}

// The row of a checked cursor that stands on one.
int RowHere(fpta_cursor* cursor, fptu_ro* row) {
  if (Writes(cursor)) {
    // A write since the cursor got there may have moved the row's bytes.
    MDB_val key, data;
    int moved = mdb_cursor_get(cursor->mdb, &key, &data, MDB_GET_CURRENT);
    if (moved == MDB_SUCCESS)
      moved =
          row_store::RowAt(cursor->txn, *cursor->table, cursor->column, key, data, &cursor->row);
    if (moved != MDB_SUCCESS) return FailCursor(cursor, moved);
  }
  *row = cursor->row;
  return FPTA_SUCCESS;
}

// What a change through the cursor starts from: a cursor of a transaction
// that may write, standing on a row, and that row's entry (copied) and bytes.
int Standing(fpta_cursor*& cursor, keys::Key* key, keys::Key* reference, fptu_ro* row) {
  int status = CheckCursor(cursor);
  if (status == FPTA_SUCCESS && !Writes(cursor)) status = EPERM;
  if (status == FPTA_SUCCESS && cursor->place != Place::kOnRow) status = FPTA_NODATA;
  if (status == FPTA_SUCCESS) status = Current(cursor, key, reference);
  return status == FPTA_SUCCESS ? RowHere(cursor, row) : status;
}

void Close(fpta_cursor* cursor) {
  if (fpta_txn* txn = cursor->txn) {
    auto& open = txn->cursors;
    open.erase(std::find(open.begin(), open.end(), cursor));
    mdb_cursor_close(cursor->mdb);
  }
  ReleaseCursor(cursor);
}

// A range bound: an open end, or a key of the index.
int Bound(const fpta::schema::Table& table, unsigned column, const fpta_value& value, bool* has,
          keys::Key* key) {
  *has = value.type != fpta_begin && value.type != fpta_end;
  if (!*has) return FPTA_SUCCESS;
  if (!table.columns[column].ordered()) return FPTA_EINVAL;  // an unordered index has no ranges
  return fpta::rows::KeyOfValue(table, column, value, key);
}

int Open(fpta_txn* txn, fpta_name* column_id, const fpta_value& from, const fpta_value& to,
         const fpta_filter* filter, fpta_cursor_options op, fpta_cursor** made) {
  const fpta::schema::Table* found;
  unsigned column;
  int status = resolve::ColumnNamed(txn, column_id, &found, &column);
  if (status != FPTA_SUCCESS) return status;
  if (!found->columns[column].indexed()) return FPTA_EINVAL;
  fpta_cursor* cursor = NewCursor();
  cursor->table = txn->schema->tables.at(found->hash);
  cursor->column = column;
  cursor->descending = (op & ~fpta_dont_fetch) == fpta_descending;
  cursor->duplicates = !found->columns[column].unique();
  status = Bound(*found, column, from, &cursor->has_from, &cursor->from);
  if (status == FPTA_SUCCESS) status = Bound(*found, column, to, &cursor->has_to, &cursor->to);
  if (status == FPTA_SUCCESS && filter != nullptr) {
    status = fpta::filters::Program::Compile(txn, *found, filter, &cursor->filter);
  }
  if (status == FPTA_SUCCESS)
    status = mdb_cursor_open(txn->mdb, found->columns[column].store.dbi, &cursor->mdb);
  if (status != FPTA_SUCCESS) {
    ReleaseCursor(cursor);
    return status;
  }
  cursor->txn = txn;
  txn->cursors.push_back(cursor);
  if ((op & fpta_dont_fetch) == 0) {
    status = First(cursor);
    // An empty range leaves the cursor at its end, which is no failure.
    if (status != FPTA_SUCCESS && status != FPTA_NODATA) {
      Close(cursor);
      return status;
    }
  }
  *made = fpta::handles::Exposed(cursor);
  return FPTA_SUCCESS;
}

}  // namespace

int fpta_cursor_open(fpta_txn* txn, fpta_name* column_id, fpta_value range_from,
                     fpta_value range_to, const fpta_filter* filter, fpta_cursor_options op,
                     fpta_cursor** cursor) {
  const CallRecord record(__func__, txn, column_id, range_from, range_to, filter, op, cursor);
  if (cursor == nullptr) return FPTA_EINVAL;
  *cursor = nullptr;
  const int status = resolve::CheckTxn(txn);
  if (status != FPTA_SUCCESS) return status;
  if (!IsRangeFrom(range_from) || !IsRangeTo(range_to) || !IsCursorOptions(op)) return FPTA_EINVAL;
  return Open(txn, column_id, range_from, range_to, filter, op, cursor);
}

int fpta_cursor_close(fpta_cursor* cursor) {
  const CallRecord record(__func__, cursor);
  if (!fpta::handles::Admit(&cursor, fpta::handles::kLiveCursor)) return FPTA_EINVAL;
  Close(cursor);
  return FPTA_SUCCESS;
}

int fpta_cursor_move(fpta_cursor* cursor, fpta_seek_operations op) {
  const CallRecord record(__func__, cursor, op);
  const int status = CheckCursor(cursor);
  if (status != FPTA_SUCCESS) return status;
  return IsSeekOperation(op) ? Move(cursor, op) : FPTA_EINVAL;
}

int fpta_cursor_eof(fpta_cursor* cursor) {
  const CallRecord record(__func__, cursor);
  const int status = CheckCursor(cursor);
  if (status != FPTA_SUCCESS) return status;
  return cursor->place == Place::kOnRow ? 0 : 1;
}

int fpta_cursor_get(fpta_cursor* cursor, fptu_ro* row) {
  const CallRecord record(__func__, cursor, row);
  if (row == nullptr) return FPTA_EINVAL;
  *row = fptu_ro{};
  const int status = CheckCursor(cursor);
  if (status != FPTA_SUCCESS) return status;
  return cursor->place == Place::kOnRow ? RowHere(cursor, row) : FPTA_NODATA;
}

int fpta_cursor_update(fpta_cursor* cursor, fptu_ro new_row_value) {
  const CallRecord record(__func__, cursor, new_row_value);
  keys::Key key, reference;
  fptu_ro old_row;
  int status = Standing(cursor, &key, &reference, &old_row);
  if (status != FPTA_SUCCESS) return status;
  status = row_store::Replace(cursor->txn, *cursor->table, cursor->column, &reference, old_row,
                              new_row_value);
  if (status != FPTA_SUCCESS) return status;
  return Return(cursor, key, reference);
}

int fpta_cursor_delete(fpta_cursor* cursor) {
  const CallRecord record(__func__, cursor);
  keys::Key key, reference;
  fptu_ro row;
  int status = Standing(cursor, &key, &reference, &row);
  if (status == FPTA_SUCCESS)
    status = row_store::Remove(cursor->txn, *cursor->table, row_store::ValOf(reference), row);
  if (status != FPTA_SUCCESS) return status;
  // No row after the deleted one leaves the cursor at its end: still done.
  status = After(cursor, key, reference);
  return status == FPTA_NODATA ? FPTA_SUCCESS : status;
}

int fpta_cursor_count(fpta_cursor* cursor, size_t* count, size_t limit) {
  const CallRecord record(__func__, cursor, count, limit);
  if (count == nullptr) return FPTA_EINVAL;
  *count = 0;
  int status = CheckCursor(cursor);
  if (status != FPTA_SUCCESS) return status;
  if (!cursor->filter) return CountEntries(cursor, count, limit);
  // Counting walks the cursor itself, which then goes back where it stood.
  const Place place = cursor->place;
  const keys::Key gap_key = cursor->entry_key, gap_reference = cursor->entry_reference;
  keys::Key key, reference;
  if (place == Place::kOnRow) status = Current(cursor, &key, &reference);
  if (status != MDB_SUCCESS) return status;
  size_t counted = 0;
  for (status = limit != 0 ? First(cursor) : FPTA_NODATA;
       status == FPTA_SUCCESS && ++counted < limit;) {
    status = MoveOne(cursor, true);
  }
  if (status != FPTA_SUCCESS && status != FPTA_NODATA) return status;
  if (place == Place::kOnRow) {
    status = Return(cursor, key, reference);
  } else {
    cursor->place = place;
    cursor->row = fptu_ro{};
    cursor->entry_key = gap_key;
    cursor->entry_reference = gap_reference;
    status = FPTA_SUCCESS;
  }
  *count = counted;
  return status;
}
