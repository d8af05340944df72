// What the fuzz targets share: a check that stops the run, and a reader of
// the fuzzer's input.

#ifndef QZ_EVMON_FUZZ_SUPPORT_H_
#define QZ_EVMON_FUZZ_SUPPORT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace qz::evmon::fuzz {

// A broken expectation is a finding: abort, so that libFuzzer keeps the input.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

// The input, read front to back; past its end every byte reads as zero.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
  bool Empty() const { return at >= size; }
  unsigned Byte() { return at < size ? data[at++] : 0; }
  unsigned Short() { return Byte() | Byte() << 8; }
  // Up to `wanted` bytes, fewer at the end of the input.
  std::vector<std::uint8_t> Bytes(std::size_t wanted) {
    const std::size_t taken = std::min(wanted, size - std::min(at, size));
    std::vector<std::uint8_t> bytes(data + at, data + at + taken);
    at += taken;
    return bytes;
  }

 private:
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
};

}  // namespace qz::evmon::fuzz

#endif  // QZ_EVMON_FUZZ_SUPPORT_H_
