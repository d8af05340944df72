// The schema a transaction sees: its tables, their columns and indexes, and
// the LMDB databases that hold them. Schema objects are immutable once made
// and shared between the transactions that see the same schema version.
#ifndef FPTA_SRC_SCHEMA_H
#define FPTA_SRC_SCHEMA_H

#include <lmdb.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fpta.h"

namespace fpta::schema {

// The store of one index: an LMDB named database, known by a serial number
// that never repeats within a database file (schema_store::StoreName).
struct Store {
  uint32_t serial = 0;
  MDB_dbi dbi = 0;
  bool open = false;  // dbi is a handle of this process
};

struct Column {
  std::string name;    // as created; "" in a table made before names were kept
  uint64_t shove = 0;  // name hash << 10 | index flags | type, as in a column set
  fptu_type type = fptu_null;
  unsigned index = 0;           // fpta_index_type bits
  std::vector<unsigned> parts;  // a composite index: its parts' column numbers
  Store store;                  // indexed columns only

  bool indexed() const;
  bool primary() const;
  bool unique() const { return (index & fpta_index_funique) != 0; }
  bool ordered() const { return (index & fpta_index_fordered) != 0; }
  bool nullable() const { return (index & fpta_index_fnullable) != 0; }
  bool composite() const { return !parts.empty(); }
};

struct Table {
  uint64_t hash = 0;  // name hash, as fpta_table_init() computes it
  std::string name;
  std::vector<Column> columns;      // by column number
  unsigned primary = 0;             // number of the primary index column
  std::vector<unsigned> secondary;  // numbers of the secondary index columns
  // A primary index with duplicates keeps the rows here, by a serial number;
  // its index maps a key to the serial numbers of the rows.
  Store rows;

  const Column& primary_column() const { return columns[primary]; }
  bool rows_apart() const { return rows.serial != 0; }
};

struct Schema {
  uint64_t version = 0;
  std::unordered_map<uint64_t, std::shared_ptr<const Table>> tables;  // by name hash

  const Table* Find(uint64_t hash) const {
    const auto found = tables.find(hash);
    return found == tables.end() ? nullptr : found->second.get();
  }
};

// A table as a column set describes it; stores get serials from *next_serial.
// Returns FPTA_SUCCESS or FPTA_EINVAL for a set that makes no table.
int TableFromColumnSet(const char* name, const fpta_column_set& set, uint32_t* next_serial,
                       Table* table);

// The stored form of a table record, and back. Decode returns false for bytes
// that are not a sound record.
std::string Encode(const Table& table);
bool Decode(const void* bytes, size_t size, Table* table);

// Every store of the table, the rows store included.
std::vector<const Store*> StoresOf(const Table& table);
std::vector<Store*> StoresOf(Table& table);

}  // namespace fpta::schema

#endif  // FPTA_SRC_SCHEMA_H
