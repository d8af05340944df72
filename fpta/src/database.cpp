// Databases and transactions: an LMDB environment per database file, an LMDB
// transaction per fpta transaction, and the schema each transaction sees.
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>

#include "arguments.h"
#include "cursors.h"
#include "file_check.h"
#include "recorder.h"
#include "schema_store.h"

using fpta::CallRecord;
using namespace fpta::arguments;
using namespace fpta::handles;
namespace file_check = fpta::file_check;
namespace schema_store = fpta::schema_store;

namespace {

constexpr size_t kDefaultMegabytes = 16384;
constexpr mode_t kDefaultFileMode = 0644;
constexpr mode_t kPermissionBits = 07777;
constexpr size_t kIdleReadersKept = 16;
constexpr unsigned kMaxReaders = 1024;

// The files this process has open. LMDB's locks are the process's, so the
// same file opened twice would release them at the first close.
std::mutex registry_mutex;
std::set<std::pair<dev_t, ino_t>> open_files;

bool IsOpenHere(const char* path) {
  struct stat file;
  if (stat(path, &file) != 0) return false;
  const std::lock_guard<std::mutex> lock(registry_mutex);
  return open_files.count({file.st_dev, file.st_ino}) != 0;
}

// Removes what a failed open made: the file of a new database, a new lock
// file.
void Unmake(const char* path, bool file_made, bool lock_made) {
  if (file_made) unlink(path);
  if (lock_made) unlink((std::string(path) + file_check::LockSuffix()).c_str());
}

unsigned EnvironmentFlags(fpta_durability durability) {
  // One file, not a directory; read transactions not tied to a thread, so
  // that any thread may use or end them.
  unsigned flags = MDB_NOSUBDIR | MDB_NOTLS;
  switch (durability) {
    case fpta_readonly:
      return flags | MDB_RDONLY;
    case fpta_lazy:
      return flags | MDB_NOMETASYNC;
    case fpta_weak:
      return flags | MDB_NOSYNC;
    default:
      return flags;
  }
}

// *lock_made tells whether the lock file is new.
int OpenEnvironment(const char* path, fpta_durability durability, mode_t file_mode,
                    size_t megabytes, MDB_env** env, bool* lock_made) {
  int status = file_check::CheckDataFile(path);
  if (status != FPTA_SUCCESS) return status;
  status = file_check::PrepareLockFile(path, file_mode, kMaxReaders, lock_made);
  if (status != FPTA_SUCCESS) return status;
  status = mdb_env_create(env);
  if (status != MDB_SUCCESS) return status;
  const size_t map_megabytes = megabytes != 0 ? megabytes : kDefaultMegabytes;
  if (map_megabytes > SIZE_MAX / (size_t{1} << 20)) status = FPTA_EINVAL;
  if (status == MDB_SUCCESS) status = mdb_env_set_mapsize(*env, map_megabytes << 20);
  if (status == MDB_SUCCESS) status = mdb_env_set_maxdbs(*env, fpta_max_dbi);
  if (status == MDB_SUCCESS) status = mdb_env_set_maxreaders(*env, kMaxReaders);
  if (status == MDB_SUCCESS) {
    status = mdb_env_open(*env, path, EnvironmentFlags(durability), file_mode);
  }
  if (status != MDB_SUCCESS) {
    mdb_env_close(*env);
    *env = nullptr;
  }
  return status;
}

// Remembers the handles of the schema's stores.
void RecordHandles(fpta_db* db, const fpta::schema::Schema& schema) {
  const std::lock_guard<std::mutex> lock(db->mutex);
  for (const auto& entry : schema.tables) {
    for (const fpta::schema::Store* store : fpta::schema::StoresOf(*entry.second)) {
      if (store->open) db->handles[store->serial] = store->dbi;
    }
  }
}

// Remembers the handles of the stores a committed transaction made, so that
// those its schema no longer has are retired as well.
void RecordMade(const fpta_txn* txn) {
  const std::lock_guard<std::mutex> lock(txn->db->mutex);
  for (const auto& [serial, dbi] : txn->made_stores) txn->db->handles[serial] = dbi;
}

// Moves the handles of stores that the schema, the newest, no longer has
// (dropped tables') to db->retired. Under db->mutex.
void Retire(fpta_db* db, const fpta::schema::Schema& schema) {
  std::unordered_set<uint32_t> used;
  for (const auto& entry : schema.tables) {
    for (const fpta::schema::Store* store : fpta::schema::StoresOf(*entry.second))
      used.insert(store->serial);
  }
  for (auto handle = db->handles.begin(); handle != db->handles.end();) {
    if (used.count(handle->first) != 0) {
      ++handle;
      continue;
    }
    db->retired.push_back(handle->second);
    db->has_retired = true;
    handle = db->handles.erase(handle);
  }
}

// Closes the retired handles, so that LMDB gives their slots to new stores,
// once no transaction of this process is open (one of an older snapshot may
// still use them). Transactions begin under db->mutex, so none begins
// meanwhile. Whoever holds the opener is busy with handles: the next end
// tries again, rather than wait.
void CloseRetired(fpta_db* db) {
  const std::unique_lock<std::mutex> opener(db->opener, std::try_to_lock);
  if (!opener.owns_lock()) return;
  const std::lock_guard<std::mutex> lock(db->mutex);
  if (db->transactions.load() != 0) return;
  for (MDB_dbi dbi : db->retired) mdb_dbi_close(db->env, dbi);
  db->retired.clear();
  db->has_retired = false;
}

// Remembers the handles, and the schema itself when it is the newest this
// process has seen.
void Publish(fpta_db* db, const std::shared_ptr<const fpta::schema::Schema>& schema) {
  RecordHandles(db, *schema);
  const std::lock_guard<std::mutex> lock(db->mutex);
  if (db->latest && db->latest->version > schema->version) return;
  if (db->latest && db->latest->version < schema->version) Retire(db, *schema);
  db->latest = schema;
}

// The first transaction of a database: the schema store made (when the file
// is new), every store's handle opened and what dropped tables left removed.
// No other transaction of this process exists yet.
int Initialise(fpta_db* db) {
  MDB_txn* txn;
  int status = mdb_txn_begin(db->env, nullptr, db->readonly ? MDB_RDONLY : 0, &txn);
  if (status != MDB_SUCCESS) return status;
  const unsigned create = db->readonly ? 0 : MDB_CREATE;
  status = mdb_dbi_open(txn, schema_store::kSchemaDb, create, &db->schema_dbi);
  if (status == MDB_NOTFOUND && db->readonly) {
    // A file no writer has made a database of yet: it has no tables.
    mdb_txn_abort(txn);
    db->schema_dbi = db->sequences_dbi = 0;
    Publish(db, std::make_shared<fpta::schema::Schema>());
    return FPTA_SUCCESS;
  }
  if (status == MDB_SUCCESS)
    status = mdb_dbi_open(txn, schema_store::kSequencesDb, create, &db->sequences_dbi);
  uint64_t version = 0;
  if (status == MDB_SUCCESS) status = schema_store::ReadVersion(txn, db->schema_dbi, &version);
  if (status == MDB_NOTFOUND && !db->readonly) {
    version = schema_store::FirstVersion();
    status = schema_store::WriteVersion(txn, db->schema_dbi, version);
  }
  std::shared_ptr<fpta::schema::Schema> schema;
  bool missing;
  if (status == MDB_SUCCESS)
    status = schema_store::Load(txn, db->schema_dbi, version, {}, &schema, &missing);
  if (status == MDB_SUCCESS) status = schema_store::OpenMissing(txn, schema.get());
  if (status == MDB_SUCCESS && !db->readonly) status = schema_store::RemoveOrphans(txn, *schema);
  if (status != MDB_SUCCESS) {
    mdb_txn_abort(txn);
    return status;
  }
  status = file_check::CommitStatus(db->env, mdb_txn_commit(txn));
  if (status == MDB_SUCCESS) Publish(db, schema);
  return status;
}

// Opens the stores this process has no handle of (tables another process
// made) in a short transaction of their own, as LMDB wants.
int OpenApart(fpta_db* db, fpta::schema::Schema* schema) {
  const std::lock_guard<std::mutex> opener(db->opener);
  MDB_txn* txn;
  int status = mdb_txn_begin(db->env, nullptr, MDB_RDONLY, &txn);
  if (status != MDB_SUCCESS) return status;
  status = schema_store::OpenMissing(txn, schema);
  if (status != MDB_SUCCESS) {
    mdb_txn_abort(txn);
    return status;
  }
  // Committing a read transaction keeps the handles it opened.
  status = mdb_txn_commit(txn);
  if (status == MDB_SUCCESS) RecordHandles(db, *schema);
  return status;
}

int BeginLmdb(fpta_db* db, fpta_level level, MDB_txn** txn) {
  if (level == fpta_read) {
    MDB_txn* idle = nullptr;
    {
      const std::lock_guard<std::mutex> lock(db->mutex);
      if (!db->idle_readers.empty()) {
        idle = db->idle_readers.back();
        db->idle_readers.pop_back();
      }
    }
    if (idle != nullptr) {
      const int status = mdb_txn_renew(idle);
      if (status == MDB_SUCCESS) {
        *txn = idle;
        return status;
      }
      mdb_txn_abort(idle);
    }
  }
  return mdb_txn_begin(db->env, nullptr, level == fpta_read ? MDB_RDONLY : 0, txn);
}

// Ends a read transaction, keeping it for reuse while few are kept.
void EndReader(fpta_db* db, MDB_txn* txn) {
  mdb_txn_reset(txn);
  {
    const std::lock_guard<std::mutex> lock(db->mutex);
    if (db->idle_readers.size() < kIdleReadersKept) {
      db->idle_readers.push_back(txn);
      return;
    }
  }
  mdb_txn_abort(txn);
}

// Begins the LMDB transaction and finds the schema it sees.
int StartSnapshot(fpta_txn* txn) {
  fpta_db* const db = txn->db;
  for (;;) {
    int status = BeginLmdb(db, txn->level, &txn->mdb);
    if (status != MDB_SUCCESS) return status;
    uint64_t version = 0;
    if (db->schema_dbi != 0) status = schema_store::ReadVersion(txn->mdb, db->schema_dbi, &version);
    std::unordered_map<uint32_t, MDB_dbi> handles;
    if (status == MDB_SUCCESS) {
      const std::lock_guard<std::mutex> lock(db->mutex);
      if (db->latest && db->latest->version == version) {
        txn->schema = db->latest;
        return FPTA_SUCCESS;
      }
      handles = db->handles;
    }
    std::shared_ptr<fpta::schema::Schema> loaded;
    bool missing = false;
    if (status == MDB_SUCCESS)
      status = schema_store::Load(txn->mdb, db->schema_dbi, version, handles, &loaded, &missing);
    if (status == MDB_SUCCESS && !missing) {
      Publish(db, loaded);
      txn->schema = loaded;
      return FPTA_SUCCESS;
    }
    if (txn->level == fpta_read) {
      EndReader(db, txn->mdb);
    } else {
      mdb_txn_abort(txn->mdb);
    }
    txn->mdb = nullptr;
    if (status != MDB_SUCCESS) return status;
    // The handles are opened apart; a snapshot begun before that could not
    // use them, so begin again.
    status = OpenApart(db, loaded.get());
    if (status != MDB_SUCCESS) return status;
  }
}

void FinishTxn(fpta_txn* txn) {
  fpta_db* const db = txn->db;
  if (txn->opener_lock.owns_lock()) txn->opener_lock.unlock();
  const bool last = --db->transactions == 0;
  Release(txn);
  if (last && db->has_retired.load()) CloseRetired(db);
}

}  // namespace

