// Setting a damaged directory aside instead of deleting it, so that whatever
// it holds can still be inspected or salvaged by hand.

#ifndef QZ_EVMON_MOVE_ASIDE_H_
#define QZ_EVMON_MOVE_ASIDE_H_

#include <ctime>
#include <string>

namespace qz::evmon {

// Renames the directory at `path` (trailing slashes ignored) to the sibling
// "<path>.corrupt-<YYYYMMDDTHHMMSSZ>", the stamp being `now` in UTC. When that
// name is taken, "-1", "-2", ... is appended until a free name is found.
// Returns the new path. Throws std::runtime_error carrying the filesystem
// error text when the rename cannot be done; nothing on disk changes then.
std::string MoveAside(const std::string& path, std::time_t now);

}  // namespace qz::evmon

#endif  // QZ_EVMON_MOVE_ASIDE_H_
