// The rule database's store: an ordered key-value store over a LevelDB
// directory that buffers writes in memory and applies them in batches.

#ifndef QZ_EVMON_LEVEL_DB_STORAGE_H_
#define QZ_EVMON_LEVEL_DB_STORAGE_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <leveldb/cache.h>
#include <leveldb/db.h>
#include <leveldb/write_batch.h>

#include "KeyValueStorage.h"
#include "OpenGuardEnv.h"

namespace qz::evmon {

// The tunables of a LevelDbStorage, with the values the program uses.
struct LevelDbStorageOptions {
  // Buffered values are written out once they exceed this many bytes, which
  // bounds the memory held by pending writes.
  std::size_t flushThreshold = 32u << 20;
  // The block cache serves Get. Traversals read around it: a full scan would
  // only evict what lookups use, and is never repeated within a run.
  std::size_t blockCacheCapacity = 256u << 20;
  // Called, when set, after a damaged database was moved aside and an empty
  // one created, with the reason and the path the old one was moved to.
  std::function<void(const std::string& reason, const std::string& asidePath)> onMovedAside;
  // When false, a damaged database is an error (std::runtime_error with the
  // reason) instead of being moved aside: a copy must not stand for its
  // original.
  bool moveDamagedAside = true;
  // The path the log and the error texts name instead of the opened one,
  // when set: a private copy is reported as the database it was taken from.
  std::string shownPath;
};

// Puts and Deletes are kept in memory and reach the database as one atomic
// write batch once the buffered values exceed the flush threshold, at Flush,
// and when the object is destroyed. Until then they are seen only through
// this object, whose Get and traversals show them as if they were stored. Not copyable: it owns the
// database handle, which LevelDB lets only one object per process hold.
class LevelDbStorage : public OrderedKeyValueStorage {
 public:
  // Opens the database at `path`, creating it when the directory holds no
  // database files. A damaged database is moved aside to a sibling
  // directory (see MoveAside) and a new, empty one is created at `path`;
  // damaged means that LevelDB reports corruption when opening with
  // paranoid checks (a damaged log included), that the directory holds
  // table, log or descriptor files but no CURRENT file, or that opening
  // would remove a table file the descriptor does not list while the
  // descriptor does not read cleanly to its end (its last record torn or
  // corrupt: it may have lost the record that listed the table). Beside a
  // descriptor that does, such a table is the output of a compaction its
  // owner abandoned at close, and is removed as LevelDB removes it. Nothing
  // is removed from a damaged database. Logs each of these steps at level
  // Info.
  // Every read verifies block checksums.
  // Throws std::runtime_error carrying LevelDB's status text when the
  // database cannot be opened, or the filesystem error text when a damaged
  // database cannot be moved aside; no object exists then.
  explicit LevelDbStorage(const std::string& path,
                          LevelDbStorageOptions options = LevelDbStorageOptions());

  // Applies everything pending in one write and closes the database. A
  // failure of that write is logged at level Error, not thrown: a destructor
  // must not throw. Call Flush first to learn of it.
  ~LevelDbStorage() override;

  LevelDbStorage(const LevelDbStorage&) = delete;
  LevelDbStorage& operator=(const LevelDbStorage&) = delete;

  // A Put of a key already pending replaces its value in memory. Throws
  // std::runtime_error when the flush it starts fails; the data stays
  // pending then and goes out with the next flush.
  bool Put(const std::string& key, const std::string& value) override;
  bool Get(const std::string& key, std::string& value) const override;
  // Never flushes.
  bool Delete(const std::string& key) override;

  // Applies everything pending in one write. Throws std::runtime_error with
  // LevelDB's status text when the write fails; the data stays pending then.
  void Flush();

  // Traversals merge the pending changes with the stored entries: each key
  // once, in ascending bytewise order, a pending write overriding the stored
  // value, a pending deletion hiding it.
  void ForEach(const EntryCallback& callback) const override;
  void ForEachKey(const KeyCallback& callback) const override;
  void ForEachView(const EntryViewCallback& callback) const override;
  void ForEachWithPrefix(const std::string& prefix, const EntryCallback& callback) const override;

 private:
  // A pending change as traversals see it: `value` points to the value of a
  // pending write, or is null for a pending deletion.
  struct PendingChange {
    const std::string* key;
    const std::string* value;
  };

  leveldb::Status OpenUnlessDamaged(const std::string& path, std::string& damage);
  [[noreturn]] void Fail(const std::string& text) const;
  void ThrowUnlessOk(const leveldb::Status& status) const;
  void ThrowUnlessReadOk(const leveldb::Status& status) const;
  void AppendPendingWrites();
  std::vector<PendingChange> SortedPendingChanges(const std::string& prefix) const;
  template <typename Visit>
  void Traverse(const std::string& prefix, Visit&& visit) const;

  LevelDbStorageOptions options;
  // The directory as opened; error texts show options.shownPath for it.
  std::string path;
  // Declared before `db` so that they are destroyed after it: the database
  // uses them until it is closed.
  OpenGuardEnv env;
  std::unique_ptr<leveldb::Cache> blockCache;
  std::unique_ptr<leveldb::DB> db;
  // The Delete records of pending deletions, in the order they were made. At
  // a flush the Put records of the pending writes are appended behind them.
  leveldb::WriteBatch batch;
  std::unordered_map<std::string, std::string> pendingWrites;
  std::unordered_set<std::string> pendingDeletes;
  // The sum of the value sizes in pendingWrites; key sizes are not counted.
  std::size_t pendingBytes = 0;
  // Set by the first read that fails.
  mutable bool readFailed = false;
};

// Opens the database at `path` as described for LevelDbStorage and returns
// the shared handle; the database closes when the last handle is released.
// Throws what the LevelDbStorage constructor throws.
std::shared_ptr<KeyValueStorage> CreateStorage(
    const std::string& path, LevelDbStorageOptions options = LevelDbStorageOptions());

}  // namespace qz::evmon

#endif  // QZ_EVMON_LEVEL_DB_STORAGE_H_
