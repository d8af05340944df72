#include "LevelDbStorage.h"

#include <map>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <leveldb/db.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

namespace fs = boost::filesystem;
using Entries = std::map<std::string, std::string>;
using test::FilesIn;
using test::NamesIn;
using test::RecordingLogger;

std::unique_ptr<leveldb::DB> OpenWithLevelDb(const std::string& path) {
  leveldb::Options options;
  options.create_if_missing = true;
  leveldb::DB* db = nullptr;
  const leveldb::Status status = leveldb::DB::Open(options, path, &db);
  if (!status.ok()) {
    throw std::runtime_error(status.ToString());
  }
  return std::unique_ptr<leveldb::DB>(db);
}

// Writes `entries` into the database at `path` with LevelDB alone, so that
// the store under test reads what another writer made.
void WriteWithLevelDb(const std::string& path, const Entries& entries) {
  const auto db = OpenWithLevelDb(path);
  for (const auto& [key, value] : entries) {
    db->Put(leveldb::WriteOptions(), key, value);
  }
}

// What a reader would find stored in the database at `path`, read from a copy
// of its files: a database can have only one user at a time, and the store
// under test may still hold it open.
Entries StoredEntries(const std::string& path) {
  test::TestDirectory copy;
  for (const fs::directory_entry& file : fs::directory_iterator(path)) {
    if (file.path().filename() != "LOCK") {
      fs::copy_file(file.path(), copy.Path(file.path().filename().string()));
    }
  }
  const auto db = OpenWithLevelDb(copy.Root());
  Entries entries;
  std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
  for (it->SeekToFirst(); it->Valid(); it->Next()) {
    entries.emplace(it->key().ToString(), it->value().ToString());
  }
  return entries;
}

using Visits = std::vector<std::pair<std::string, std::string>>;

Visits VisitAll(const LevelDbStorage& storage) {
  Visits visits;
  storage.ForEach([&visits](const std::string& key, const std::string& value) {
    visits.emplace_back(key, value);
  });
  return visits;
}

Visits VisitPrefix(const LevelDbStorage& storage, const std::string& prefix) {
  Visits visits;
  storage.ForEachWithPrefix(prefix, [&visits](const std::string& key, const std::string& value) {
    visits.emplace_back(key, value);
  });
  return visits;
}

std::vector<std::string> VisitKeys(const LevelDbStorage& storage) {
  std::vector<std::string> keys;
  storage.ForEachKey([&keys](const std::string& key) { keys.push_back(key); });
  return keys;
}

// The database's own files; LevelDB rotates its info log (LOG, LOG.old) and
// recreates LOCK at every open attempt.
std::map<std::string, std::string> DataFilesIn(const std::string& dir) {
  auto files = FilesIn(dir);
  for (const char* name : {"LOCK", "LOG", "LOG.old"}) {
    files.erase(name);
  }
  return files;
}

class LevelDbStorageTest : public ::testing::Test {
 protected:
  test::TestDirectory dir;
  const std::string path = dir.Path("db");
};

TEST_F(LevelDbStorageTest, OpeningEmptyDirectoryCreatesDatabaseAndLogsOnce) {
  fs::create_directory(path);
  RecordingLogger logger;
  LevelDbStorage storage(path);
  EXPECT_TRUE(fs::exists(path + "/CURRENT"));
  EXPECT_TRUE(VisitAll(storage).empty());
  ASSERT_EQ(logger.Texts(), std::vector<std::string>{"Database " + path + " successfully opened"});
  EXPECT_EQ(logger.Messages()[0].level, Level::Info);
  EXPECT_EQ(logger.Messages()[0].function, "LevelDbStorage");
}

TEST_F(LevelDbStorageTest, OpeningLogsNothingWhenInfoIsNotAdmitted) {
  RecordingLogger logger(Level::Error);
  LevelDbStorage storage(path);
  EXPECT_TRUE(logger.Messages().empty());
}

TEST_F(LevelDbStorageTest, GetOfMissingKeyLeavesValue) {
  WriteWithLevelDb(path, {{"stored", "v"}});
  LevelDbStorage storage(path);
  std::string value = "untouched";
  EXPECT_FALSE(storage.Get("missing", value));
  EXPECT_EQ(value, "untouched");
  EXPECT_TRUE(storage.Get("stored", value));
  EXPECT_EQ(value, "v");
}

