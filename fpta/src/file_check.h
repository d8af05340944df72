// What is checked of a database file and its lock file before LMDB opens
// them, so that a damaged or truncated file, or a full file system, gives a
// status instead of a signal inside LMDB's memory map.
#ifndef FPTA_SRC_FILE_CHECK_H
#define FPTA_SRC_FILE_CHECK_H

#include <lmdb.h>
#include <sys/types.h>

#include <cstdint>

namespace fpta::file_check {

// FPTA_SUCCESS for a file LMDB may map (also none at all: a new database),
// MDB_INVALID for a file that is not an LMDB database (empty while nobody is
// making it one, a meta page that is not LMDB's), MDB_CORRUPTED for one whose
// newest meta page speaks of pages beyond the end of the file. The file is
// only read.
int CheckDataFile(const char* path);

// Makes sure the lock file beside path has its blocks allocated for readers
// reader slots, as LMDB writes it through a memory map (where a full file
// system means SIGBUS). FPTA_SUCCESS, or ENOSPC / EDQUOT with nothing left
// behind; other failures are left for LMDB to meet and report. *created
// tells whether this call made the file.
int PrepareLockFile(const char* path, mode_t mode, unsigned readers, bool* created);

// Where this process maps the file (device, inode): *begin and *end, or
// false when it has no such mapping. LMDB does not tell where its map is.
bool FindMapping(dev_t device, ino_t inode, uintptr_t* begin, uintptr_t* end);

// The lock file's name.
const char* LockSuffix();

// The status to report for a commit that failed with status: LMDB turns a
// short write into EIO, which on a file system with no free block left is
// ENOSPC.
int CommitStatus(MDB_env* env, int status);

}  // namespace fpta::file_check

#endif  // FPTA_SRC_FILE_CHECK_H
