#include "DatabaseSnapshot.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
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
  // The files an owner appends to (the descriptor, the logs), with the number
  // of bytes copied of each.
  std::vector<std::pair<std::string, std::uint64_t>> appendedFiles;
};

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (!boost::filesystem::exists(path)) {
      return std::nullopt;
    }
    throw std::runtime_error("IO error: " + path + ": cannot be read");
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
  return IsDataFileName(name) && name.rfind("MANIFEST-", 0) == 0 ? name : "";
}

std::string NumberedName(std::uint64_t number, const char* suffix) {
  char name[32];
  std::snprintf(name, sizeof name, "%06llu.%s", static_cast<unsigned long long>(number), suffix);
  return name;
}

// The write-ahead logs in `dir` that hold writes the descriptor's tables do
// not, oldest first.
std::vector<std::string> LiveLogs(const std::string& dir, const LiveFiles& files) {
  std::vector<std::pair<std::uint64_t, std::string>> logs;
  namespace fs = boost::filesystem;
  for (fs::directory_iterator it(dir), end; it != end; ++it) {
    const std::string name = it->path().filename().string();
    if (IsDataFileName(name) && name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0) {
      const std::uint64_t number = std::stoull(name.substr(0, name.size() - 4));
      if (number >= files.logNumber ||
          (files.prevLogNumber != 0 && number == files.prevLogNumber)) {
        logs.emplace_back(number, name);
      }
    }
  }
  std::sort(logs.begin(), logs.end());
  std::vector<std::string> names;
  for (auto& log : logs) {
    names.push_back(std::move(log.second));
  }
  return names;
}

// A file that is missing is left out: when the owner removed it, the
// descriptor changed too and the copy is taken again; otherwise the open of
// the copy reports it.
CopiedState CopyCurrentState(const std::string& dir, const std::string& into) {
  CopiedState state;
  const std::optional<std::string> current = ReadFile(dir + "/CURRENT");
  if (!current) {
    const std::string orphan = DataFileWithoutCurrent(dir);
    if (!orphan.empty()) {
      throw std::runtime_error("Corruption: " + orphan +
                               " lies in a directory without a CURRENT file");
    }
    throw std::runtime_error(dir + " holds no database, and a new one cannot be created there");
  }
  state.current = *current;
  WriteFile(into + "/CURRENT", state.current);

  const std::string descriptor = DescriptorNamedBy(state.current);
  if (descriptor.empty()) {
    return state;
  }
  const std::optional<std::uint64_t> descriptorBytes =
      CopyFile(dir + "/" + descriptor, into + "/" + descriptor);
  if (!descriptorBytes) {
    return state;
  }
  state.appendedFiles.emplace_back(descriptor, *descriptorBytes);

  const std::optional<std::string> copiedDescriptor = ReadFile(into + "/" + descriptor);
  const LiveFiles files = ReadLiveFiles(copiedDescriptor.value_or(""));
  for (const std::uint64_t table : files.tables) {
    for (const char* suffix : {"ldb", "sst"}) {
      const std::string name = NumberedName(table, suffix);
      if (CopyFile(dir + "/" + name, into + "/" + name)) {
        break;
      }
    }
  }
  for (const std::string& log : LiveLogs(dir, files)) {
    if (const std::optional<std::uint64_t> bytes = CopyFile(dir + "/" + log, into + "/" + log)) {
      state.appendedFiles.emplace_back(log, *bytes);
    }
  }
  return state;
}

// True when CURRENT still names the same descriptor, and the descriptor still
// has the size copied: no version edit, so no table came or went, during the
// copy. The logs may grow; the copy holds what they had when it read them.
bool StillCurrent(const CopiedState& state, const std::string& dir) {
  if (ReadFile(dir + "/CURRENT") != state.current) {
    return false;
  }
  return state.appendedFiles.empty() ||
         SizeOf(dir + "/" + state.appendedFiles.front().first) ==
             state.appendedFiles.front().second;
}

// True when a log or the descriptor grew after it was copied: a record read
// while its owner was still writing it may fail its checksum.
bool AnyGrew(const CopiedState& state, const std::string& dir) {
  return std::any_of(state.appendedFiles.begin(), state.appendedFiles.end(),
                     [&dir](const std::pair<std::string, std::uint64_t>& file) {
                       return SizeOf(dir + "/" + file.first).value_or(0) > file.second;
                     });
}

// The store over the copy, declared after the copy so that it is closed
// before the copy goes.
struct Snapshot {
  PrivateDirectory directory;
  std::unique_ptr<LevelDbStorage> storage;
};

}  // namespace

std::shared_ptr<KeyValueStorage> OpenSnapshot(const std::string& dir,
                                              LevelDbStorageOptions options) {
  options.moveDamagedAside = false;
  options.shownPath = dir;
  const auto snapshot = std::make_shared<Snapshot>();
  const std::string& copy = snapshot->directory.Path();
  for (int attempt = 1; attempt <= kSnapshotAttempts; ++attempt) {
    if (attempt > 1) {
      snapshot->directory.Clear();
      // Gives the owner's compaction time to finish.
      std::this_thread::sleep_for(std::chrono::milliseconds(10 << attempt));
    }
    const CopiedState state = CopyCurrentState(dir, copy);
    if (!StillCurrent(state, dir)) {
      continue;
    }
    try {
      snapshot->storage = std::make_unique<LevelDbStorage>(copy, options);
    } catch (const std::runtime_error&) {
      if (!StillCurrent(state, dir) || AnyGrew(state, dir)) {
        continue;
      }
      throw;
    }
    return std::shared_ptr<KeyValueStorage>(snapshot, snapshot->storage.get());
  }
  throw std::runtime_error("database " + dir + " kept changing while it was copied; try again");
}

}  // namespace qz::evmon
