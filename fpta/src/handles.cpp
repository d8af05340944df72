#include "handles.h"

#include "filters.h"

fpta_cursor::~fpta_cursor() = default;

namespace fpta::handles {

namespace {

// Handles of one kind that were released, for reuse.
template <typename Handle>
class Pool {
 public:
  Handle *Take(uint32_t live) {
    Handle *handle = nullptr;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!free_.empty()) {
        handle = free_.back();
        free_.pop_back();
      }
    }
    if (handle == nullptr) handle = new Handle;
    handle->magic.store(live, std::memory_order_release);
    return handle;
  }

  void Give(Handle *handle) {
    handle->magic.store(kDead, std::memory_order_release);
    const uint16_t next = static_cast<uint16_t>(handle->generation.load(std::memory_order_relaxed) + 1);
    handle->generation.store(next, std::memory_order_relaxed);
    // A handle with bits above the address, or whose generations have come
    // round, could pass for one of its earlier lives: it is never reused.
    if (next == 0 || (reinterpret_cast<uintptr_t>(handle) & ~kAddressMask) != 0) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(handle);
  }

 private:
  std::mutex mutex_;
  std::vector<Handle *> free_;
};

// Never destroyed: handles may be released while the process exits.
template <typename Handle>
Pool<Handle> &PoolOf() {
  static auto *pool = new Pool<Handle>;
  return *pool;
}

}  // namespace

fpta_db *NewDb() { return PoolOf<fpta_db>().Take(kLiveDb); }
fpta_txn *NewTxn() { return PoolOf<fpta_txn>().Take(kLiveTxn); }
fpta_cursor *NewCursor() { return PoolOf<fpta_cursor>().Take(kLiveCursor); }

void Release(fpta_db *db) {
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

void Release(fpta_txn *txn) {
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

void Release(fpta_cursor *cursor) {
  cursor->txn = nullptr;
  cursor->mdb = nullptr;
  cursor->table.reset();
  cursor->filter.reset();
  cursor->place = fpta_cursor::Place::kNowhere;
  cursor->row = fptu_ro{};
  PoolOf<fpta_cursor>().Give(cursor);
}

}  // namespace fpta::handles
