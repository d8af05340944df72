#include "DatabaseSnapshot.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <boost/filesystem.hpp>

#include "DatabaseFiles.h"
#include "DescriptorReader.h"
#include "FileCopy.h"
#include "PrivateDirectory.h"

namespace qz::evmon {

namespace {

// What one copy took, to tell afterwards whether the owner changed the
// database meanwhile.
struct CopiedState {
  std::string current;
  // The files an owner appends to, each with the number of bytes copied.
  std::vector<std::pair<std::string, std::uint64_t>> logs;
  std::pair<std::string, std::uint64_t> descriptor;
  LiveFiles files;
  // A file the copied descriptor needs was missing: a table a compaction
  // replaced, or the descriptor itself after CURRENT moved on.
  bool fileMissing = false;
};

std::optional<std::string> ReadFile(const std::string& path) {
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    const int error = errno;
    if (error == ENOENT) {
      return std::nullopt;
    }
    throw std::runtime_error("IO error: " + path + ": " +
                             (error != 0 ? std::strerror(error) : "cannot be read"));
  }
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!(file << bytes) || !file.flush()) {
    throw std::runtime_error("IO error: " + path + ": cannot be written");
  }
}

std::optional<std::uint64_t> SizeOf(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return status.st_size;
}

// The descriptor CURRENT names, or "" when it names none well-formed, which
// the open of the copy then reports.
std::string DescriptorNamedBy(const std::string& current) {
  if (current.empty() || current.back() != '\n') {
    return "";
  }
  const std::string name = current.substr(0, current.size() - 1);
  return IsDescriptorFileName(name) ? name : "";
}

std::string NumberedName(std::uint64_t number, const char* suffix) {
  char name[32];
  std::snprintf(name, sizeof name, "%06llu.%s", static_cast<unsigned long long>(number), suffix);
  return name;
}

// The write-ahead logs in `dir`, oldest first.
std::vector<std::string> Logs(const std::string& dir) {
  std::vector<std::pair<std::uint64_t, std::string>> logs;
  namespace fs = boost::filesystem;
  for (fs::directory_iterator it(dir), end; it != end; ++it) {
    const std::string name = it->path().filename().string();
    if (IsLogFileName(name)) {
      logs.emplace_back(std::stoull(name), name);
    }
  }
  std::sort(logs.begin(), logs.end());
  std::vector<std::string> names;
  for (auto& log : logs) {
    names.push_back(std::move(log.second));
  }
  return names;
}

// Every table file in `dir`, opened, by number; as many as the process may
// open.
std::map<std::uint64_t, SourceFile> OpenTables(const std::string& dir) {
  std::map<std::uint64_t, SourceFile> tables;
  bool tooMany = false;
  namespace fs = boost::filesystem;
  for (fs::directory_iterator it(dir), end; it != end && !tooMany; ++it) {
    const std::string name = it->path().filename().string();
    if (IsTableFileName(name)) {
      if (std::optional<SourceFile> table = SourceFile::Open(it->path().string(), &tooMany)) {
        tables.emplace(std::stoull(name), std::move(*table));
      }
    }
  }
  return tables;
}

// Copies the table numbered `number`, from `opened` when it is there, by
// name otherwise. False when it is missing.
bool CopyTable(std::uint64_t number, const std::map<std::uint64_t, SourceFile>& opened,
               const std::string& dir, const std::string& into) {
  for (const char* suffix : {"ldb", "sst"}) {
    const std::string name = NumberedName(number, suffix);
    const auto table = opened.find(number);
    if (table != opened.end() && boost::filesystem::path(table->second.Path()).filename() == name) {
      table->second.CopyTo(into + "/" + name);
      return true;
    }
    if (CopyFile(dir + "/" + name, into + "/" + name)) {
      return true;
    }
  }
  return false;
}

// The logs are copied first, the descriptor next, its tables last. Then the
// copy holds one state the database had, whatever its owner does meanwhile:
// the descriptor's tables hold every write older than its log number, and
// the logs from that number on, each copied up to where it ended when read,
// hold writes that came after those, with no gap (a log is appended to only
// until a newer one starts). Logs the owner removes meanwhile are older than
// the copied descriptor's log number and not needed. Tables never change once
// listed, but a compaction may remove one. So every table is opened right
// after the descriptor is copied, before it is read, which keeps the bytes
// of the tables it lists; only a table removed in that short while is
// missing (fileMissing).
CopiedState CopyCurrentState(const std::string& dir, const std::string& into) {
  CopiedState state;
  const std::optional<std::string> current = ReadFile(dir + "/CURRENT");
  if (!current) {
    const std::string orphan = DataFileWithoutCurrent(dir);
    if (!orphan.empty()) {
      throw std::runtime_error(DataFileWithoutCurrentDamage(orphan));
    }
    throw std::runtime_error(dir + " holds no database, and a new one cannot be created there");
  }
  state.current = *current;
  WriteFile(into + "/CURRENT", state.current);

  for (const std::string& log : Logs(dir)) {
    if (const std::optional<std::uint64_t> bytes = CopyFile(dir + "/" + log, into + "/" + log)) {
      state.logs.emplace_back(log, *bytes);
    }
  }

  // A CURRENT that names no descriptor, or one that is missing, is left for
  // the open of the copy to report.
  const std::string descriptor = DescriptorNamedBy(state.current);
  if (descriptor.empty()) {
    return state;
  }
  const std::optional<std::uint64_t> descriptorBytes =
      CopyFile(dir + "/" + descriptor, into + "/" + descriptor);
  if (!descriptorBytes) {
    state.fileMissing = true;
    return state;
  }
  state.descriptor = {descriptor, *descriptorBytes};
  const std::map<std::uint64_t, SourceFile> tables = OpenTables(dir);
  state.files = ReadLiveFiles(ReadFile(into + "/" + descriptor).value_or(""));
  for (const std::uint64_t table : state.files.tables) {
    if (!CopyTable(table, tables, dir, into)) {
      state.fileMissing = true;
    }
  }
  return state;
}

