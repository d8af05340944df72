#include "LevelDbStorage.h"

#include <sys/resource.h>

#include <csignal>
#include <map>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <leveldb/db.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

namespace fs = boost::filesystem;
using Entries = std::map<std::string, std::string>;
using Strings = std::vector<std::string>;

// Opens the database at `path` with LevelDB alone: an independent writer and
// reader to check the store against.
std::unique_ptr<leveldb::DB> OpenWithLevelDb(const std::string& path) {
  leveldb::Options options;
  options.create_if_missing = true;
  leveldb::DB* db = nullptr;
  EXPECT_TRUE(leveldb::DB::Open(options, path, &db).ok()) << path;
  return std::unique_ptr<leveldb::DB>(db);
}

void WriteWithLevelDb(const std::string& path, const Entries& entries) {
  const auto db = OpenWithLevelDb(path);
  for (const auto& [key, value] : entries) {
    db->Put(leveldb::WriteOptions(), key, value);
  }
}

// What a reader finds stored at `path`. It reads a copy of the files, since
// the store under test may still hold the database open.
Entries StoredEntries(const std::string& path) {
  test::TestDirectory copy;
  for (const auto& file : fs::directory_iterator(path)) {
    if (file.path().filename() != "LOCK") {
      fs::copy_file(file.path(), copy.Path(file.path().filename().string()));
    }
  }
  Entries entries;
  const auto db = OpenWithLevelDb(copy.root);
  const std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
  for (it->SeekToFirst(); it->Valid(); it->Next()) {
    entries.emplace(it->key().ToString(), it->value().ToString());
  }
  return entries;
}

// "key=value" for each entry ForEachWithPrefix visits.
Strings Visit(const LevelDbStorage& storage, const std::string& prefix = "") {
  Strings visits;
  storage.ForEachWithPrefix(prefix, [&visits](const std::string& key, const std::string& value) {
    visits.push_back(key + "=" + value);
  });
  return visits;
}

// The database's own files: LevelDB renews its info log (LOG, LOG.old) and
// LOCK at every open attempt.
Entries DataFilesIn(const std::string& dir) {
  Entries files = test::EntriesIn(dir);
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

TEST_F(LevelDbStorageTest, OpeningCreatesMissingDatabaseAndLogsOnce) {
  test::RecordingLogger logger;
  LevelDbStorage storage(path);
  EXPECT_EQ(logger.texts, Strings{"Database " + path + " successfully opened"});
  EXPECT_EQ(logger.levels, std::vector<Level>{Level::Info});
  EXPECT_EQ(logger.functions, Strings{"LevelDbStorage"});
  EXPECT_TRUE(Visit(storage).empty());
  std::string value = "untouched";
  EXPECT_FALSE(storage.Get("missing", value));
  EXPECT_EQ(value, "untouched");
}

TEST_F(LevelDbStorageTest, PendingWritesAreSeenAtOnceAndStoredAtClose) {
  const std::string zeroKey("k\0z", 3);
  const std::string zeroValue("v\0w", 3);
  {
    LevelDbStorage storage(path);
    storage.Put(zeroKey, zeroValue);
    std::string value;
    EXPECT_TRUE(storage.Get(zeroKey, value));
    EXPECT_EQ(value, zeroValue);
    EXPECT_TRUE(StoredEntries(path).empty());
  }
  EXPECT_EQ(StoredEntries(path), (Entries{{zeroKey, zeroValue}}));
}

LevelDbStorageOptions WithFlushThreshold(std::size_t bytes) {
  LevelDbStorageOptions options;
  options.flushThreshold = bytes;
  return options;
}

TEST_F(LevelDbStorageTest, FlushesWhenPendingValuesExceedTheThreshold) {
  constexpr std::size_t kThreshold = 1u << 20;
  const std::string big(kThreshold - 1, 'x');
  WriteWithLevelDb(path, {{"gone", "1"}});
  LevelDbStorage storage(path, WithFlushThreshold(kThreshold));
  storage.Delete("gone");
  storage.Put("a", std::string(big.size(), 'y'));
  storage.Put("a", big);  // a repeated key counts once, with its latest value
  storage.Put("b", "1");
  EXPECT_EQ(StoredEntries(path), (Entries{{"gone", "1"}})) << "flushed at exactly the threshold";

  storage.Put("b", "22");
  EXPECT_EQ(StoredEntries(path), (Entries{{"a", big}, {"b", "22"}}));
  storage.Put("c", "3");
  EXPECT_EQ(StoredEntries(path).count("c"), 0u) << "the count did not restart after the flush";
}

TEST_F(LevelDbStorageTest, DefaultsAreThoseOfTheProgram) {
  EXPECT_EQ(LevelDbStorageOptions().flushThreshold, 32u << 20);
  EXPECT_EQ(LevelDbStorageOptions().blockCacheCapacity, 256u << 20);
}

// Files of this process may grow to `bytes` only while it lives; a longer
// write fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
  }

 private:
  rlimit old{};
  void (*oldHandler)(int);
};