int fpta_db_open(const char* path, fpta_durability durability, fpta_regime_flags regime_flags,
                 mode_t file_mode, size_t megabytes, bool alterable_schema, fpta_db** db) {
  const CallRecord record(__func__, path, durability, regime_flags, file_mode, megabytes,
                          alterable_schema, db);
  if (db == nullptr) return FPTA_EINVAL;
  *db = nullptr;
  if (path == nullptr || *path == '\0' || !IsDurability(durability) || !IsRegime(regime_flags) ||
      (file_mode & ~kPermissionBits) != 0) {
    return FPTA_EINVAL;
  }
  if (IsOpenHere(path)) return EBUSY;
  struct stat file;
  // What a failed open removes again: a file it created, a lock file it made.
  const bool file_made = durability != fpta_readonly && stat(path, &file) != 0;
  MDB_env* env;
  bool lock_made = false;
  int status = OpenEnvironment(path, durability, file_mode != 0 ? file_mode : kDefaultFileMode,
                               megabytes, &env, &lock_made);
  if (status == MDB_SUCCESS && stat(path, &file) != 0) {
    status = errno;
    mdb_env_close(env);
  }
  if (status != MDB_SUCCESS) {
    Unmake(path, file_made, lock_made);
    return status;
  }
  fpta_db* made = NewDb();
  made->env = env;
  made->readonly = durability == fpta_readonly;
  made->alterable = alterable_schema;
  made->device = file.st_dev;
  made->inode = file.st_ino;
  MDB_stat stat;
  if (mdb_env_stat(env, &stat) == MDB_SUCCESS &&
      file_check::FindMapping(file.st_dev, file.st_ino, &made->map_begin, &made->map_end)) {
    made->page_size = stat.ms_psize;
  }
  status = Initialise(made);
  if (status != MDB_SUCCESS) {
    mdb_env_close(env);
    Release(made);
    Unmake(path, file_made, lock_made);
    return status;
  }
  {
    const std::lock_guard<std::mutex> lock(registry_mutex);
    open_files.insert({made->device, made->inode});
  }
  *db = Exposed(made);
  return FPTA_SUCCESS;
}

