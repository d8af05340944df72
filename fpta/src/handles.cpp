#include "handles.h"

namespace fpta::handles {

fpta_db* NewDb() { return PoolOf<fpta_db>().Take(kLiveDb); }
fpta_txn* NewTxn() { return PoolOf<fpta_txn>().Take(kLiveTxn); }

void Release(fpta_db* db) {
  db->env = nullptr;
  db->map_begin = db->map_end = 0;
  db->used_end = 0;
  db->latest.reset();
  db->handles.clear();
  db->retired.clear();
  db->has_retired = false;
  db->writer = std::thread::id();
  db->idle_readers.clear();
  db->transactions = 0;
  PoolOf<fpta_db>().Give(db);
}

void Release(fpta_txn* txn) {
  txn->db = nullptr;
  txn->mdb = nullptr;
  txn->schema.reset();
  txn->draft.reset();
  txn->schema_changed = false;
  txn->failure = FPTA_SUCCESS;
  txn->cursors.clear();
  txn->made_stores.clear();
  PoolOf<fpta_txn>().Give(txn);
}

}  // namespace fpta::handles