TEST_F(LevelDbStorageTest, PendingWritesAreSeenAtOnceAndStoredAtClose) {
  const std::string keyWithZero("k\0z", 3);
  {
    LevelDbStorage storage(path);
    storage.Put("a", "1");
    storage.Put(keyWithZero, std::string("v\0w", 3));
    std::string value;
    EXPECT_TRUE(storage.Get(keyWithZero, value));
    EXPECT_EQ(value, std::string("v\0w", 3));
    EXPECT_TRUE(StoredEntries(path).empty());
  }
  EXPECT_EQ(StoredEntries(path), (Entries{{"a", "1"}, {keyWithZero, std::string("v\0w", 3)}}));
}

TEST_F(LevelDbStorageTest, FlushesWhenPendingValuesExceed32MiB) {
  constexpr std::size_t kThreshold = 33554432;
  LevelDbStorage storage(path);
  storage.Put("a", std::string(kThreshold - 1, 'x'));
  // A repeated key counts once, with its latest value.
  storage.Put("a", std::string(kThreshold - 1, 'y'));
  storage.Put("b", "1");
  EXPECT_TRUE(StoredEntries(path).empty()) << "flushed at exactly 32 MiB";

  storage.Put("b", "22");
  EXPECT_EQ(StoredEntries(path), (Entries{{"a", std::string(kThreshold - 1, 'y')}, {"b", "22"}}));

  storage.Put("c", "3");
  EXPECT_EQ(StoredEntries(path).count("c"), 0u) << "the count did not restart after the flush";
}

// A sequence of Put ("P") and Delete ("D") of key k over a database that
// already stores k = "old".
struct DeleteCase {
  std::string operations;
  bool present;  // whether k ends up with the value "new"
};

void PrintTo(const DeleteCase& c, std::ostream* os) { *os << c.operations; }

class LevelDbStorageDeleteTest : public LevelDbStorageTest,
                                 public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(LevelDbStorageDeleteTest, SequenceDecidesWhatGetAndTheDatabaseSee) {
  WriteWithLevelDb(path, {{"k", "old"}, {"other", "o"}});
  const Entries expected = GetParam().present ? Entries{{"k", "new"}, {"other", "o"}}
                                              : Entries{{"other", "o"}};
  {
    LevelDbStorage storage(path);
    for (const char operation : GetParam().operations) {
      operation == 'P' ? storage.Put("k", "new") : storage.Delete("k");
    }
    std::string value;
    EXPECT_EQ(storage.Get("k", value), GetParam().present);
    const Visits visits = VisitAll(storage);
    EXPECT_EQ(Entries(visits.begin(), visits.end()), expected);
  }
  EXPECT_EQ(StoredEntries(path), expected);
}

INSTANTIATE_TEST_SUITE_P(Sequences, LevelDbStorageDeleteTest,
                         ::testing::Values(DeleteCase{"D", false}, DeleteCase{"PD", false},
                                           DeleteCase{"DP", true}, DeleteCase{"PDP", true},
                                           DeleteCase{"DPD", false}, DeleteCase{"DD", false}));

TEST_F(LevelDbStorageTest, DeleteTakesEffectAtNextFlush) {
  WriteWithLevelDb(path, {{"k", "old"}});
  LevelDbStorage storage(path);
  storage.Delete("k");
  storage.Put("big", std::string(33554433, 'x'));
  EXPECT_EQ(StoredEntries(path).count("k"), 0u);
}

