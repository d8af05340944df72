#include "schema_store.h"

#include <cstring>
#include <random>
#include <string_view>
#include <unordered_set>

namespace fpta::schema_store {

namespace {

constexpr std::string_view kVersionKey = "version";
constexpr std::string_view kSerialKey = "serial";

MDB_val Val(const void* data, size_t size) { return MDB_val{size, const_cast<void*>(data)}; }
MDB_val Val(std::string_view text) { return Val(text.data(), text.size()); }

template <typename T>
int ReadNumber(MDB_txn* txn, MDB_dbi dbi, std::string_view key, T* number) {
  MDB_val name = Val(key), data;
  const int status = mdb_get(txn, dbi, &name, &data);
  if (status != MDB_SUCCESS) return status;
  if (data.mv_size != sizeof(T)) return MDB_CORRUPTED;
  std::memcpy(number, data.mv_data, sizeof(T));
  return MDB_SUCCESS;
}

template <typename T>
int WriteNumber(MDB_txn* txn, MDB_dbi dbi, std::string_view key, T number) {
  MDB_val name = Val(key), data = Val(&number, sizeof(number));
  return mdb_put(txn, dbi, &name, &data, 0);
}

}  // namespace

std::string StoreName(uint32_t serial) {
  return std::string(kStorePrefix) + std::to_string(serial);
}

uint64_t FirstVersion() {
  std::random_device random;
  const uint64_t high = (uint64_t{random()} << 32 | random()) & ((uint64_t{1} << 40) - 1);
  return high << 20 | 1;
}

int ReadVersion(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t* version) {
  return ReadNumber(txn, schema_dbi, kVersionKey, version);
}

int WriteVersion(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t version) {
  return WriteNumber(txn, schema_dbi, kVersionKey, version);
}

int ReadSerial(MDB_txn* txn, MDB_dbi schema_dbi, uint32_t* serial) {
  const int status = ReadNumber(txn, schema_dbi, kSerialKey, serial);
  if (status == MDB_NOTFOUND) *serial = 1;
  return status == MDB_NOTFOUND ? MDB_SUCCESS : status;
}

int WriteSerial(MDB_txn* txn, MDB_dbi schema_dbi, uint32_t serial) {
  return WriteNumber(txn, schema_dbi, kSerialKey, serial);
}

int Load(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t version,
         const std::unordered_map<uint32_t, MDB_dbi>& handles,
         std::shared_ptr<schema::Schema>* loaded, bool* missing) {
  auto result = std::make_shared<schema::Schema>();
  result->version = version;
  *missing = false;
  MDB_cursor* cursor;
  int status = mdb_cursor_open(txn, schema_dbi, &cursor);
  if (status != MDB_SUCCESS) return status;
  MDB_val key, data;
  for (status = mdb_cursor_get(cursor, &key, &data, MDB_FIRST); status == MDB_SUCCESS;
       status = mdb_cursor_get(cursor, &key, &data, MDB_NEXT)) {
    if (key.mv_size != sizeof(TableKey::bytes)) continue;  // the version and serial
    auto table = std::make_shared<schema::Table>();
    if (!schema::Decode(data.mv_data, data.mv_size, table.get())) {
      status = MDB_CORRUPTED;
      break;
    }
    for (schema::Store* store : schema::StoresOf(*table)) {
      const auto found = handles.find(store->serial);
      store->open = found != handles.end();
      if (store->open) store->dbi = found->second;
      *missing |= !store->open;
    }
    result->tables.emplace(table->hash, std::move(table));
  }
  mdb_cursor_close(cursor);
  if (status != MDB_NOTFOUND) return status;
  *loaded = std::move(result);
  return MDB_SUCCESS;
}

int WriteTable(MDB_txn* txn, MDB_dbi schema_dbi, const schema::Table& table) {
  TableKey key(table.hash);
  const std::string record = schema::Encode(table);
  MDB_val data = Val(record);
  return mdb_put(txn, schema_dbi, &key.val, &data, 0);
}

int DeleteTable(MDB_txn* txn, MDB_dbi schema_dbi, uint64_t hash) {
  TableKey key(hash);
  return mdb_del(txn, schema_dbi, &key.val, nullptr);
}

bool HasDuplicates(const schema::Table& table, const schema::Store& store) {
  if (&store == &table.rows) return false;
  for (const schema::Column& column : table.columns) {
    if (&column.store == &store) return !column.unique();
  }
  return false;
}

int OpenStore(MDB_txn* txn, schema::Store* store, bool duplicates, bool create) {
  const std::string name = StoreName(store->serial);
  const unsigned flags = (duplicates ? MDB_DUPSORT : 0u) | (create ? MDB_CREATE : 0u);
  const int status = mdb_dbi_open(txn, name.c_str(), flags, &store->dbi);
  store->open = status == MDB_SUCCESS;
  return status;
}

int OpenMissing(MDB_txn* txn, schema::Schema* schema) {
  for (auto& entry : schema->tables) {
    auto table = std::make_shared<schema::Table>(*entry.second);
    bool changed = false;
    for (schema::Store* store : schema::StoresOf(*table)) {
      if (store->open) continue;
      const int status = OpenStore(txn, store, HasDuplicates(*table, *store), false);
      if (status != MDB_SUCCESS) return status;
      changed = true;
    }
    if (changed) entry.second = std::move(table);
  }
  return MDB_SUCCESS;
}

int RemoveOrphans(MDB_txn* txn, const schema::Schema& schema) {
  std::unordered_set<std::string> used;
  for (const auto& entry : schema.tables) {
    for (const schema::Store* store : schema::StoresOf(*entry.second))
      used.insert(StoreName(store->serial));
  }
  MDB_dbi main;
  int status = mdb_dbi_open(txn, nullptr, 0, &main);
  if (status != MDB_SUCCESS) return status;
  std::vector<std::string> orphans;
  MDB_cursor* cursor;
  status = mdb_cursor_open(txn, main, &cursor);
  if (status != MDB_SUCCESS) return status;
  // MDB_SET_RANGE leaves the key it found in key.
  MDB_val key = Val(kStorePrefix), data;
  for (status = mdb_cursor_get(cursor, &key, &data, MDB_SET_RANGE); status == MDB_SUCCESS;
       status = mdb_cursor_get(cursor, &key, &data, MDB_NEXT)) {
    const std::string name(static_cast<const char*>(key.mv_data), key.mv_size);
    if (name.compare(0, kStorePrefix.size(), kStorePrefix) != 0) break;
    if (used.count(name) == 0) orphans.push_back(name);
  }
  mdb_cursor_close(cursor);
  if (status != MDB_SUCCESS && status != MDB_NOTFOUND) return status;
  for (const std::string& name : orphans) {
    // Opened with its own flags (dups or not), then deleted with its pages.
    MDB_dbi dbi;
    status = mdb_dbi_open(txn, name.c_str(), 0, &dbi);
    if (status == MDB_INCOMPATIBLE) status = mdb_dbi_open(txn, name.c_str(), MDB_DUPSORT, &dbi);
    if (status == MDB_SUCCESS) status = mdb_drop(txn, dbi, 1);
    if (status != MDB_SUCCESS) return status;
  }
  return MDB_SUCCESS;
}

}  // namespace fpta::schema_store
