// The rule database's store: an ordered key-value store over a LevelDB
// directory that buffers writes in memory and applies them in batches.

#ifndef QZ_EVMON_LEVEL_DB_STORAGE_H_
#define QZ_EVMON_LEVEL_DB_STORAGE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <leveldb/cache.h>
#include <leveldb/db.h>
#include <leveldb/write_batch.h>

#include "KeyValueStorage.h"

namespace qz::evmon {

// Puts and Deletes are kept in memory and reach the database as one atomic
// write batch once the buffered values exceed 32 MiB, and when the object is
// destroyed. Until then they are seen only through this object, whose Get and
// traversals show them as if they were stored. Not copyable: it owns the
// database handle, which LevelDB lets only one object per process hold.
class LevelDbStorage : public OrderedKeyValueStorage {
 public:
  // Opens the database at `path`, creating it when missing. A database that
  // LevelDB reports as corrupted is moved aside to a sibling directory (see
  // MoveAside) and a new, empty one is created at `path`. Logs each of these
  // steps at level Info.
  // Throws std::runtime_error carrying LevelDB's status text when the
  // database cannot be opened, or the filesystem error text when a corrupted
  // database cannot be moved aside; no object exists then.
  explicit LevelDbStorage(const std::string& path);

  // Applies everything pending in one write and closes the database. A
  // failure of that write is ignored: a destructor must not throw.
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

  // Traversals merge the pending changes with the stored entries: each key
  // once, in ascending bytewise order, a pending write overriding the stored
  // value, a pending deletion hiding it.
  void ForEach(const EntryCallback& callback) const override;
  void ForEachKey(const KeyCallback& callback) const override;
  void ForEachWithPrefix(const std::string& prefix,
                         const EntryCallback& callback) const override;

 private:
  // A pending change as traversals see it: `value` points to the value of a
  // pending write, or is null for a pending deletion.
  struct PendingChange {
    const std::string* key;
    const std::string* value;
  };

  void AppendPendingWrites();
  void Flush();
  std::vector<PendingChange> SortedPendingChanges(const std::string& prefix) const;
  template <bool kWithValues, typename Visit>
  void Traverse(const std::string& prefix, const Visit& visit) const;

  // Declared before `db` so that it is destroyed after it: the database uses
  // the cache until it is closed.
  std::unique_ptr<leveldb::Cache> blockCache;
  std::unique_ptr<leveldb::DB> db;
  // The Delete records of pending deletions, in the order they were made. At
  // a flush the Put records of the pending writes are appended behind them.
  leveldb::WriteBatch batch;
  std::unordered_map<std::string, std::string> pendingWrites;
  std::unordered_set<std::string> pendingDeletes;
  // The sum of the value sizes in pendingWrites; key sizes are not counted.
  std::size_t pendingBytes = 0;
};

// Opens the database at `path` as described for LevelDbStorage and returns
// the shared handle; the database closes when the last handle is released.
// Throws what the LevelDbStorage constructor throws.
std::shared_ptr<KeyValueStorage> CreateStorage(const std::string& path);

}  // namespace qz::evmon

#endif  // QZ_EVMON_LEVEL_DB_STORAGE_H_
