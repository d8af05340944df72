// What a cursor handle holds, and what the rest of the library does with
// cursors: a transaction keeps its open cursors by address and orphans them
// when it ends. Cursors are made, pooled and released in cursors.cpp, which
// alone sees the compiled filter program a cursor owns.
#ifndef FPTA_SRC_CURSORS_H
#define FPTA_SRC_CURSORS_H

#include <lmdb.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "handles.h"
#include "keys.h"
#include "schema.h"

namespace fpta::filters {
class Program;
}

struct fpta_cursor {
  std::atomic<uint32_t> magic{fpta::handles::kDead};
  std::atomic<uint16_t> generation{0};
  fpta_txn* txn = nullptr;  // null once the transaction has ended
  MDB_cursor* mdb = nullptr;
  std::shared_ptr<const fpta::schema::Table> table;
  unsigned column = 0;  // the index column it walks
  bool descending = false;
  bool duplicates = false;  // its store keeps several rows per key
  // Where it stands: nowhere yet, on a row, past one end of its range in its
  // own order, or where the row it stood on was until another call removed
  // it (or moved it to another key).
  enum class Place { kNowhere, kOnRow, kBeforeFirst, kAfterLast, kGap } place = Place::kNowhere;
  bool has_from = false, has_to = false;
  fpta::keys::Key from, to;
  std::unique_ptr<fpta::filters::Program> filter;
  fptu_ro row{};  // the row it stands on, while on a row
  // In a transaction that writes: the entry (key and row reference) it
  // stands on, or stood on before the gap, copied.
  fpta::keys::Key entry_key, entry_reference;
  ~fpta_cursor();
};

namespace fpta::cursors {

// The cursors a transaction leaves open when it ends lose their LMDB side and
// their transaction; fpta_cursor_close still frees them. Inline: every
// transaction's end calls it, mostly with no cursor open.
inline void Orphan(fpta_txn* txn) {
  for (fpta_cursor* cursor : txn->cursors) {
    mdb_cursor_close(cursor->mdb);
    cursor->mdb = nullptr;
    cursor->txn = nullptr;
    cursor->place = fpta_cursor::Place::kNowhere;
  }
  txn->cursors.clear();
}

}  // namespace fpta::cursors

#endif  // FPTA_SRC_CURSORS_H
