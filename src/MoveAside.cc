#include "MoveAside.h"

#include <boost/filesystem.hpp>

namespace qz::evmon {

namespace {

std::string UtcStamp(std::time_t now) {
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[sizeof "YYYYMMDDTHHMMSSZ"];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

// A dangling symbolic link also takes a name, so links are not followed.
bool NameTaken(const std::string& path) {
  return boost::filesystem::exists(boost::filesystem::symlink_status(path));
}

}  // namespace

std::string MoveAside(const std::string& path, std::time_t now) {
  std::string source = path;
  while (source.size() > 1 && source.back() == '/') {
    source.pop_back();
  }
  const std::string stem = source + ".corrupt-" + UtcStamp(now);
  std::string target = stem;
  for (int suffix = 1; NameTaken(target); ++suffix) {
    target = stem + "-" + std::to_string(suffix);
  }
  boost::filesystem::rename(source, target);
  return target;
}

}  // namespace qz::evmon