TEST_F(LevelDbStorageTest, TraversalsMergePendingChangesInKeyOrder) {
  WriteWithLevelDb(path, {{"a", "1"}, {"b", "2"}, {"d", "4"}, {"f", "6"}});
  LevelDbStorage storage(path);
  storage.Put("b", "20");
  storage.Put("c", "3");
  storage.Put("0", "0");
  storage.Put("ba", "21");
  storage.Put("g", "7");
  storage.Delete("d");
  storage.Delete("x");

  const Visits expected = {{"0", "0"}, {"a", "1"}, {"b", "20"}, {"ba", "21"},
                           {"c", "3"}, {"f", "6"}, {"g", "7"}};
  EXPECT_EQ(VisitAll(storage), expected);
  EXPECT_EQ(VisitKeys(storage), (std::vector<std::string>{"0", "a", "b", "ba", "c", "f", "g"}));
  EXPECT_EQ(VisitPrefix(storage, "b"), (Visits{{"b", "20"}, {"ba", "21"}}));
  EXPECT_EQ(VisitPrefix(storage, "d"), Visits{});
}

struct PrefixCase {
  std::string prefix;
  std::vector<std::string> keys;
};

void PrintTo(const PrefixCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.prefix); }

class LevelDbStoragePrefixTest : public LevelDbStorageTest,
                                 public ::testing::WithParamInterface<PrefixCase> {};

TEST_P(LevelDbStoragePrefixTest, VisitsKeysBeginningWithPrefix) {
  WriteWithLevelDb(path, {{"a", "1"}, {"ab", "2"}, {"b", "3"}, {std::string("b\0", 2), "4"}});
  LevelDbStorage storage(path);
  std::vector<std::string> keys;
  for (const auto& [key, value] : VisitPrefix(storage, GetParam().prefix)) {
    keys.push_back(key);
  }
  EXPECT_EQ(keys, GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(
    Prefixes, LevelDbStoragePrefixTest,
    ::testing::Values(PrefixCase{"", {"a", "ab", "b", std::string("b\0", 2)}},
                      PrefixCase{"a", {"a", "ab"}}, PrefixCase{"ab", {"ab"}},
                      PrefixCase{"aa", {}}, PrefixCase{"abc", {}},
                      PrefixCase{std::string("b\0", 2), {std::string("b\0", 2)}},
                      PrefixCase{"c", {}}, PrefixCase{"\xff", {}}));

TEST_F(LevelDbStorageTest, EmptyCallbackThrowsAtFirstEntry) {
  LevelDbStorage storage(path);
  EXPECT_NO_THROW(storage.ForEach(EntryCallback()));
  storage.Put("a", "1");
  EXPECT_THROW(storage.ForEach(EntryCallback()), std::bad_function_call);
}

// Damages the database at `path` so that LevelDB reports corruption at open.
void DropCurrentNewline(const std::string& path) {
  std::string current = test::ReadFile(path + "/CURRENT");
  ASSERT_EQ(current.back(), '\n');
  current.pop_back();
  test::WriteFile(path + "/CURRENT", current);
}

// The one entry of `dir` named like "<name>.corrupt-<UTC stamp>".
std::string AsideOf(const std::string& dir, const std::string& name) {
  const std::regex pattern(name + R"(\.corrupt-\d{8}T\d{6}Z)");
  std::vector<std::string> matches;
  for (const std::string& entry : NamesIn(dir)) {
    if (std::regex_match(entry, pattern)) {
      matches.push_back(dir + "/" + entry);
    }
  }
  return matches.size() == 1 ? matches[0] : "";
}

TEST_F(LevelDbStorageTest, CorruptDatabaseIsMovedAsideIntactAndRecreated) {
  WriteWithLevelDb(path, {{"r1", "v1"}});
  DropCurrentNewline(path);
  const auto damaged = DataFilesIn(path);

  RecordingLogger logger;
  {
    LevelDbStorage storage(path + "/");
    EXPECT_TRUE(VisitAll(storage).empty());
  }
  const std::string aside = AsideOf(dir.Root(), "db");
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(DataFilesIn(aside), damaged);
  EXPECT_EQ(logger.Texts(),
            (std::vector<std::string>{
                "Database \"" + path + "/\" corrupted (Corruption: CURRENT file does not end "
                "with newline). Will be moved aside and recreated",
                "Database " + path + "/ moved to " + aside,
                "Database " + path + "/ successfully opened"}));

  // Nothing was lost: mending the damage by hand brings the data back.
  test::WriteFile(aside + "/CURRENT", test::ReadFile(aside + "/CURRENT") + "\n");
  EXPECT_EQ(StoredEntries(aside), (Entries{{"r1", "v1"}}));
  EXPECT_TRUE(StoredEntries(path).empty());
}

TEST_F(LevelDbStorageTest, UnrelatedDirectoryWithStrayCurrentKeepsEveryFile) {
  fs::create_directories(path + "/notes");
  test::WriteFile(path + "/CURRENT", "not a manifest name\n");
  test::WriteFile(path + "/todo.txt", "keep me");
  test::WriteFile(path + "/notes/n1", "keep me too");

  RecordingLogger logger;
  LevelDbStorage storage(path);
  const std::string aside = AsideOf(dir.Root(), "db");
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(DataFilesIn(aside), (std::map<std::string, std::string>{
                                    {"CURRENT", "not a manifest name\n"}, {"todo.txt", "keep me"}}));
  EXPECT_EQ(test::ReadFile(aside + "/notes/n1"), "keep me too");
  ASSERT_EQ(logger.Texts().size(), 3u);
  EXPECT_EQ(logger.Texts()[0].rfind("Database \"" + path + "\" corrupted (Corruption: ", 0), 0u)
      << logger.Texts()[0];
}

TEST_F(LevelDbStorageTest, CorruptDatabaseThatCannotBeMovedIsLeftAlone) {
  // The stamped sibling of a name this long exceeds the file name limit.
  const std::string longPath = dir.Path(std::string(240, 'd'));
  WriteWithLevelDb(longPath, {{"r1", "v1"}});
  DropCurrentNewline(longPath);
  const auto damaged = DataFilesIn(longPath);

  RecordingLogger logger;
  EXPECT_THROW(LevelDbStorage storage(longPath), std::runtime_error);
  EXPECT_EQ(NamesIn(dir.Root()), std::vector<std::string>{std::string(240, 'd')});
  EXPECT_EQ(DataFilesIn(longPath), damaged);
  EXPECT_EQ(logger.Texts().size(), 1u);
}

TEST_F(LevelDbStorageTest, OtherOpenFailuresThrowAndMoveNothing) {
  test::WriteFile(dir.Path("file"), "a regular file");
  WriteWithLevelDb(path, {{"r1", "v1"}});
  LevelDbStorage holder(path);

  RecordingLogger logger;
  for (const std::string& target : {dir.Path("file"), path}) {
    try {
      LevelDbStorage storage(target);
      ADD_FAILURE() << "opened " << target;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()).rfind("IO error: ", 0), 0u) << error.what();
    }
  }
  EXPECT_TRUE(logger.Messages().empty());
  EXPECT_EQ(NamesIn(dir.Root()), (std::vector<std::string>{"db", "file"}));
  EXPECT_EQ(test::ReadFile(dir.Path("file")), "a regular file");
}

