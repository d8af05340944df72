// Rows as LMDB keeps them. Each index column has a store of its own:
// - a unique primary index maps the key to the row;
// - a primary index with duplicates maps the key to the serial numbers of its
//   rows (8 bytes, big-endian, in insertion order), and the table's rows store
//   maps each serial number to the row;
// - a secondary index maps its key to the row's reference: the primary key,
//   or the serial number where rows are kept apart. With duplicates, a key
//   holds several references, in bytewise order.
// Every change checks all it can before it writes; a storage failure while
// it writes marks the transaction failed.
#ifndef FPTA_SRC_ROW_STORE_H
#define FPTA_SRC_ROW_STORE_H

#include <lmdb.h>

#include <cstring>

#include "handles.h"
#include "keys.h"

namespace fpta::row_store {

// fpta_put, and fpta_validate_put when apply is false.
int Put(fpta_txn* txn, const schema::Table& table, const fptu_ro& row, fpta_put_options op,
        bool apply);
// Deletes the row whose columns all equal those of row.
int Delete(fpta_txn* txn, const schema::Table& table, const fptu_ro& row);
// The row whose value in the unique index column number is value.
int Get(fpta_txn* txn, const schema::Table& table, unsigned number, const fpta_value& value,
        fptu_ro* row);

// For cursors, which stand on an entry (key, data) of the store of index
// column number: the row of that entry, and the row's reference.
int RowAt(fpta_txn* txn, const schema::Table& table, unsigned number, const MDB_val& key,
          const MDB_val& data, fptu_ro* row);
MDB_val ReferenceAt(const schema::Table& table, unsigned number, const MDB_val& key,
                    const MDB_val& data);
// Replaces the row with that reference (whose current form is old_row);
// the new row keeps the key of index column number, or FPTA_EKEYMISMATCH.
// On success *reference is the new row's (a new primary key, where rows are
// kept by it).
int Replace(fpta_txn* txn, const schema::Table& table, unsigned number, keys::Key* reference,
            const fptu_ro& old_row, const fptu_ro& new_row);
// Removes the row with that reference, whose current form is row.
int Remove(fpta_txn* txn, const schema::Table& table, const MDB_val& reference, const fptu_ro& row);

inline MDB_val ValOf(const keys::Key& key) {
  return MDB_val{key.size(), const_cast<uint8_t*>(key.data())};
}

// A row as the store holds it, checked: LMDB keeps no checksums, and a
// damaged row would send whoever reads its fields beyond its bytes. Every
// row gets the checks that cost next to nothing (its bytes within the file,
// its field headers within its bytes); in a transaction that writes, where
// the engine itself decodes stored rows whole to change their index
// entries, every field as well. Returns MDB_SUCCESS or MDB_CORRUPTED.
int StoredRow(fpta_txn* txn, const MDB_val& data, fptu_ro* row);

// The bytes of a stored row as a tuple, unchecked.
inline fptu_ro RowOfVal(const MDB_val& data) {
  return fptu_ro{{static_cast<const fptu_unit*>(data.mv_data), data.mv_size}};
}

inline bool SameBytes(const keys::Key& key, const MDB_val& val) {
  return key.size() == val.mv_size &&
         (val.mv_size == 0 || std::memcmp(key.data(), val.mv_data, val.mv_size) == 0);
}
inline bool SameBytes(const keys::Key& a, const keys::Key& b) { return SameBytes(a, ValOf(b)); }

// The store that holds a table's rows: its rows store where they are kept
// apart, its primary index's otherwise.
inline MDB_dbi RowsDbi(const schema::Table& table) {
  return table.rows_apart() ? table.rows.dbi : table.primary_column().store.dbi;
}

// A copy of bytes LMDB gave, which a later write may move.
inline void Assign(keys::Key* key, const MDB_val& val) {
  key->Clear();
  key->Append(val.mv_data, val.mv_size);
  key->Finish();
}

}  // namespace fpta::row_store

#endif  // FPTA_SRC_ROW_STORE_H
