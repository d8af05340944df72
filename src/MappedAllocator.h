// A RapidJSON allocator for one large, growing buffer: the output document.

#ifndef QZ_EVMON_MAPPED_ALLOCATOR_H_
#define QZ_EVMON_MAPPED_ALLOCATOR_H_

#include <cstddef>

namespace qz::evmon {

// Maps each block directly from the system and grows a block by remapping
// it, which moves no bytes. The document of a million rules runs to tens or
// hundreds of MiB; its pages are best made present in bulk (Prefault): one
// page fault per 4 KiB page would cost a good part of the time it takes to
// read the database. Meant for few, large blocks: every block takes at least
// a page.
// Throws std::bad_alloc when the system refuses memory.
class MappedAllocator {
 public:
  static const bool kNeedFree = true;

  // Returns null for a size of 0.
  void* Malloc(std::size_t size);
  // Keeps the first min(originalSize, newSize) bytes. A null `block` is
  // allocated afresh; a `newSize` of 0 frees it and returns null.
  void* Realloc(void* block, std::size_t originalSize, std::size_t newSize);
  // Accepts null.
  static void Free(void* block);

  // Makes the pages holding [begin, begin + bytes) of a block present and
  // writable in one call instead of one page fault per page. Only advice:
  // without it the pages come at the first write.
  static void Prefault(char* begin, std::size_t bytes);
};

}  // namespace qz::evmon

#endif  // QZ_EVMON_MAPPED_ALLOCATOR_H_
