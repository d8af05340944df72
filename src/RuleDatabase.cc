#include "RuleDatabase.h"

#include <utility>

#include "DatabaseAccess.h"
#include "DatabaseSnapshot.h"
#include "Logger.h"

namespace qz::evmon {

std::shared_ptr<KeyValueStorage> OpenRuleDatabase(const std::string& dir,
                                                  LevelDbStorageOptions options) {
  const DatabaseAccess access = ProbeDatabaseAccess(dir);
  switch (access) {
    case DatabaseAccess::Open:
      return CreateStorage(dir, std::move(options));
    case DatabaseAccess::HeldByAnotherProcess:
      LOG(Level::Info, "Database ", dir,
          " is in use by another process; dumping a snapshot of its files");
      break;
    case DatabaseAccess::NotWritable:
      LOG(Level::Info, "Database ", dir, " is not writable; dumping a snapshot of its files");
      break;
  }
  return OpenSnapshot(dir, access == DatabaseAccess::HeldByAnotherProcess, std::move(options));
}

}  // namespace qz::evmon
