#include "DatabaseAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <boost/filesystem.hpp>

#include "DatabaseFiles.h"

namespace qz::evmon {

namespace {

bool LockHeldElsewhere(const std::string& dir) {
  const int fd = ::open((dir + "/LOCK").c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return false;
  }
  // LevelDB write-locks the whole file; asking whether such a lock could be
  // taken reports the holder without taking anything.
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  const bool held = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

// Only a refusal counts: a file that vanished meanwhile is no obstacle.
bool RefusesWriting(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT;
}

bool IsLevelDbFileName(const std::string& name) {
  return name == "LOCK" || name == "LOG" || name == "LOG.old" || name == "CURRENT" ||
         IsDataFileName(name);
}

bool NotWritable(const std::string& dir) {
  if (RefusesWriting(dir)) {
    return true;
  }
  namespace fs = boost::filesystem;
  boost::system::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    if (IsLevelDbFileName(it->path().filename().string()) && RefusesWriting(it->path().string())) {
      return true;
    }
  }
  return false;
}

}  // namespace

DatabaseAccess ProbeDatabaseAccess(const std::string& dir) {
  struct stat status;
  if (::stat(dir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return DatabaseAccess::Open;
  }
  if (LockHeldElsewhere(dir)) {
    return DatabaseAccess::HeldByAnotherProcess;
  }
  if (NotWritable(dir)) {
    return DatabaseAccess::NotWritable;
  }
  return DatabaseAccess::Open;
}

}  // namespace qz::evmon
