#include "LevelDbStorage.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include <leveldb/iterator.h>
#include <leveldb/options.h>

#include "Logger.h"
#include "MoveAside.h"

namespace qz::evmon {

namespace {

// Buffered values are written out once they exceed this many bytes, which
// bounds the memory held by pending writes.
constexpr std::size_t kFlushThreshold = 32u << 20;

// A full traversal of a large rule database stays in memory on a second run.
constexpr std::size_t kBlockCacheCapacity = 256u << 20;

void ThrowUnlessOk(const leveldb::Status& status) {
  if (!status.ok()) {
    throw std::runtime_error(status.ToString());
  }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

LevelDbStorage::LevelDbStorage(const std::string& path)
    : blockCache(leveldb::NewLRUCache(kBlockCacheCapacity)) {
  leveldb::Options options;
  options.create_if_missing = true;
  options.block_cache = blockCache.get();

  leveldb::DB* handle = nullptr;
  leveldb::Status status = leveldb::DB::Open(options, path, &handle);
  if (status.IsCorruption()) {
    // The damaged files are kept, not deleted: they may be all that is left
    // of the rules, and someone may be able to repair them.
    LOG(Level::Info, "Database \"", path, "\" corrupted (", status.ToString(),
        "). Will be moved aside and recreated");
    const std::string asidePath = MoveAside(path, std::time(nullptr));
    LOG(Level::Info, "Database ", path, " moved to ", asidePath);
    status = leveldb::DB::Open(options, path, &handle);
  }
  ThrowUnlessOk(status);
  db.reset(handle);
  LOG(Level::Info, "Database ", path, " successfully opened");
}

LevelDbStorage::~LevelDbStorage() {
  AppendPendingWrites();
  db->Write(leveldb::WriteOptions(), &batch);
}

bool LevelDbStorage::Put(const std::string& key, const std::string& value) {
  pendingBytes += value.size();
  const auto pending = pendingWrites.find(key);
  if (pending != pendingWrites.end()) {
    pendingBytes -= pending->second.size();
    pending->second = value;
  } else {
    pendingWrites.emplace(key, value);
    // A Delete record for the key may stay in the batch: the Put record
    // appended at the flush comes after it and wins.
    pendingDeletes.erase(key);
  }
  if (pendingBytes > kFlushThreshold) {
    Flush();
  }
  return true;
}

bool LevelDbStorage::Get(const std::string& key, std::string& value) const {
  const auto pending = pendingWrites.find(key);
  if (pending != pendingWrites.end()) {
    value = pending->second;
    return true;
  }
  if (pendingDeletes.count(key) != 0) {
    return false;
  }
  const leveldb::Status status = db->Get(leveldb::ReadOptions(), key, &value);
  if (status.IsNotFound()) {
    return false;
  }
  ThrowUnlessOk(status);
  return true;
}

bool LevelDbStorage::Delete(const std::string& key) {
  batch.Delete(key);
  const auto pending = pendingWrites.find(key);
  if (pending != pendingWrites.end()) {
    pendingBytes -= pending->second.size();
    pendingWrites.erase(pending);
  }
  pendingDeletes.insert(key);
  return true;
}

void LevelDbStorage::ForEach(const EntryCallback& callback) const {
  Traverse<true>(std::string(), callback);
}

void LevelDbStorage::ForEachKey(const KeyCallback& callback) const {
  Traverse<false>(std::string(),
                  [&callback](const std::string& key, const std::string&) { callback(key); });
}

void LevelDbStorage::ForEachWithPrefix(const std::string& prefix,
                                       const EntryCallback& callback) const {
  Traverse<true>(prefix, callback);
}

void LevelDbStorage::AppendPendingWrites() {
  for (const auto& [key, value] : pendingWrites) {
    batch.Put(key, value);
  }
}

void LevelDbStorage::Flush() {
  AppendPendingWrites();
  // On failure everything stays pending; the next flush appends the pending
  // writes once more, which leaves the same final content.
  ThrowUnlessOk(db->Write(leveldb::WriteOptions(), &batch));
  batch.Clear();
  pendingWrites.clear();
  pendingDeletes.clear();
  pendingBytes = 0;
}

std::vector<LevelDbStorage::PendingChange> LevelDbStorage::SortedPendingChanges(
    const std::string& prefix) const {
  std::vector<PendingChange> changes;
  for (const auto& [key, value] : pendingWrites) {
    if (StartsWith(key, prefix)) {
      changes.push_back({&key, &value});
    }
  }
  for (const std::string& key : pendingDeletes) {
    if (StartsWith(key, prefix)) {
      changes.push_back({&key, nullptr});
    }
  }
  // std::string compares its bytes as unsigned char, as LevelDB's default
  // comparator does, so the merge below sees one order.
  std::sort(changes.begin(), changes.end(),
            [](const PendingChange& a, const PendingChange& b) { return *a.key < *b.key; });
  return changes;
}

// Walks the stored keys that begin with `prefix` together with the sorted
// pending changes and calls visit(key, value) for each visible entry. Stored
// entries are passed in two buffers reused for the whole walk, so a large
// traversal does not allocate per entry; without kWithValues the value
// buffer stays empty.
template <bool kWithValues, typename Visit>
void LevelDbStorage::Traverse(const std::string& prefix, const Visit& visit) const {
  const std::vector<PendingChange> pending = SortedPendingChanges(prefix);
  auto next = pending.begin();
  const auto visitPending = [&visit](const PendingChange& change) {
    if (change.value != nullptr) {
      visit(*change.key, *change.value);
    }
  };

  std::unique_ptr<leveldb::Iterator> stored(db->NewIterator(leveldb::ReadOptions()));
  std::string key;
  std::string value;
  for (stored->Seek(prefix); stored->Valid() && stored->key().starts_with(prefix);
       stored->Next()) {
    const leveldb::Slice storedKey = stored->key();
    while (next != pending.end() && leveldb::Slice(*next->key).compare(storedKey) < 0) {
      visitPending(*next++);
    }
    if (next != pending.end() && leveldb::Slice(*next->key) == storedKey) {
      visitPending(*next++);
      continue;
    }
    key.assign(storedKey.data(), storedKey.size());
    if constexpr (kWithValues) {
      value.assign(stored->value().data(), stored->value().size());
    }
    visit(key, value);
  }
  // An iterator also stops when a read fails; that must not pass for the end
  // of the data.
  ThrowUnlessOk(stored->status());
  while (next != pending.end()) {
    visitPending(*next++);
  }
}

std::shared_ptr<KeyValueStorage> CreateStorage(const std::string& path) {
  return std::make_shared<LevelDbStorage>(path);
}

}  // namespace qz::evmon
