#include "file_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fpta.h"

namespace fpta::file_check {

namespace {

// LMDB's meta page (MDB_meta in liblmdb, 64-bit build): a 16-byte page
// header (page number, pad, flags, lower, upper), then magic, format
// version, map address, map size, the free and main databases' records
// (48 bytes each, the free one's pad holding the page size), the last page
// in use and the transaction id. Meta pages are pages 0 and 1; LMDB takes
// the valid one with the higher transaction id.
constexpr size_t kMetaBytes = 152;
constexpr size_t kFlagsAt = 10;
constexpr size_t kMagicAt = 16;
constexpr size_t kVersionAt = 20;
constexpr size_t kPageSizeAt = 40;
constexpr size_t kFreeRootAt = 80;
constexpr size_t kMainRootAt = 128;
constexpr size_t kLastPageAt = 136;
constexpr size_t kTxnIdAt = 144;
constexpr uint16_t kMetaFlag = 0x08;
constexpr uint32_t kMagic = 0xBEEFC0DE;
constexpr uint32_t kFormat = 1;
constexpr uint64_t kNoRoot = ~uint64_t{0};
// LMDB's lock file: two cache lines of header, then one per reader slot.
constexpr off_t kCacheLine = 64;
constexpr const char kLockSuffix[] = "-lock";
constexpr uint64_t kNearlyFull = 64 << 10;

template <typename T>
T At(const unsigned char* page, size_t offset) {
  T value;
  std::memcpy(&value, page + offset, sizeof(value));
  return value;
}

struct Meta {
  uint32_t page_size = 0;
  uint64_t last_page = 0, txn_id = 0, roots[2] = {};
};

bool ReadMeta(int fd, off_t offset, Meta* meta) {
  unsigned char page[kMetaBytes];
  if (pread(fd, page, sizeof(page), offset) != static_cast<ssize_t>(sizeof(page))) return false;
  if ((At<uint16_t>(page, kFlagsAt) & kMetaFlag) == 0 || At<uint32_t>(page, kMagicAt) != kMagic ||
      At<uint32_t>(page, kVersionAt) != kFormat) {
    return false;
  }
  meta->page_size = At<uint32_t>(page, kPageSizeAt);
  meta->last_page = At<uint64_t>(page, kLastPageAt);
  meta->txn_id = At<uint64_t>(page, kTxnIdAt);
  meta->roots[0] = At<uint64_t>(page, kFreeRootAt);
  meta->roots[1] = At<uint64_t>(page, kMainRootAt);
  return true;
}

bool IsPageSize(uint32_t size) { return size >= 512 && size <= 65536 && (size & (size - 1)) == 0; }

// Whether some process holds LMDB's lock on the file: one that is making a
// new database holds it from before the file exists until its meta pages
// are written.
bool LockHeld(const char* path) {
  const std::string lock = std::string(path) + kLockSuffix;
  const int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 1;
  const bool held = fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  close(fd);
  return held;
}

int CheckOpened(int fd, const char* path) {
  struct stat file;
  if (fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) return FPTA_SUCCESS;
  if (file.st_size == 0) return LockHeld(path) ? FPTA_SUCCESS : MDB_INVALID;
  Meta metas[2];
  if (!ReadMeta(fd, 0, &metas[0]) || !IsPageSize(metas[0].page_size)) return MDB_INVALID;
  if (!ReadMeta(fd, metas[0].page_size, &metas[1]) || metas[1].page_size != metas[0].page_size)
    return MDB_INVALID;
  const Meta& newest = metas[metas[1].txn_id > metas[0].txn_id ? 1 : 0];
  // The size is read after the meta page: a writer of another process
  // writes a commit's pages before the meta page that speaks of them.
  if (fstat(fd, &file) != 0) return FPTA_SUCCESS;
  const uint64_t pages = static_cast<uint64_t>(file.st_size) / newest.page_size;
  if (newest.last_page >= pages) return MDB_CORRUPTED;
  for (uint64_t root : newest.roots) {
    if (root != kNoRoot && (root < 2 || root > newest.last_page)) return MDB_CORRUPTED;
  }
  return FPTA_SUCCESS;
}

}  // namespace

int CheckDataFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FPTA_SUCCESS;
  const int status = CheckOpened(fd, path);
  close(fd);
  return status;
}

int PrepareLockFile(const char* path, mode_t mode, unsigned readers, bool* created) {
  const std::string lock = std::string(path) + kLockSuffix;
  int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  *created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = open(lock.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return FPTA_SUCCESS;
  // The system call, not posix_fallocate: where the file system cannot
  // allocate, the C library would write zeros into a lock file that other
  // processes may be using.
  const int status = fallocate(fd, 0, 0, (readers + off_t{2}) * kCacheLine) == 0 ? 0 : errno;
  close(fd);
  if (status != ENOSPC && status != EDQUOT) return FPTA_SUCCESS;
  if (*created) unlink(lock.c_str());
  *created = false;
  return status;
}

bool FindMapping(dev_t device, ino_t inode, uintptr_t* begin, uintptr_t* end) {
  std::FILE* maps = std::fopen("/proc/self/maps", "re");
  if (maps == nullptr) return false;
  // start-end perms offset major:minor inode path
  unsigned long long start, stop, offset, node;
  unsigned major, minor;
  char line[4096];
  bool found = false;
  while (!found && std::fgets(line, sizeof(line), maps) != nullptr) {
    found = std::sscanf(line, "%llx-%llx %*s %llx %x:%x %llu", &start, &stop, &offset, &major,
                        &minor, &node) == 6 &&
            offset == 0 && node == inode && makedev(major, minor) == device;
  }
  std::fclose(maps);
  if (found) {
    *begin = start;
    *end = stop;
  }
  return found;
}

const char* LockSuffix() { return kLockSuffix; }

int CommitStatus(MDB_env* env, int status) {
  int fd;
  struct statvfs volume;
  if (status != EIO || mdb_env_get_fd(env, &fd) != MDB_SUCCESS || fstatvfs(fd, &volume) != 0)
    return status;
  // A short write stops where the file system ran out of blocks; a few may
  // have been freed since.
  const uint64_t free_bytes =
      uint64_t{geteuid() == 0 ? volume.f_bfree : volume.f_bavail} * volume.f_frsize;
  return free_bytes < kNearlyFull ? ENOSPC : status;
}

}  // namespace fpta::file_check
