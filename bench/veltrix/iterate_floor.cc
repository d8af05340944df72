// The floor for a full dump of a rule database: open it with the options
// veltrix uses and walk every entry, only adding up the sizes of keys and
// values, with no decoding and no output: the least a full dump must cost.
//
// Usage: veltrix-bench-floor DBDIR
// Prints "<entries> entries, <bytes> key and value bytes"; exit status 1 on failure.

#include <cstdint>
#include <iostream>
#include <memory>

#include <leveldb/cache.h>
#include <leveldb/db.h>
#include <leveldb/iterator.h>
#include <leveldb/options.h>

namespace {

// The same block cache veltrix gives its database.
constexpr size_t kBlockCacheBytes = 256 << 20;

int Fail(const leveldb::Status& status) {
  std::cerr << "Error: " << status.ToString() << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: veltrix-bench-floor DBDIR\n";
    return 1;
  }

  // Declared first so that it is destroyed last: the database uses it until closed.
  std::unique_ptr<leveldb::Cache> cache(leveldb::NewLRUCache(kBlockCacheBytes));
  leveldb::Options options;
  options.create_if_missing = true;
  options.block_cache = cache.get();

  leveldb::DB* raw = nullptr;
  leveldb::Status status = leveldb::DB::Open(options, argv[1], &raw);
  if (!status.ok()) return Fail(status);
  std::unique_ptr<leveldb::DB> db(raw);

  uint64_t entries = 0;
  uint64_t bytes = 0;
  std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
  for (it->SeekToFirst(); it->Valid(); it->Next()) {
    ++entries;
    bytes += it->key().size() + it->value().size();
  }
  if (!it->status().ok()) return Fail(it->status());

  std::cout << entries << " entries, " << bytes << " key and value bytes" << std::endl;
  return 0;
}