TEST_F(LevelDbStorageTest, FailedFlushThrowsAndFailedCloseIsLogged) {
  test::RecordingLogger logger;
  {
    const FileSizeLimit limit(1024);
    LevelDbStorage storage(path);
    storage.Put("r", std::string(4096, 'v'));
    EXPECT_THROW(storage.Flush(), std::runtime_error);
    std::string value;
    EXPECT_TRUE(storage.Get("r", value)) << "still pending";
  }
  ASSERT_EQ(logger.levels.back(), Level::Error);
  EXPECT_EQ(logger.texts.back().rfind("Pending changes not stored: IO error: ", 0), 0u)
      << logger.texts.back();
}

// Puts ("P") and Deletes ("D") of key k over a database that stores k = "old".
struct DeleteCase {
  std::string operations;
  bool present;  // whether k ends up with the value "new"
};

void PrintTo(const DeleteCase& c, std::ostream* os) { *os << c.operations; }

class LevelDbStorageDeleteTest : public LevelDbStorageTest,
                                 public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(LevelDbStorageDeleteTest, GetTraversalAndDatabaseAgree) {
  WriteWithLevelDb(path, {{"k", "old"}, {"other", "o"}});
  const Strings expected = GetParam().present ? Strings{"k=new", "other=o"} : Strings{"other=o"};
  {
    LevelDbStorage storage(path);
    for (const char operation : GetParam().operations) {
      operation == 'P' ? storage.Put("k", "new") : storage.Delete("k");
    }
    std::string value;
    EXPECT_EQ(storage.Get("k", value), GetParam().present);
    EXPECT_EQ(Visit(storage), expected);
  }
  LevelDbStorage reopened(path);
  EXPECT_EQ(Visit(reopened), expected);
}

INSTANTIATE_TEST_SUITE_P(Sequences, LevelDbStorageDeleteTest,
                         ::testing::Values(DeleteCase{"D", false}, DeleteCase{"PD", false},
                                           DeleteCase{"DP", true}, DeleteCase{"PDP", true},
                                           DeleteCase{"DPD", false}, DeleteCase{"DD", false}));

TEST_F(LevelDbStorageTest, TraversalsMergePendingChangesInKeyOrder) {
  WriteWithLevelDb(path, {{"a", "1"}, {"b", "2"}, {"d", "4"}, {"f", "6"}});
  LevelDbStorage storage(path);
  for (const auto& [key, value] :
       Entries{{"b", "20"}, {"c", "3"}, {"0", "0"}, {"ba", "21"}, {"g", "7"}}) {
    storage.Put(key, value);
  }
  storage.Delete("d");
  storage.Delete("x");

  EXPECT_EQ(Visit(storage), (Strings{"0=0", "a=1", "b=20", "ba=21", "c=3", "f=6", "g=7"}));
  EXPECT_EQ(Visit(storage, "b"), (Strings{"b=20", "ba=21"}));
  EXPECT_EQ(Visit(storage, "d"), Strings{});
  Strings all;
  storage.ForEach([&all](const std::string& key, const std::string&) { all.push_back(key); });
  Strings keys;
  storage.ForEachKey([&keys](const std::string& key) { keys.push_back(key); });
  EXPECT_EQ(keys, (Strings{"0", "a", "b", "ba", "c", "f", "g"}));
  EXPECT_EQ(all, keys);
}

TEST_F(LevelDbStorageTest, PrefixTraversalStopsAtFirstKeyWithoutPrefix) {
  const std::string bZero("b\0", 2);
  WriteWithLevelDb(path, {{"a", "1"}, {"ab", "2"}, {"b", "3"}, {bZero, "4"}});
  LevelDbStorage storage(path);
  const std::map<std::string, Strings> expected = {{"", {"a=1", "ab=2", "b=3", bZero + "=4"}},
                                                   {"a", {"a=1", "ab=2"}},
                                                   {"ab", {"ab=2"}},
                                                   {"aa", {}},
                                                   {"abc", {}},
                                                   {bZero, {bZero + "=4"}},
                                                   {"c", {}},
                                                   {"\xff", {}}};
  for (const auto& [prefix, visits] : expected) {
    EXPECT_EQ(Visit(storage, prefix), visits) << "prefix " << ::testing::PrintToString(prefix);
  }
}

