// Fuzzes libfpta's table layer: random puts, deletes and lookups on one
// table, each status and each row read checked against a plain map. Every
// input runs in its own write transaction, aborted at the end, so the table
// is empty at the start of each.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "fpta.h"

namespace {

using qz::evmon::fuzz::FreeDeleter;
using qz::evmon::fuzz::Require;
using Input = qz::evmon::fuzz::ByteReader;

// Table rules: id (uint64, unique primary key), name (string, secondary
// index with duplicates), note (opaque, nullable, no index).
struct Database {
  Database() {
    char place[] = "/tmp/fuzz-engine-XXXXXX";
    Require(mkdtemp(place) != nullptr);
    const std::string path = std::string(place) + "/rules.fpta";
    Require(fpta_db_open(path.c_str(), fpta_weak, fpta_regime_default, 0644, 64, true, &db) ==
            FPTA_SUCCESS);
    fpta_column_set columns;
    fpta_column_set_init(&columns);
    Require(fpta_column_describe("id", fptu_uint64, fpta_primary_unique_ordered_obverse,
                                 &columns) == 0);
    Require(fpta_column_describe("name", fptu_cstr, fpta_secondary_withdups_ordered_obverse,
                                 &columns) == 0);
    Require(fpta_column_describe("note", fptu_opaque, fpta_noindex_nullable, &columns) == 0);
    fpta_txn* txn = nullptr;
    Require(fpta_transaction_begin(db, fpta_schema, &txn) == FPTA_SUCCESS);
    Require(fpta_table_create(txn, "rules", &columns) == FPTA_SUCCESS);
    Require(fpta_transaction_end(txn, false) == FPTA_SUCCESS);
    Require(fpta_table_init(&table, "rules") == FPTA_SUCCESS);
    Require(fpta_column_init(&table, &id, "id") == FPTA_SUCCESS);
    Require(fpta_column_init(&table, &name, "name") == FPTA_SUCCESS);
    Require(fpta_column_init(&table, &note, "note") == FPTA_SUCCESS);
  }

  fpta_db* db = nullptr;
  fpta_name table{}, id{}, name{}, note{};
};

struct Row {
  std::string name;
  std::string note;  // empty: no field
  bool operator==(const Row& other) const { return name == other.name && note == other.note; }
};

// 1 to 16 letters of four, so that names repeat and no key is empty.
std::string Word(Input& input) {
  std::string word(1 + input.Byte() % 16, 'a');
  for (char& c : word) c = static_cast<char>('a' + input.Byte() % 4);
  return word;
}

std::unique_ptr<fptu_rw, FreeDeleter> Tuple(Database& database, std::uint64_t key, const Row& row) {
  std::unique_ptr<fptu_rw, FreeDeleter> pt(fptu_alloc(3, 256));
  Require(fpta_upsert_column(pt.get(), &database.id, fpta_value_uint(key)) == FPTA_SUCCESS);
  Require(fpta_upsert_column(pt.get(), &database.name, fpta_value_cstr(row.name.c_str())) ==
          FPTA_SUCCESS);
  if (!row.note.empty()) {
    Require(fpta_upsert_column(pt.get(), &database.note,
                               fpta_value_binary(row.note.data(), row.note.size())) ==
            FPTA_SUCCESS);
  }
  return pt;
}

void CheckStored(Database& database, fpta_txn* txn, const std::map<std::uint64_t, Row>& model,
                 std::uint64_t key) {
  const fpta_value value = fpta_value_uint(key);
  fptu_ro found{};
  const int status = fpta_get(txn, &database.id, &value, &found);
  const auto expected = model.find(key);
  if (expected == model.end()) {
    Require(status == FPTA_NOTFOUND);
    return;
  }
  Require(status == FPTA_SUCCESS);
  fpta_value name, note;
  Require(fpta_get_column(found, &database.name, &name) == FPTA_SUCCESS);
  Require(std::string(name.str, name.binary_length) == expected->second.name);
  const int noted = fpta_get_column(found, &database.note, &note);
  if (expected->second.note.empty()) {
    Require(noted == FPTA_NODATA);
  } else {
    Require(noted == FPTA_SUCCESS);
    Require(std::string(static_cast<const char*>(note.binary_data), note.binary_length) ==
            expected->second.note);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Database database;
  Input input(data, size);
  fpta_txn* txn = nullptr;
  Require(fpta_transaction_begin(database.db, fpta_write, &txn) == FPTA_SUCCESS);
  Require(fpta_name_refresh_couple(txn, &database.table, &database.id) == FPTA_SUCCESS);
  Require(fpta_name_refresh_couple(txn, &database.table, &database.name) == FPTA_SUCCESS);
  Require(fpta_name_refresh_couple(txn, &database.table, &database.note) == FPTA_SUCCESS);

  std::map<std::uint64_t, Row> model;
  while (!input.Empty()) {
    const unsigned operation = input.Byte() % 5;
    const std::uint64_t key = input.Byte() % 16;
    const bool stored = model.count(key) != 0;
    if (operation <= 2) {  // insert, update, upsert
      Row row{Word(input), input.Byte() % 2 ? Word(input) : std::string()};
      const auto pt = Tuple(database, key, row);
      const int status = fpta_put(txn, &database.table, fptu_take_noshrink(pt.get()),
                                  static_cast<fpta_put_options>(operation));
      const int expected = operation == fpta_insert && stored    ? FPTA_EEXIST
                           : operation == fpta_update && !stored ? FPTA_NOTFOUND
                                                                 : FPTA_SUCCESS;
      Require(status == expected);
      if (status == FPTA_SUCCESS) model[key] = row;
    } else if (operation == 3) {  // delete, with the stored row or another
      const bool exact = stored && input.Byte() % 2;
      const Row row = exact ? model[key] : Row{Word(input), std::string()};
      const auto pt = Tuple(database, key, row);
      const int status = fpta_delete(txn, &database.table, fptu_take_noshrink(pt.get()));
      const bool matches = stored && model[key] == row;
      Require(status == (matches ? FPTA_SUCCESS : FPTA_NOTFOUND));
      if (matches) model.erase(key);
    }
    CheckStored(database, txn, model, key);
  }
  size_t rows = 0;
  Require(fpta_table_info(txn, &database.table, &rows, nullptr) == FPTA_SUCCESS);
  Require(rows == model.size());
  Require(fpta_transaction_end(txn, true) == FPTA_SUCCESS);
  return 0;
}
