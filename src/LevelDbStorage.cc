#include "LevelDbStorage.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <stdexcept>
#include <utility>

#include <leveldb/env.h>
#include <leveldb/iterator.h>
#include <leveldb/options.h>

#include "DatabaseFiles.h"
#include "DescriptorReader.h"
#include "Logger.h"
#include "MoveAside.h"

namespace qz::evmon {

namespace {

// A block whose checksum does not match must end the read with an error,
// never pass for data.
leveldb::ReadOptions LookupOptions() {
  leveldb::ReadOptions options;
  options.verify_checksums = true;
  return options;
}

leveldb::ReadOptions ScanOptions() {
  leveldb::ReadOptions options = LookupOptions();
  options.fill_cache = false;
  return options;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// False also when the descriptor cannot be read: the tables it may have
// listed are kept then.
bool DescriptorReadsToItsEnd(const std::string& path) {
  std::string bytes;
  return !path.empty() && leveldb::ReadFileToString(leveldb::Env::Default(), path, &bytes).ok() &&
         ReadLiveFiles(bytes).complete;
}

}  // namespace

LevelDbStorage::LevelDbStorage(const std::string& path, LevelDbStorageOptions options)
    : options(std::move(options)),
      path(path),
      blockCache(leveldb::NewLRUCache(this->options.blockCacheCapacity)) {
  std::string damage;
  leveldb::Status status = OpenUnlessDamaged(path, damage);
  if (!damage.empty() && !this->options.moveDamagedAside) {
    Fail(damage);
  }
  if (!damage.empty()) {
    // The damaged files are kept, not deleted: they may be all that is left
    // of the rules, and someone may be able to repair them.
    LOG(Level::Info, "Database \"", path, "\" corrupted (", damage,
        "). Will be moved aside and recreated");
    const std::string asidePath = MoveAside(path, std::time(nullptr));
    LOG(Level::Info, "Database ", path, " moved to ", asidePath);
    std::string newDamage;
    status = OpenUnlessDamaged(path, newDamage);
    ThrowUnlessOk(status);
    if (db == nullptr) {
      throw std::runtime_error(newDamage);
    }
    if (this->options.onMovedAside) {
      this->options.onMovedAside(damage, asidePath);
    }
  }
  ThrowUnlessOk(status);
  LOG(Level::Info, "Database ", this->options.shownPath.empty() ? path : this->options.shownPath,
      " successfully opened");
}

// Sets `damage` to the reason when the database at `path` is damaged; it is
// then left closed and every file in place. Otherwise returns the status of
// the open, the database being open when it is OK.
leveldb::Status LevelDbStorage::OpenUnlessDamaged(const std::string& path, std::string& damage) {
  const std::string orphan = DataFileWithoutCurrent(path);
  if (!orphan.empty()) {
    damage = DataFileWithoutCurrentDamage(orphan);
    return leveldb::Status::OK();
  }

  leveldb::Options dbOptions;
  dbOptions.create_if_missing = true;
  // A damaged write-ahead log is reported instead of being read up to the
  // damage and then deleted.
  dbOptions.paranoid_checks = true;
  dbOptions.block_cache = blockCache.get();
  dbOptions.env = &env;

  env.Hold();
  leveldb::DB* handle = nullptr;
  const leveldb::Status status = leveldb::DB::Open(dbOptions, path, &handle);
  std::unique_ptr<leveldb::DB> opened(handle);
  if (status.ok()) {
    const std::string unlisted = env.TableHeldFromOpener();
    // Beside a descriptor that reads to its end, a table it does not list is
    // the output of a compaction or flush that the owner abandoned when it
    // closed the database, and holds nothing the listed files do not.
    if (unlisted.empty() || DescriptorReadsToItsEnd(env.DescriptorReadByOpener())) {
      // The replayed logs, the old descriptor and any abandoned output go
      // when the database closes after a run that read it without error.
      env.StopHolding();
      db = std::move(opened);
      return status;
    }
    damage = UnlistedTableDamage(unlisted);
    // Closed while still holding, so that a compaction running in the
    // background cannot remove the table either.
    opened.reset();
  } else if (status.IsCorruption()) {
    damage = status.ToString();
  }
  env.StopHolding();
  env.ForgetHeld();
  return status;
}

LevelDbStorage::~LevelDbStorage() {
  try {
    Flush();
  } catch (const std::exception& error) {
    LOG(Level::Error, "Pending changes not stored: ", error.what());
  }
  db.reset();
  // After a failed read the files stay as they were found, for whoever
  // looks into the damage.
  if (!readFailed) {
    env.RemoveHeld();
  }
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
  if (pendingBytes > options.flushThreshold) {
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
  const leveldb::Status status = db->Get(LookupOptions(), key, &value);
  if (status.IsNotFound()) {
    return false;
  }
  ThrowUnlessReadOk(status);
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

namespace {

// Adapts a callback of copies to the traversal's views. The two buffers are
// reused for the whole traversal, so it does not allocate per entry.
class CopyingVisit {
 public:
  explicit CopyingVisit(const EntryCallback& callback) : callback(callback) {}
  void operator()(std::string_view keyView, std::string_view valueView) {
    key.assign(keyView);
    value.assign(valueView);
    callback(key, value);
  }

 private:
  const EntryCallback& callback;
  std::string key;
  std::string value;
};

}  // namespace

void LevelDbStorage::ForEach(const EntryCallback& callback) const {
  Traverse(std::string(), CopyingVisit(callback));
}

void LevelDbStorage::ForEachKey(const KeyCallback& callback) const {
  std::string key;
  Traverse(std::string(), [&callback, &key](std::string_view keyView, std::string_view) {
    key.assign(keyView);
    callback(key);
  });
}

void LevelDbStorage::ForEachWithPrefix(const std::string& prefix,
                                       const EntryCallback& callback) const {
  Traverse(prefix, CopyingVisit(callback));
}

void LevelDbStorage::ForEachView(const EntryViewCallback& callback) const {
  Traverse(std::string(), callback);
}

void LevelDbStorage::Fail(const std::string& text) const {
  if (options.shownPath.empty()) {
    throw std::runtime_error(text);
  }
  std::string shown = text;
  for (std::size_t at = shown.find(path); at != std::string::npos;
       at = shown.find(path, at + options.shownPath.size())) {
    shown.replace(at, path.size(), options.shownPath);
  }
  throw std::runtime_error(shown);
}

void LevelDbStorage::ThrowUnlessOk(const leveldb::Status& status) const {
  if (!status.ok()) {
    Fail(status.ToString());
  }
}

void LevelDbStorage::ThrowUnlessReadOk(const leveldb::Status& status) const {
  if (!status.ok()) {
    readFailed = true;
    ThrowUnlessOk(status);
  }
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
// pending changes and calls visit(key, value) with views of each visible
// entry, valid during the call.
template <typename Visit>
void LevelDbStorage::Traverse(const std::string& prefix, Visit&& visit) const {
  const std::vector<PendingChange> pending = SortedPendingChanges(prefix);
  auto next = pending.begin();
  const auto visitPending = [&visit](const PendingChange& change) {
    if (change.value != nullptr) {
      visit(std::string_view(*change.key), std::string_view(*change.value));
    }
  };

  std::unique_ptr<leveldb::Iterator> stored(db->NewIterator(ScanOptions()));
  for (stored->Seek(prefix); stored->Valid() && stored->key().starts_with(prefix); stored->Next()) {
    const leveldb::Slice storedKey = stored->key();
    while (next != pending.end() && leveldb::Slice(*next->key).compare(storedKey) < 0) {
      visitPending(*next++);
    }
    if (next != pending.end() && leveldb::Slice(*next->key) == storedKey) {
      visitPending(*next++);
      continue;
    }
    const leveldb::Slice storedValue = stored->value();
    visit(std::string_view(storedKey.data(), storedKey.size()),
          std::string_view(storedValue.data(), storedValue.size()));
  }
  // An iterator also stops when a read fails; that must not pass for the end
  // of the data.
  ThrowUnlessReadOk(stored->status());
  while (next != pending.end()) {
    visitPending(*next++);
  }
}

std::shared_ptr<KeyValueStorage> CreateStorage(const std::string& path,
                                               LevelDbStorageOptions options) {
  return std::make_shared<LevelDbStorage>(path, std::move(options));
}

}  // namespace qz::evmon
