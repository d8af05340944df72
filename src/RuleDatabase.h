// Opening the rule database named on the command line: in place when that
// changes nothing it must not, through a private snapshot otherwise.

#ifndef QZ_EVMON_RULE_DATABASE_H_
#define QZ_EVMON_RULE_DATABASE_H_

#include <memory>
#include <string>

#include "KeyValueStorage.h"
#include "LevelDbStorage.h"

namespace qz::evmon {

// Opens the database at `dir` with CreateStorage when ProbeDatabaseAccess
// finds nothing in the way. When another process holds it, or this user may
// not write it, opens a snapshot of it instead (OpenSnapshot), after logging
// why at level Info. Throws what the chosen way throws.
std::shared_ptr<KeyValueStorage> OpenRuleDatabase(const std::string& dir,
                                                  LevelDbStorageOptions options);

}  // namespace qz::evmon

#endif  // QZ_EVMON_RULE_DATABASE_H_
