#include "MappedAllocator.h"

#include <string>

#include <gtest/gtest.h>

namespace qz::evmon {
namespace {

TEST(MappedAllocatorTest, GrowsAcrossHugePageGranularityKeepingContent) {
  MappedAllocator allocator;
  EXPECT_EQ(allocator.Malloc(0), nullptr);
  std::size_t size = 256;
  char* block = static_cast<char*>(allocator.Realloc(nullptr, 0, size));
  std::string(size, 'a').copy(block, size);
  for (const std::size_t newSize : {std::size_t{5000}, std::size_t{3} << 20, std::size_t{9} << 20}) {
    block = static_cast<char*>(allocator.Realloc(block, size, newSize));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block, 256), std::string(256, 'a'));
    EXPECT_EQ(block[size - 1], size == 256 ? 'a' : 'z');
    size = newSize;
    block[size - 1] = 'z';
  }
  EXPECT_EQ(allocator.Realloc(block, size, 100), block);
  EXPECT_EQ(allocator.Realloc(block, 100, 0), nullptr);
  MappedAllocator::Free(nullptr);
}

}  // namespace
}  // namespace qz::evmon
