#include "DescriptorReader.h"

#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <leveldb/db.h>

#include "DatabaseFiles.h"
#include "TestSupport.h"

namespace qz::evmon {
namespace {

// A database of several tables and a log, closed, with what its directory
// holds: the descriptor's bytes, the table numbers and the log's number.
struct ClosedDatabase {
  std::string descriptor;
  std::set<std::uint64_t> tables;
  std::uint64_t log = 0;
};

ClosedDatabase WriteDatabase(const test::TestDirectory& dir) {
  leveldb::Options options;
  options.create_if_missing = true;
  options.write_buffer_size = 64 << 10;
  // Names that hardly compress fill several memtables, each flushed into a
  // table of its own.
  std::uint64_t noise = 88172645463325252u;
  for (int session = 0; session < 2; ++session) {
    leveldb::DB* handle = nullptr;
    EXPECT_TRUE(leveldb::DB::Open(options, dir.root, &handle).ok());
    std::unique_ptr<leveldb::DB> db(handle);
    for (int i = 0; i < 2000; ++i) {
      std::string name = "rule-";
      for (int c = 0; c < 60; ++c) {
        noise ^= noise << 13, noise ^= noise >> 7, noise ^= noise << 17;
        name += static_cast<char>('a' + noise % 26);
      }
      db->Put(leveldb::WriteOptions(), name, R"({"enabled":true})");
    }
  }
  // A third open folds the last log into a table, drops what the sessions
  // left behind, and ends the descriptor with its own edit.
  leveldb::DB* handle = nullptr;
  EXPECT_TRUE(leveldb::DB::Open(options, dir.root, &handle).ok());
  delete handle;

  ClosedDatabase closed;
  for (const auto& [name, content] : test::EntriesIn(dir.root)) {
    if (IsDescriptorFileName(name)) {
      closed.descriptor = content;
    } else if (IsTableFileName(name)) {
      closed.tables.insert(std::stoull(name));
    } else if (IsLogFileName(name)) {
      closed.log = std::stoull(name);
    }
  }
  return closed;
}

TEST(DescriptorReaderTest, ListsTheTablesAndTheLogOfTheCurrentState) {
  test::TestDirectory dir;
  const ClosedDatabase db = WriteDatabase(dir);
  ASSERT_GT(db.tables.size(), 1u);

  const LiveFiles files = ReadLiveFiles(db.descriptor);

  // Every listed table is on disk. A compaction still running when the
  // database closed may have left outputs the descriptor never listed; they
  // have numbers above every listed table, as new files get the next number.
  ASSERT_FALSE(files.tables.empty());
  const std::uint64_t lastListed = *files.tables.rbegin();
  std::set<std::uint64_t> onDiskUpToLastListed;
  for (const std::uint64_t table : db.tables) {
    if (table <= lastListed) onDiskUpToLastListed.insert(table);
  }
  EXPECT_EQ(files.tables, onDiskUpToLastListed);
  EXPECT_EQ(files.logNumber, db.log);
  EXPECT_EQ(files.prevLogNumber, 0u);
  EXPECT_TRUE(files.complete);
}

TEST(DescriptorReaderTest, StopsAtATornOrDamagedLastRecordAndKeepsWhatCameBefore) {
  test::TestDirectory dir;
  const ClosedDatabase db = WriteDatabase(dir);
  const std::string& whole = db.descriptor;
  std::string flipped = whole;
  flipped.back() ^= 0x20;

  const LiveFiles torn = ReadLiveFiles(whole.substr(0, whole.size() - 1));
  const LiveFiles damaged = ReadLiveFiles(flipped);

  // The descriptor holds the state it started from, then the edit of the
  // open that made it, which added a table.
  EXPECT_FALSE(torn.tables.empty());
  EXPECT_NE(torn.tables, db.tables);
  EXPECT_EQ(damaged.logNumber, torn.logNumber);
  EXPECT_EQ(damaged.tables, torn.tables);
  EXPECT_FALSE(torn.complete);
  EXPECT_FALSE(damaged.complete);
  EXPECT_TRUE(ReadLiveFiles("").tables.empty());
}

}  // namespace
}  // namespace qz::evmon
