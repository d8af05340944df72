#include "FileCopy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace qz::evmon {

namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw std::runtime_error("IO error: " + path + ": " + std::strerror(error));
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd(fd) {}
  ~FileDescriptor() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd; }

 private:
  int fd;
};

// Errors that only say the kernel will not copy between these two files.
bool KernelCopyUnsupported(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == EBADF;
}

// Copies from `copied` up to `size` through a buffer.
std::uint64_t CopyByReading(const std::string& from, int in, const std::string& to, int out,
                            std::uint64_t copied, std::uint64_t size) {
  std::vector<char> buffer(256u << 10);
  while (copied < size) {
    const ssize_t got = ::pread(in, buffer.data(), buffer.size(), copied);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail(from, errno);
    }
    if (got == 0) {
      break;
    }
    for (ssize_t written = 0; written < got;) {
      const ssize_t put = ::pwrite(out, buffer.data() + written, got - written, copied + written);
      if (put < 0) {
        if (errno == EINTR) {
          continue;
        }
        Fail(to, errno);
      }
      written += put;
    }
    copied += got;
  }
  return copied;
}

}  // namespace

std::optional<SourceFile> SourceFile::Open(const std::string& path, bool* tooMany) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd >= 0) {
    return SourceFile(fd, path);
  }
  if (errno == ENOENT) {
    return std::nullopt;
  }
  if (tooMany != nullptr && (errno == EMFILE || errno == ENFILE)) {
    *tooMany = true;
    return std::nullopt;
  }
  Fail(path, errno);
}

SourceFile::SourceFile(SourceFile&& other) noexcept : fd(other.fd), path(std::move(other.path)) {
  other.fd = -1;
}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
  std::swap(fd, other.fd);
  std::swap(path, other.path);
  return *this;
}

SourceFile::~SourceFile() {
  if (fd >= 0) {
    ::close(fd);
  }
}

std::uint64_t SourceFile::CopyTo(const std::string& to) const {
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    Fail(path, errno);
  }
  const FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) {
    Fail(to, errno);
  }

  if (::ioctl(out.get(), FICLONE, fd) == 0) {
    struct stat cloned;
    if (::fstat(out.get(), &cloned) != 0) {
      Fail(to, errno);
    }
    return cloned.st_size;
  }

  // A file still growing is copied up to the size it had when looked at, so
  // the copy does not chase its writer.
  const std::uint64_t size = status.st_size;
  std::uint64_t copied = 0;
  while (copied < size) {
    loff_t inOffset = copied;
    const ssize_t moved = ::copy_file_range(fd, &inOffset, out.get(), nullptr, size - copied, 0);
    if (moved > 0) {
      copied += moved;
      continue;
    }
    if (moved == 0) {
      break;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) {
      Fail(to, errno);
    }
    if (!KernelCopyUnsupported(errno)) {
      Fail(path, errno);
    }
    return CopyByReading(path, fd, to, out.get(), copied, size);
  }
  return copied;
}

std::optional<std::uint64_t> CopyFile(const std::string& from, const std::string& to) {
  const std::optional<SourceFile> source = SourceFile::Open(from);
  if (!source) {
    return std::nullopt;
  }
  return source->CopyTo(to);
}

}  // namespace qz::evmon
