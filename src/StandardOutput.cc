#include "StandardOutput.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace qz::evmon {

void WriteStandardOutput(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, data, size);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      // A write of 0 bytes for a non-empty request reports no error of its own.
      const int error = written < 0 ? errno : EIO;
      throw std::runtime_error(std::string("Cannot write standard output: ") +
                               std::strerror(error));
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace qz::evmon