void DropCurrentNewline(const std::string& path) {
  std::string current = test::ReadFile(path + "/CURRENT");
  ASSERT_EQ(current.back(), '\n');
  current.pop_back();
  test::WriteFile(path + "/CURRENT", current);
}

// The one entry of dir's parent named "<dir>.corrupt-<UTC stamp>", or "".
std::string AsideOf(const std::string& dir) {
  const fs::path path(dir);
  const std::regex pattern(path.filename().string() + R"(\.corrupt-\d{8}T\d{6}Z)");
  Strings matches;
  for (const auto& [name, content] : test::EntriesIn(path.parent_path().string())) {
    if (std::regex_match(name, pattern)) {
      matches.push_back((path.parent_path() / name).string());
    }
  }
  return matches.size() == 1 ? matches[0] : "";
}

TEST_F(LevelDbStorageTest, CorruptDatabaseIsMovedAsideIntactAndRecreated) {
  WriteWithLevelDb(path, {{"r1", "v1"}});
  DropCurrentNewline(path);
  const Entries damaged = DataFilesIn(path);

  test::RecordingLogger logger;
  Strings reported;
  LevelDbStorageOptions options;
  options.onMovedAside = [&reported](const std::string& reason, const std::string& asidePath) {
    reported = {reason, asidePath};
  };
  EXPECT_TRUE(Visit(LevelDbStorage(path + "/", options)).empty());
  const std::string aside = AsideOf(path);
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(reported, (Strings{"Corruption: CURRENT file does not end with newline", aside}));
  EXPECT_EQ(DataFilesIn(aside), damaged);
  EXPECT_EQ(logger.texts, (Strings{"Database \"" + path +
                                       "/\" corrupted (Corruption: CURRENT file does not end with "
                                       "newline). Will be moved aside and recreated",
                                   "Database " + path + "/ moved to " + aside,
                                   "Database " + path + "/ successfully opened"}));

  // Nothing was lost: mending the damage by hand brings the data back.
  test::WriteFile(aside + "/CURRENT", test::ReadFile(aside + "/CURRENT") + "\n");
  EXPECT_EQ(StoredEntries(aside), (Entries{{"r1", "v1"}}));
}

// A table file no descriptor lists, numbered above the database's files, as a
// compaction leaves its output when the owner closes the database midway.
const char kAbandonedOutput[] = "000099.ldb";

TEST_F(LevelDbStorageTest, OutputOfAnAbandonedCompactionIsRemovedNotTakenForDamage) {
  WriteWithLevelDb(path, {{"r1", "v1"}});
  test::WriteFile(path + "/" + kAbandonedOutput, "cut short");
  {
    test::RecordingLogger logger;
    EXPECT_EQ(Visit(LevelDbStorage(path)), Strings{"r1=v1"});
    EXPECT_EQ(logger.texts, Strings{"Database " + path + " successfully opened"});
  }
  EXPECT_TRUE(AsideOf(path).empty());
  EXPECT_FALSE(fs::exists(path + "/" + kAbandonedOutput));
}

TEST_F(LevelDbStorageTest, UnlistedTableBesideATornDescriptorIsDamage) {
  {
    // The flush adds the descriptor's last record, which lists the table.
    const auto db = OpenWithLevelDb(path);
    db->Put(leveldb::WriteOptions(), "r1", "v1");
    db->CompactRange(nullptr, nullptr);
  }
  std::string table;
  for (const auto& [name, content] : test::EntriesIn(path)) {
    if (fs::path(name).extension() == ".ldb") {
      table = name;
    }
  }
  std::string current = test::ReadFile(path + "/CURRENT");
  current.pop_back();
  const std::string descriptor = path + "/" + current;
  fs::resize_file(descriptor, fs::file_size(descriptor) - 3);
  const std::string content = test::ReadFile(path + "/" + table);
  Strings reported;
  LevelDbStorageOptions options;
  options.onMovedAside = [&reported](const std::string& reason, const std::string&) {
    reported.push_back(reason);
  };

  EXPECT_TRUE(Visit(LevelDbStorage(path, options)).empty());
  EXPECT_EQ(reported, Strings{"Corruption: the descriptor does not list table file " + table});
  const std::string aside = AsideOf(path);
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(test::ReadFile(aside + "/" + table), content);
}

