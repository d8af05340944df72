// What the handles fpta_db and fpta_txn hold, and how entry points check
// every handle (fpta_cursor's own fields are in cursors.h).
//
// Handles are never given back to the allocator: a closed one is marked dead
// and kept for reuse by the next handle of its kind. A caller holds the
// object's address with the object's generation in the top 16 bits, and the
// generation goes up each time the object is released; an object whose
// generations are used up is never reused. So a handle that was closed, or a
// transaction that has ended, is refused with a status when it comes back,
// for the life of the process, and never acts on the object's next life.
#ifndef FPTA_SRC_HANDLES_H
#define FPTA_SRC_HANDLES_H

#include <lmdb.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "fpta.h"
#include "schema.h"

namespace fpta::handles {

constexpr uint32_t kDead = 0;
constexpr uint32_t kLiveDb = 0x64627462;      // "btbd"
constexpr uint32_t kLiveTxn = 0x6e787462;     // "btxn"
constexpr uint32_t kLiveCursor = 0x72637462;  // "btcr"
static_assert(sizeof(uintptr_t) == 8, "handles carry their generation above a 48-bit address");
// User-space addresses fit in 48 bits on the 64-bit targets LMDB runs on.
constexpr unsigned kGenerationShift = 48;
constexpr uintptr_t kAddressMask = (uintptr_t{1} << kGenerationShift) - 1;

}  // namespace fpta::handles

struct fpta_db {
  std::atomic<uint32_t> magic{fpta::handles::kDead};
  std::atomic<uint16_t> generation{0};
  MDB_env* env = nullptr;
  MDB_dbi schema_dbi =
      0;  // schema_store::kSchemaDb: table records, the schema version, the store serial
  MDB_dbi sequences_dbi = 0;  // schema_store::kSequencesDb: each table's sequence
  bool readonly = false;
  bool alterable = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::atomic<int> transactions{0};  // open transactions
  // LMDB's memory map, and the end of the pages in use when last asked:
  // bytes LMDB gives from the map beyond that end are damaged.
  uintptr_t map_begin = 0, map_end = 0;
  size_t page_size = 0;
  std::atomic<uintptr_t> used_end{0};
  // The thread holding this process's write or schema transaction, if any:
  // LMDB's writer lock belongs to a thread, which would wait for itself.
  std::atomic<std::thread::id> writer{};

  // Held by whoever opens or closes LMDB database handles, and by a schema
  // transaction from its first new store until it ends: LMDB wants one
  // opener at a time, and the handles a transaction opens are its own until
  // it commits. A schema transaction takes it only while it holds LMDB's
  // writer lock, when no other process can have made stores this process
  // lacks: so readers never wait for it.
  std::mutex opener;
  // Guards latest, handles and idle_readers.
  std::mutex mutex;
  // Ended read transactions, reset for reuse: LMDB makes a new one at a cost
  // that grows with fpta_max_dbi, renewing one costs next to nothing.
  // bench/fpta/run reads (100,000 read transactions): 3.12 s -> 0.061 s wall.
  std::vector<MDB_txn*> idle_readers;
  std::shared_ptr<const fpta::schema::Schema> latest;  // the newest schema this process has read
  std::unordered_map<uint32_t, MDB_dbi> handles;       // store serial -> this process's handle
  // Handles of stores the newest schema no longer has, closed when no
  // transaction is open.
  std::vector<MDB_dbi> retired;
  std::atomic<bool> has_retired{false};
};

struct fpta_cursor;

namespace fpta::row_store {
// The row operations' scratch space: defined, made and freed by row_store.
struct Scratch;
struct ScratchDeleter {
  void operator()(Scratch* scratch) const;
};
}  // namespace fpta::row_store

