#include "MappedAllocator.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace qz::evmon {

namespace {

// Each mapping starts with its own length, so that Free, which is given the
// block alone, can unmap it.
constexpr std::size_t kHeaderSize = alignof(std::max_align_t);
constexpr std::size_t kPageSize = 4096;
// Large mappings grow in steps of a huge page's size, so that a growing
// block is remapped less often.
constexpr std::size_t kHugePageSize = 2u << 20;

std::size_t MappingLength(std::size_t size) {
  const std::size_t length = size + kHeaderSize;
  const std::size_t unit = length < kHugePageSize ? kPageSize : kHugePageSize;
  return (length + unit - 1) / unit * unit;
}

char* MappingOf(void* block) { return static_cast<char*>(block) - kHeaderSize; }

std::size_t LengthOf(const char* mapping) { return *reinterpret_cast<const std::size_t*>(mapping); }

void* BlockOf(void* mapping, std::size_t length) {
  if (mapping == MAP_FAILED) {
    throw std::bad_alloc();
  }
  *static_cast<std::size_t*>(mapping) = length;
  return static_cast<char*>(mapping) + kHeaderSize;
}

}  // namespace

void* MappedAllocator::Malloc(std::size_t size) {
  if (size == 0) {
    return nullptr;
  }
  const std::size_t length = MappingLength(size);
  return BlockOf(
      mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0), length);
}

void* MappedAllocator::Realloc(void* block, std::size_t, std::size_t newSize) {
  if (block == nullptr) {
    return Malloc(newSize);
  }
  if (newSize == 0) {
    Free(block);
    return nullptr;
  }
  char* const mapping = MappingOf(block);
  const std::size_t length = LengthOf(mapping);
  const std::size_t newLength = MappingLength(newSize);
  if (newLength <= length) {
    return block;
  }
  return BlockOf(mremap(mapping, length, newLength, MREMAP_MAYMOVE), newLength);
}

void MappedAllocator::Prefault(char* begin, std::size_t bytes) {
  const auto first = reinterpret_cast<std::uintptr_t>(begin) / kPageSize * kPageSize;
  const auto end = reinterpret_cast<std::uintptr_t>(begin) + bytes;
  if (end > first) {
    madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  }
}

void MappedAllocator::Free(void* block) {
  if (block != nullptr) {
    char* const mapping = MappingOf(block);
    munmap(mapping, LengthOf(mapping));
  }
}

}  // namespace qz::evmon
