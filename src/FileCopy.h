// Copying a file that its owner may still be appending to.

#ifndef QZ_EVMON_FILE_COPY_H_
#define QZ_EVMON_FILE_COPY_H_

#include <cstdint>
#include <optional>
#include <string>

namespace qz::evmon {

// Copies the file at `from` into the new file `to` (created with mode 0600;
// it must not exist): the bytes `from` holds when it is opened, or all it
// holds when the file system clones it whole. Clones the file where the file
// system allows (a reflink), lets the kernel copy it where it can
// (copy_file_range), and reads and writes it otherwise. Returns the number
// of bytes copied, or nothing, creating no file, when `from` does not
// exist. Throws std::runtime_error naming the file when either side fails.
std::optional<std::uint64_t> CopyFile(const std::string& from, const std::string& to);

}  // namespace qz::evmon

#endif  // QZ_EVMON_FILE_COPY_H_