int fpta_db_close(fpta_db* db) {
  const CallRecord record(__func__, db);
  if (!Admit(&db)) return FPTA_EINVAL;
  if (db->transactions.load() != 0) return EBUSY;
  for (MDB_txn* idle : db->idle_readers) mdb_txn_abort(idle);
  mdb_env_close(db->env);
  {
    const std::lock_guard<std::mutex> lock(registry_mutex);
    open_files.erase({db->device, db->inode});
  }
  Release(db);
  return FPTA_SUCCESS;
}

int fpta_transaction_begin(fpta_db* db, fpta_level level, fpta_txn** txn) {
  const CallRecord record(__func__, db, level, txn);
  if (txn == nullptr) return FPTA_EINVAL;
  *txn = nullptr;
  if (!Admit(&db) || !IsLevel(level)) return FPTA_EINVAL;
  if (level != fpta_read && db->readonly) return EROFS;
  if (level == fpta_schema && !db->alterable) return EPERM;
  const std::thread::id thread = std::this_thread::get_id();
  if (level != fpta_read && db->writer.load() == thread) return EDEADLK;
  fpta_txn* made = NewTxn();
  made->db = db;
  made->level = level;
  made->thread = thread;
  {
    const std::lock_guard<std::mutex> lock(db->mutex);
    ++db->transactions;
  }
  const int status = StartSnapshot(made);
  if (status != FPTA_SUCCESS) {
    FinishTxn(made);
    return status;
  }
  if (level != fpta_read) db->writer.store(thread);
  *txn = Exposed(made);
  return FPTA_SUCCESS;
}

int fpta_transaction_end(fpta_txn* txn, bool abort) {
  const CallRecord record(__func__, txn, abort);
  if (!Admit(&txn)) return FPTA_EINVAL;
  // LMDB's writer lock is the beginning thread's to release.
  if (txn->level != fpta_read && txn->thread != std::this_thread::get_id()) return EPERM;
  fpta::cursors::Orphan(txn);
  if (txn->level != fpta_read) txn->db->writer.store(std::thread::id());
  int status = FPTA_SUCCESS;
  if (txn->level == fpta_read) {
    // A read transaction has nothing to commit.
    EndReader(txn->db, txn->mdb);
  } else if (abort || txn->failure != FPTA_SUCCESS) {
    mdb_txn_abort(txn->mdb);
    if (!abort) status = txn->failure;
  } else {
    status = file_check::CommitStatus(txn->db->env, mdb_txn_commit(txn->mdb));
    if (status == MDB_SUCCESS && txn->draft) {
      RecordMade(txn);
      Publish(txn->db, txn->draft);
    }
  }
  FinishTxn(txn);
  return status;
}