// A table in `dir` that the copied descriptor does not list, or "": one whose
// record a descriptor that lost its tail no longer holds, one an owner is
// writing or has just replaced, or the output of a compaction an owner
// abandoned at close.
std::string UnlistedTable(const std::string& dir, const LiveFiles& files) {
  namespace fs = boost::filesystem;
  for (fs::directory_iterator it(dir), end; it != end; ++it) {
    const std::string name = it->path().filename().string();
    if (IsTableFileName(name) && files.tables.count(std::stoull(name)) == 0) {
      return name;
    }
  }
  return "";
}

bool CurrentUnchanged(const CopiedState& state, const std::string& dir) {
  return ReadFile(dir + "/CURRENT") == state.current;
}

// True when the descriptor grew after it was copied: the owner recorded a
// change of its files, and may remove the ones it replaced.
bool DescriptorGrew(const CopiedState& state, const std::string& dir) {
  return !state.descriptor.first.empty() &&
         SizeOf(dir + "/" + state.descriptor.first).value_or(0) > state.descriptor.second;
}

// True when the descriptor or a log grew after it was copied: a record read
// while its owner was still writing it may be torn or fail its checksum.
bool AnyGrew(const CopiedState& state, const std::string& dir) {
  return DescriptorGrew(state, dir) ||
         std::any_of(state.logs.begin(), state.logs.end(),
                     [&dir](const std::pair<std::string, std::uint64_t>& file) {
                       return SizeOf(dir + "/" + file.first).value_or(0) > file.second;
                     });
}

enum class Verdict { Consistent, Raced };

// Whether the copy can stand for the database. Throws the damage the open in
// place would have found, where the copy shows it. Without an owner nothing
// changes, and a missing file is damage that the open of the copy reports.
Verdict Judge(const CopiedState& state, const std::string& dir, bool held) {
  if (!CurrentUnchanged(state, dir)) {
    return Verdict::Raced;
  }
  const bool descriptorGrew = held && DescriptorGrew(state, dir);
  if (state.fileMissing && descriptorGrew) {
    return Verdict::Raced;
  }
  // A torn descriptor is how an owner's edit looks while it is appended, and
  // how a descriptor that lost its tail looks for good. Beside a descriptor
  // read to its end, an unlisted table is no damage, as in the open in place.
  if (!state.files.complete) {
    const std::string unlisted = UnlistedTable(dir, state.files);
    if (!unlisted.empty()) {
      if (descriptorGrew) {
        return Verdict::Raced;
      }
      throw std::runtime_error(UnlistedTableDamage(unlisted));
    }
  }
  return Verdict::Consistent;
}

// The store over the copy, declared after the copy so that it is closed
// before the copy goes.
struct Snapshot {
  PrivateDirectory directory;
  std::unique_ptr<LevelDbStorage> storage;
};

}  // namespace

std::shared_ptr<KeyValueStorage> OpenSnapshot(const std::string& dir, bool held,
                                              LevelDbStorageOptions options) {
  options.moveDamagedAside = false;
  options.shownPath = dir;
  const auto snapshot = std::make_shared<Snapshot>();
  const std::string& copy = snapshot->directory.Path();
  for (int attempt = 1; attempt <= kSnapshotAttempts; ++attempt) {
    if (attempt > 1) {
      snapshot->directory.Clear();
      // Gives the owner's compaction time to finish.
      std::this_thread::sleep_for(std::chrono::milliseconds(5 << attempt));
    }
    const CopiedState state = CopyCurrentState(dir, copy);
    if (Judge(state, dir, held) == Verdict::Raced) {
      continue;
    }
    try {
      snapshot->storage = std::make_unique<LevelDbStorage>(copy, options);
    } catch (const std::runtime_error&) {
      if (held && (!CurrentUnchanged(state, dir) || AnyGrew(state, dir))) {
        continue;
      }
      throw;
    }
    return std::shared_ptr<KeyValueStorage>(snapshot, snapshot->storage.get());
  }
  throw std::runtime_error("database " + dir + " kept changing while it was copied; try again");
}

}  // namespace qz::evmon