TEST_F(LevelDbStorageTest, ReadErrorInTheMiddleIsNotTakenForTheEnd) {
  // Each reopen turns the previous session's log into a table, so the "b"
  // entries end up in the newest table, after the "a" entries.
  WriteWithLevelDb(path, {{"a1", "1"}, {"a2", "2"}});
  WriteWithLevelDb(path, {{"b1", "3"}, {"b2", "4"}});
  WriteWithLevelDb(path, {});
  std::string newestTable;
  for (const std::string& name : NamesIn(path)) {
    if (fs::path(name).extension() == ".ldb") {
      newestTable = path + "/" + name;
    }
  }
  ASSERT_FALSE(newestTable.empty());
  fs::resize_file(newestTable, fs::file_size(newestTable) / 2);

  LevelDbStorage storage(path);
  std::vector<std::string> visited;
  const EntryCallback collect = [&visited](const std::string& key, const std::string&) {
    visited.push_back(key);
  };
  EXPECT_THROW(storage.ForEach(collect), std::runtime_error);
  EXPECT_EQ(visited, (std::vector<std::string>{"a1", "a2"}));
  EXPECT_THROW(storage.ForEachWithPrefix("b", collect), std::runtime_error);
  EXPECT_THROW(storage.ForEachKey([](const std::string&) {}), std::runtime_error);
}

}  // namespace
}  // namespace qz::evmon
