#include "RuleDatabase.h"

#include <utility>

#include "DatabaseAccess.h"
#include "DatabaseSnapshot.h"
#include "Logger.h"

namespace qz::evmon {

std::shared_ptr<KeyValueStorage> OpenRuleDatabase(const std::string& dir,
                                                  LevelDbStorageOptions options) {
  switch (ProbeDatabaseAccess(dir)) {
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
  return OpenSnapshot(dir, std::move(options));
}

}  // namespace qz::evmon
