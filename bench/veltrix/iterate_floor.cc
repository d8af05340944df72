// The floor for a correct full dump of a rule database: open it as veltrix
// does (paranoid checks), walk every entry with block checksums verified and
// the blocks kept out of the cache, and touch every byte of every key and
// value once, with no decoding and no output: the least a correct full dump
// must cost.
//
// Usage: veltrix-bench-floor DBDIR
// Prints "<entries> entries, <bytes> key and value bytes, fold <number>";
// exit status 1 on failure.

#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>

#include <leveldb/db.h>
#include <leveldb/iterator.h>
#include <leveldb/options.h>

namespace {

int Fail(const leveldb::Status& status) {
  std::cerr << "Error: " << status.ToString() << std::endl;
  return 1;
}

// Reads every byte, eight at a time, so that the walk cannot skip data that a
// dump must copy or compare, at about the cost of copying it.
uint64_t Fold(const leveldb::Slice& bytes) {
  uint64_t fold = bytes.size();
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    fold ^= word;
  }
  for (; i < bytes.size(); ++i) fold += static_cast<unsigned char>(bytes[i]);
  return fold;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: veltrix-bench-floor DBDIR\n";
    return 1;
  }

  leveldb::Options options;
  options.create_if_missing = true;
  options.paranoid_checks = true;

  leveldb::DB* raw = nullptr;
  leveldb::Status status = leveldb::DB::Open(options, argv[1], &raw);
  if (!status.ok()) return Fail(status);
  std::unique_ptr<leveldb::DB> db(raw);

  leveldb::ReadOptions scan;
  scan.verify_checksums = true;
  scan.fill_cache = false;
  uint64_t entries = 0;
  uint64_t bytes = 0;
  uint64_t fold = 0;
  std::unique_ptr<leveldb::Iterator> it(db->NewIterator(scan));
  for (it->SeekToFirst(); it->Valid(); it->Next()) {
    ++entries;
    bytes += it->key().size() + it->value().size();
    fold ^= Fold(it->key()) + Fold(it->value());
  }
  if (!it->status().ok()) return Fail(it->status());

  std::cout << entries << " entries, " << bytes << " key and value bytes, fold " << fold
            << std::endl;
  return 0;
}
