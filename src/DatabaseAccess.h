// Whether veltrix may open a database directory in place, asked without
// changing anything in it.

#ifndef QZ_EVMON_DATABASE_ACCESS_H_
#define QZ_EVMON_DATABASE_ACCESS_H_

#include <string>

namespace qz::evmon {

enum class DatabaseAccess {
  // Nothing stands in the way of opening it in place.
  Open,
  // Another process holds the database's LOCK file.
  HeldByAnotherProcess,
  // This user may not write the directory, or one of LevelDB's files in it
  // (a read-only file system included).
  NotWritable,
};

// Looks at the directory `dir` the way LevelDB's open would need it, without
// taking the lock and without creating or changing any file: LevelDB's open
// rotates its LOG before it even tries the lock, so a failed open has already
// changed the directory. A lock held by this very process is not seen, and
// since closing a descriptor drops the process's own locks on the file, this
// must not be called while this process has the database open. Anything that
// is not a directory, or cannot be examined, counts as Open and is left for
// LevelDB to report.
DatabaseAccess ProbeDatabaseAccess(const std::string& dir);

}  // namespace qz::evmon

#endif  // QZ_EVMON_DATABASE_ACCESS_H_
