#include "MappedAllocator.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace qz::evmon {
namespace {

TEST(MappedAllocatorTest, GrowingKeepsContent) {
  MappedAllocator allocator;
  char* block = static_cast<char*>(allocator.Realloc(nullptr, 0, 256));
  ASSERT_NE(block, nullptr);
  std::memset(block, 'a', 256);

  // Across the point where mappings switch to huge-page granularity.
  std::size_t size = 256;
  for (const std::size_t newSize : {std::size_t{5000}, std::size_t{3} << 20, std::size_t{9} << 20}) {
    block = static_cast<char*>(allocator.Realloc(block, size, newSize));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block, 256), std::string(256, 'a'));
    EXPECT_EQ(block[size - 1], size == 256 ? 'a' : 'z');
    size = newSize;
    block[size - 1] = 'z';
  }

  // Shrinking keeps the block as it is.
  EXPECT_EQ(allocator.Realloc(block, size, 100), block);
  MappedAllocator::Free(block);
}

TEST(MappedAllocatorTest, ZeroSizesAndNullBlocks) {
  MappedAllocator allocator;
  EXPECT_EQ(allocator.Malloc(0), nullptr);
  MappedAllocator::Free(nullptr);
  void* block = allocator.Malloc(1);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(allocator.Realloc(block, 1, 0), nullptr);
}

}  // namespace
}  // namespace qz::evmon
