// Reading a database that may not be opened in place: held by another
// process, or not writable by this user.

#ifndef QZ_EVMON_DATABASE_SNAPSHOT_H_
#define QZ_EVMON_DATABASE_SNAPSHOT_H_

#include <memory>
#include <string>

#include "KeyValueStorage.h"
#include "LevelDbStorage.h"

namespace qz::evmon {

// Copies what the current state of the database at `dir` consists of
// (CURRENT, the descriptor it names, the table files that lists, and the
// write-ahead logs not yet folded into tables) into a PrivateDirectory, and
// opens the copy as LevelDbStorage does, checks and all, naming `dir` in the
// log and in error texts. Nothing in `dir` is created, changed or removed,
// and its lock is not touched.
//
// `held` says that another process has the database open and may write it
// meanwhile. The copy shows one state the database had during the call,
// every write batch whole: a log or descriptor copied while its owner
// appends may end in a torn record, which the open drops. When the owner
// removes a file the copy needs before it is copied (a compaction), moves
// CURRENT to a new descriptor, or the copy turns out damaged while a file it
// came from grew, the copy is taken again; after kSnapshotAttempts such
// races, throws std::runtime_error "database DIR kept changing while it was
// copied; try again". A database damaged as it stands is an error
// (std::runtime_error with the reason), never moved aside; so is a
// directory without CURRENT: no database can be created where the user may
// not write.
//
// The returned store is the only handle to the copy; the copy is removed
// when the handle is released. Only one snapshot may exist at a time.
std::shared_ptr<KeyValueStorage> OpenSnapshot(const std::string& dir, bool held,
                                              LevelDbStorageOptions options);

constexpr int kSnapshotAttempts = 5;

}  // namespace qz::evmon

#endif  // QZ_EVMON_DATABASE_SNAPSHOT_H_
