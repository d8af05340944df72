// Writing to standard output so that a failed write is never taken for a
// printed document.

#ifndef QZ_EVMON_STANDARD_OUTPUT_H_
#define QZ_EVMON_STANDARD_OUTPUT_H_

#include <cstddef>

namespace qz::evmon {

// Writes all `size` bytes at `data` to file descriptor 1, unbuffered, going
// on after short writes and interruptions. Throws std::runtime_error
// ("Cannot write standard output: " and the system's error text) when a
// write fails, for example on a full disk, a closed pipe whose SIGPIPE is
// ignored, or a file size limit whose SIGXFSZ is ignored; what was written
// before the failure stays written.
void WriteStandardOutput(const char* data, std::size_t size);

}  // namespace qz::evmon

#endif  // QZ_EVMON_STANDARD_OUTPUT_H_
