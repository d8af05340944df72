// Databases and transactions. Storage is not built yet: the entry points
// check their arguments and return FPTA_ENOIMP, so no handle is ever made.
#include "arguments.h"
#include "recorder.h"

using fpta::CallRecord;
using namespace fpta::arguments;

int fpta_db_open(const char *path, fpta_durability durability, fpta_regime_flags regime_flags, mode_t file_mode,
                 size_t megabytes, bool alterable_schema, fpta_db **db) {
  const CallRecord record(__func__, path, durability, regime_flags, file_mode, megabytes, alterable_schema, db);
  if (db == nullptr) return FPTA_EINVAL;
  *db = nullptr;
  constexpr mode_t kPermissionBits = 07777;
  if (path == nullptr || *path == '\0' || !IsDurability(durability) || !IsRegime(regime_flags) ||
      (file_mode & ~kPermissionBits) != 0) {
    return FPTA_EINVAL;
  }
  return FPTA_ENOIMP;
}

int fpta_db_close(fpta_db *db) {
  const CallRecord record(__func__, db);
  return db == nullptr ? FPTA_EINVAL : FPTA_ENOIMP;
}

int fpta_transaction_begin(fpta_db *db, fpta_level level, fpta_txn **txn) {
  const CallRecord record(__func__, db, level, txn);
  if (txn == nullptr) return FPTA_EINVAL;
  *txn = nullptr;
  return db == nullptr || !IsLevel(level) ? FPTA_EINVAL : FPTA_ENOIMP;
}

int fpta_transaction_end(fpta_txn *txn, bool abort) {
  const CallRecord record(__func__, txn, abort);
  return txn == nullptr ? FPTA_EINVAL : FPTA_ENOIMP;
}
