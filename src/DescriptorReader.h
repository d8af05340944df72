// Which files make a LevelDB database's current state, as its descriptor
// (the MANIFEST file CURRENT names) records them.

#ifndef QZ_EVMON_DESCRIPTOR_READER_H_
#define QZ_EVMON_DESCRIPTOR_READER_H_

#include <cstdint>
#include <set>
#include <string_view>

namespace qz::evmon {

// The files the state of a database depends on, besides CURRENT and the
// descriptor itself.
struct LiveFiles {
  // The numbers of the table files ("NNNNNN.ldb", or ".sst" as older
  // versions named them).
  std::set<std::uint64_t> tables;
  // Write-ahead logs numbered at least this, or equal to prevLogNumber when
  // that is not 0, hold writes not yet folded into tables.
  std::uint64_t logNumber = 0;
  std::uint64_t prevLogNumber = 0;
  // False when reading stopped before the end of the bytes: at a torn or
  // damaged record.
  bool complete = true;
};

// Replays the version edits in `descriptor`, the bytes of a descriptor file
// in LevelDB's log format. Reading stops quietly at the first record that is
// cut short or fails its checksum: a descriptor copied while its owner
// appends may end in a torn record, which LevelDB's recovery drops too, and
// real damage is left for LevelDB to report when it opens the copy.
LiveFiles ReadLiveFiles(std::string_view descriptor);

}  // namespace qz::evmon

#endif  // QZ_EVMON_DESCRIPTOR_READER_H_