struct fpta_txn {
  std::atomic<uint32_t> magic{fpta::handles::kDead};
  std::atomic<uint16_t> generation{0};
  fpta_db* db = nullptr;
  MDB_txn* mdb = nullptr;
  fpta_level level = fpta_read;
  std::shared_ptr<const fpta::schema::Schema> schema;
  // A schema transaction that changed the schema works on its own copy,
  // which schema then points to as well.
  std::shared_ptr<fpta::schema::Schema> draft;
  bool schema_changed = false;  // the draft's version is one above the snapshot's
  std::unique_lock<std::mutex> opener_lock;
  std::thread::id thread;  // the thread that began it
  // Handles of the stores it made (store serial, handle): LMDB keeps them
  // when it commits, also those of tables it dropped again.
  std::vector<std::pair<uint32_t, MDB_dbi>> made_stores;
  // The status of a storage failure that left the transaction half done; it
  // can then only be aborted.
  int failure = FPTA_SUCCESS;
  std::vector<fpta_cursor*> cursors;
  // Made by the first row operation and kept with the handle, for the
  // transactions that reuse it: spares allocations.
  std::unique_ptr<fpta::row_store::Scratch, fpta::row_store::ScratchDeleter> row_scratch;
};

namespace fpta::handles {

// Handles of one kind that were released, for reuse.
template <typename Handle>
class Pool {
 public:
  Handle* Take(uint32_t live) {
    Handle* handle = nullptr;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!free_.empty()) {
        handle = free_.back();
        free_.pop_back();
      }
    }
    if (handle == nullptr) {
      handle = new Handle;
      const std::lock_guard<std::mutex> lock(mutex_);
      made_.push_back(handle);
    }
    handle->magic.store(live, std::memory_order_release);
    return handle;
  }

  void Give(Handle* handle) {
    handle->magic.store(kDead, std::memory_order_release);
    const uint16_t next =
        static_cast<uint16_t>(handle->generation.load(std::memory_order_relaxed) + 1);
    handle->generation.store(next, std::memory_order_relaxed);
    // A handle with bits above the address, or whose generations have come
    // round, could pass for one of its earlier lives: it is never reused.
    if (next == 0 || (reinterpret_cast<uintptr_t>(handle) & ~kAddressMask) != 0) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(handle);
  }

 private:
  std::mutex mutex_;
  std::vector<Handle*> free_;
  // Every object made, live or not: callers hold live ones only as handles
  // with a generation in the top bits, which a leak checker does not take
  // for references, and no object is ever freed.
  std::vector<Handle*> made_;
};

// Never destroyed: handles may be released while the process exits.
template <typename Handle>
Pool<Handle>& PoolOf() {
  static auto* pool = new Pool<Handle>;
  return *pool;
}

// Databases and transactions; cursors are made and released in cursors.cpp.
fpta_db* NewDb();
fpta_txn* NewTxn();
void Release(fpta_db* db);
void Release(fpta_txn* txn);

// The handle a caller is given for a live object.
template <typename Handle>
Handle* Exposed(Handle* object) {
  const uintptr_t generation = object->generation.load(std::memory_order_relaxed);
  return reinterpret_cast<Handle*>(reinterpret_cast<uintptr_t>(object) | generation
                                                                             << kGenerationShift);
}

// Replaces a handle a caller gave by the live object it stands for; false
// (and *handle unchanged) for a null, closed or ended one.
template <typename Handle>
bool Admit(Handle** handle, uint32_t live) {
  const uintptr_t given = reinterpret_cast<uintptr_t>(*handle);
  auto* object = reinterpret_cast<Handle*>(given & kAddressMask);
  if (object == nullptr || object->magic.load(std::memory_order_acquire) != live ||
      object->generation.load(std::memory_order_relaxed) != given >> kGenerationShift) {
    return false;
  }
  *handle = object;
  return true;
}
inline bool Admit(fpta_db** db) { return Admit(db, kLiveDb); }
inline bool Admit(fpta_txn** txn) { return Admit(txn, kLiveTxn); }

// Whether an object (not a caller's handle) is live.
inline bool IsLive(const fpta_txn* txn) {
  return txn != nullptr && txn->magic.load(std::memory_order_acquire) == kLiveTxn;
}

}  // namespace fpta::handles

#endif  // FPTA_SRC_HANDLES_H