TEST_F(LevelDbStorageTest, CopyIsReportedAsItsOriginalAndItsDamageIsAnError) {
  const std::string original = dir.Path("original");
  LevelDbStorageOptions options;
  options.moveDamagedAside = false;
  options.shownPath = original;
  WriteWithLevelDb(path, {{"r1", "v1"}});
  {
    test::RecordingLogger logger;
    EXPECT_EQ(Visit(LevelDbStorage(path, options)), Strings{"r1=v1"});
    EXPECT_EQ(logger.texts, Strings{"Database " + original + " successfully opened"});
  }

  // The database names its descriptor in this message.
  test::WriteFile(path + "/CURRENT", "MANIFEST-000099\n");
  const Entries damaged = DataFilesIn(path);
  test::RecordingLogger logger;
  try {
    LevelDbStorage storage(path, options);
    ADD_FAILURE() << "opened a damaged copy";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()).find(path), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(original + "/MANIFEST-000099"), std::string::npos)
        << error.what();
  }
  EXPECT_TRUE(AsideOf(path).empty());
  EXPECT_EQ(DataFilesIn(path), damaged);
  EXPECT_TRUE(logger.texts.empty());
}

TEST_F(LevelDbStorageTest, UnrelatedDirectoryWithStrayCurrentKeepsEveryFile) {
  fs::create_directories(path + "/notes");
  test::WriteFile(path + "/CURRENT", "not a manifest name\n");
  test::WriteFile(path + "/notes/n1", "keep me");
  test::RecordingLogger logger;
  LevelDbStorage storage(path);

  const std::string aside = AsideOf(path);
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(DataFilesIn(aside),
            (Entries{{"CURRENT", "not a manifest name\n"}, {"notes", "<dir>"}}));
  EXPECT_EQ(test::ReadFile(aside + "/notes/n1"), "keep me");
  ASSERT_EQ(logger.texts.size(), 3u);
  EXPECT_EQ(logger.texts[0].rfind("Database \"" + path + "\" corrupted (Corruption: ", 0), 0u);
}

TEST_F(LevelDbStorageTest, CorruptDatabaseThatCannotBeMovedIsLeftAlone) {
  // The stamped sibling of a name this long exceeds the file name limit.
  const std::string longPath = dir.Path(std::string(240, 'd'));
  WriteWithLevelDb(longPath, {{"r1", "v1"}});
  DropCurrentNewline(longPath);
  const Entries damaged = DataFilesIn(longPath);

  test::RecordingLogger logger;
  EXPECT_THROW(LevelDbStorage storage(longPath), std::runtime_error);
  EXPECT_EQ(test::EntriesIn(dir.root).size(), 1u);
  EXPECT_EQ(DataFilesIn(longPath), damaged);
  EXPECT_EQ(logger.texts.size(), 1u);
}

TEST_F(LevelDbStorageTest, OtherOpenFailuresThrowAndMoveNothing) {
  test::WriteFile(dir.Path("file"), "a regular file");
  LevelDbStorage holder(path);
  test::RecordingLogger logger;
  for (const std::string& target : {dir.Path("file"), path}) {
    try {
      LevelDbStorage storage(target);
      ADD_FAILURE() << "opened " << target;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()).rfind("IO error: ", 0), 0u) << error.what();
    }
  }
  EXPECT_TRUE(logger.texts.empty());
  EXPECT_EQ(test::EntriesIn(dir.root), (Entries{{"db", "<dir>"}, {"file", "a regular file"}}));
}

TEST_F(LevelDbStorageTest, ReadErrorInTheMiddleIsNotTakenForTheEnd) {
  // Each reopen turns the previous session's log into a table, so the "b"
  // entries end up in the newest table, after the "a" entries.
  WriteWithLevelDb(path, {{"a1", "1"}, {"a2", "2"}});
  WriteWithLevelDb(path, {{"b1", "3"}});
  WriteWithLevelDb(path, {});
  std::string newestTable;
  for (const auto& [name, content] : test::EntriesIn(path)) {
    if (fs::path(name).extension() == ".ldb") {
      newestTable = path + "/" + name;
    }
  }
  ASSERT_FALSE(newestTable.empty());
  fs::resize_file(newestTable, fs::file_size(newestTable) / 2);

  LevelDbStorage storage(path);
  Strings visited;
  const EntryCallback collect = [&visited](const std::string& key, const std::string&) {
    visited.push_back(key);
  };
  EXPECT_THROW(storage.ForEach(collect), std::runtime_error);
  EXPECT_EQ(visited, (Strings{"a1", "a2"}));
  EXPECT_THROW(storage.ForEachWithPrefix("b", collect), std::runtime_error);
  EXPECT_THROW(storage.ForEachKey([](const std::string&) {}), std::runtime_error);
}

}  // namespace
}  // namespace qz::evmon
