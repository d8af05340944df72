#include "PrivateDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace qz::evmon {

namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kCleanupSignals / sizeof kCleanupSignals[0];

// What the signal handler needs, in memory it can read without allocating.
char armedPath[PATH_MAX];
volatile sig_atomic_t armed = 0;
struct sigaction previousActions[kSignalCount];

// Async-signal-safe: only system calls, a buffer on the stack. Unlinking
// while reading the directory may hide entries from the reading, so passes
// repeat until one finds nothing left.
void RemoveEntries(const char* dir) {
  const int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return;
  }
  alignas(dirent64) char buffer[4096];
  for (bool removed = true; removed;) {
    removed = false;
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t size; (size = ::getdents64(fd, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < size;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
        at += entry->d_reclen;
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
            ::unlinkat(fd, name, 0) == 0) {
          removed = true;
        }
      }
    }
  }
  ::close(fd);
}

// A file created by another thread between the last pass and rmdir makes
// rmdir fail; a few more rounds catch it.
void RemoveDirectory(const char* dir) {
  for (int round = 0; round < 100; ++round) {
    RemoveEntries(dir);
    if (::rmdir(dir) == 0 || errno != ENOTEMPTY) {
      return;
    }
  }
}

void RemoveAndRedeliver(int signal) {
  if (armed) {
    RemoveDirectory(armedPath);
  }
  // Back to the default action; the signal raised here is delivered as soon
  // as this handler returns, and ends the process as it would have.
  struct sigaction byDefault = {};
  byDefault.sa_handler = SIG_DFL;
  ::sigaction(signal, &byDefault, nullptr);
  ::raise(signal);
}

std::string TempRoot() {
  const char* root = std::getenv("TMPDIR");
  return root != nullptr && *root != '\0' ? root : "/tmp";
}

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t blocked;
    ::sigemptyset(&blocked);
    for (const int signal : kCleanupSignals) {
      ::sigaddset(&blocked, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &blocked, &saved);
  }
  ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &saved, nullptr); }

 private:
  sigset_t saved;
};

}  // namespace

PrivateDirectory::PrivateDirectory() {
  std::string name = TempRoot() + "/veltrix-XXXXXX";
  if (name.size() >= sizeof armedPath) {
    throw std::runtime_error("cannot create a temporary directory in " + TempRoot() + ": " +
                             std::strerror(ENAMETOOLONG));
  }
  // No signal may end the run between making the directory and arming the
  // handler that removes it.
  const SignalsBlocked blocked;
  if (::mkdtemp(name.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary directory in " + TempRoot() + ": " +
                             std::strerror(errno));
  }
  path = name;
  std::memcpy(armedPath, path.c_str(), path.size() + 1);
  armed = 1;
  struct sigaction cleanup = {};
  cleanup.sa_handler = RemoveAndRedeliver;
  ::sigemptyset(&cleanup.sa_mask);
  for (int i = 0; i < kSignalCount; ++i) {
    ::sigaction(kCleanupSignals[i], nullptr, &previousActions[i]);
    // An ignored signal (a background job's SIGINT) stays ignored.
    if (previousActions[i].sa_handler != SIG_IGN) {
      ::sigaction(kCleanupSignals[i], &cleanup, nullptr);
    }
  }
}

PrivateDirectory::~PrivateDirectory() {
  RemoveDirectory(path.c_str());
  const SignalsBlocked blocked;
  armed = 0;
  for (int i = 0; i < kSignalCount; ++i) {
    ::sigaction(kCleanupSignals[i], &previousActions[i], nullptr);
  }
}

void PrivateDirectory::Clear() const { RemoveEntries(path.c_str()); }

}  // namespace qz::evmon
