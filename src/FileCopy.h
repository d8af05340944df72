// Copying a file that its owner may still be appending to, or may remove.

#ifndef QZ_EVMON_FILE_COPY_H_
#define QZ_EVMON_FILE_COPY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace qz::evmon {

// A file opened for reading. While it is open its bytes stay readable, even
// after its owner removes the file. Not copyable; movable.
class SourceFile {
 public:
  // Opens the file at `path`. Returns nothing when it does not exist, or
  // when the process may open no more files (`tooMany` is set then, when
  // given). Throws std::runtime_error naming the file on other failures.
  static std::optional<SourceFile> Open(const std::string& path, bool* tooMany = nullptr);

  SourceFile(SourceFile&& other) noexcept;
  SourceFile& operator=(SourceFile&& other) noexcept;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile();

  // Copies the file into the new file `to` (created with mode 0600; it must
  // not exist): the bytes it holds now, or all it holds when the file system
  // clones it whole. Clones it where the file system allows (a reflink), lets
  // the kernel copy it where it can (copy_file_range), and reads and writes
  // it otherwise. Returns the number of bytes copied. Throws
  // std::runtime_error naming the file when either side fails.
  std::uint64_t CopyTo(const std::string& to) const;

  const std::string& Path() const { return path; }

 private:
  SourceFile(int fd, std::string path) : fd(fd), path(std::move(path)) {}

  int fd;
  std::string path;
};

// Opens `from` and copies it to `to` as SourceFile::CopyTo does. Returns
// nothing, creating no file, when `from` does not exist.
std::optional<std::uint64_t> CopyFile(const std::string& from, const std::string& to);

}  // namespace qz::evmon

#endif  // QZ_EVMON_FILE_COPY_H_
