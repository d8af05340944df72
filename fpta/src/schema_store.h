// The schema as LMDB keeps it, in the named database kSchemaDb: one
// record per table under its 8-byte name hash, the schema version under
// "version" and the next store serial under "serial". Each index lives in a
// named database of its own (StoreName).
#ifndef FPTA_SRC_SCHEMA_STORE_H
#define FPTA_SRC_SCHEMA_STORE_H

#include <lmdb.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema.h"

namespace fpta::schema_store {

// The names of the LMDB databases of a file, spelled here only.
constexpr char kSchemaDb[] = "fpta.schema";
constexpr char kSequencesDb[] = "fpta.sequences";
constexpr std::string_view kStorePrefix = "fpta.index.";  // then a store's serial, in decimal

// The LMDB database of the store with that serial.
std::string StoreName(uint32_t serial);

// What a table's record (in kSchemaDb) and its sequence (in kSequencesDb)
// are keyed by: its name hash, big-endian, so that tables list in a stable
// order.
struct TableKey {
  unsigned char bytes[8];
  MDB_val val;
  explicit TableKey(uint64_t hash) : val{sizeof(bytes), bytes} {
    for (int i = 7; i >= 0; --i, hash >>= 8) bytes[i] = static_cast<unsigned char>(hash);
  }
};

// The version a new database starts at: random high bits, so that a name
// resolved against one database never passes for resolved against another.
uint64_t FirstVersion();

// Status of LMDB (MDB_NOTFOUND for a database that has no schema yet).
int ReadVersion(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t* version);
int WriteVersion(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t version);
int ReadSerial(MDB_txn* txn, MDB_dbi schema_dbi, uint32_t* serial);
int WriteSerial(MDB_txn* txn, MDB_dbi schema_dbi, uint32_t serial);

// Every table record; the stores' handles are taken from handles where this
// process has them. Sets *missing when some store has none.
int Load(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t version,
         const std::unordered_map<uint32_t, MDB_dbi>& handles,
         std::shared_ptr<schema::Schema>* schema, bool* missing);

int WriteTable(MDB_txn* txn, MDB_dbi schema_dbi, const schema::Table& table);
int DeleteTable(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t hash);

// Opens (creating, when create) the LMDB database of a store in txn.
int OpenStore(MDB_txn* txn, schema::Store* store, bool duplicates, bool create);
// Opens every store of the schema that has no handle yet.
int OpenMissing(MDB_txn* txn, schema::Schema* schema);
// Whether a store keeps several values per key (an index with duplicates).
bool HasDuplicates(const schema::Table& table, const schema::Store& store);

// Removes the LMDB databases named like stores that no table uses (what
// dropped tables left behind). Only while no other transaction of this
// process is open.
int RemoveOrphans(MDB_txn* txn, const schema::Schema& schema);

}  // namespace fpta::schema_store

#endif  // FPTA_SRC_SCHEMA_STORE_H
