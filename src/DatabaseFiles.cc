#include "DatabaseFiles.h"

#include <algorithm>
#include <cctype>

#include <boost/filesystem.hpp>

namespace qz::evmon {

namespace {

bool AllDigits(const std::string& text, std::size_t begin, std::size_t end) {
  return begin < end && std::all_of(text.begin() + begin, text.begin() + end,
                                    [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool IsNumberedWithSuffix(const std::string& name, const std::string& suffix) {
  return name.size() > suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
         AllDigits(name, 0, name.size() - suffix.size());
}

}  // namespace

bool IsTableFileName(const std::string& name) {
  return IsNumberedWithSuffix(name, ".ldb") || IsNumberedWithSuffix(name, ".sst");
}

bool IsDescriptorFileName(const std::string& name) {
  static const std::string kDescriptorPrefix = "MANIFEST-";
  return name.compare(0, kDescriptorPrefix.size(), kDescriptorPrefix) == 0 &&
         AllDigits(name, kDescriptorPrefix.size(), name.size());
}

bool IsLogFileName(const std::string& name) { return IsNumberedWithSuffix(name, ".log"); }

bool IsDataFileName(const std::string& name) {
  return IsDescriptorFileName(name) || IsTableFileName(name) || IsLogFileName(name);
}

std::string DataFileWithoutCurrent(const std::string& dir) {
  namespace fs = boost::filesystem;
  boost::system::error_code error;
  // A CURRENT that cannot be examined is left for LevelDB to report.
  if (fs::symlink_status(fs::path(dir) / "CURRENT", error).type() != fs::file_not_found) {
    return "";
  }
  std::string found;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (IsDataFileName(name) && (found.empty() || name < found)) {
      found = name;
    }
  }
  return found;
}

std::string DataFileWithoutCurrentDamage(const std::string& name) {
  return "Corruption: " + name + " lies in a directory without a CURRENT file";
}

std::string UnlistedTableDamage(const std::string& name) {
  return "Corruption: the descriptor does not list table file " + name;
}

}  // namespace qz::evmon
