// FNV-1a, 64 bits: the hash of key encodings too long to keep whole and of
// table and column names. Byte by byte, so a hash built up over several
// pieces equals the hash of their concatenation, and the same on every
// machine: both end up in database files.
#ifndef FPTA_SRC_FNV1A_H
#define FPTA_SRC_FNV1A_H

#include <cstddef>
#include <cstdint>

namespace fpta::fnv1a {

constexpr uint64_t kBasis = 0xCBF29CE484222325u;
constexpr uint64_t kPrime = 0x100000001B3u;

constexpr uint64_t Step(uint64_t hash, uint8_t byte) { return (hash ^ byte) * kPrime; }

inline uint64_t Hash(uint64_t hash, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) hash = Step(hash, bytes[i]);
  return hash;
}

}  // namespace fpta::fnv1a

#endif  // FPTA_SRC_FNV1A_H
