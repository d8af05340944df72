// What a database holds: its tables' names and their columns, as the schema
// records keep them, handed out in one malloc() block each.
#include <cstdlib>
#include <cstring>
#include <string>

#include "recorder.h"
#include "resolve.h"

using fpta::CallRecord;
namespace resolve = fpta::resolve;
namespace schema = fpta::schema;

namespace {

char* CopyText(const std::string& text, char* at) {
  std::memcpy(at, text.c_str(), text.size() + 1);
  return at + text.size() + 1;
}

}  // namespace

int fpta_table_names(fpta_txn* txn, char*** names, size_t* count) {
  const CallRecord record(__func__, txn, names, count);
  if (names == nullptr || count == nullptr) return FPTA_EINVAL;
  *names = nullptr;
  *count = 0;
  const int status = resolve::CheckTxn(txn);
  if (status != FPTA_SUCCESS) return status;
  const auto& tables = txn->schema->tables;
  if (tables.empty()) return FPTA_SUCCESS;
  size_t text_bytes = 0;
  for (const auto& entry : tables) text_bytes += entry.second->name.size() + 1;
  auto** block = static_cast<char**>(std::malloc(tables.size() * sizeof(char*) + text_bytes));
  if (block == nullptr) return ENOMEM;
  char* text = reinterpret_cast<char*>(block + tables.size());
  size_t at = 0;
  for (const auto& entry : tables) {
    block[at++] = text;
    text = CopyText(entry.second->name, text);
  }
  *names = block;
  *count = tables.size();
  return FPTA_SUCCESS;
}

int fpta_table_columns(fpta_txn* txn, fpta_name* table_id, fpta_column_info** columns,
                       size_t* count) {
  const CallRecord record(__func__, txn, table_id, columns, count);
  if (columns == nullptr || count == nullptr) return FPTA_EINVAL;
  *columns = nullptr;
  *count = 0;
  int status = resolve::CheckTxn(txn);
  const schema::Table* table = nullptr;
  if (status == FPTA_SUCCESS) status = resolve::TableNamed(txn, table_id, &table);
  if (status != FPTA_SUCCESS) return status;
  const size_t n = table->columns.size();
  size_t parts = 0, text_bytes = 0;
  for (const schema::Column& column : table->columns) {
    parts += column.parts.size();
    text_bytes += column.name.size() + 1;
  }
  auto* block = static_cast<fpta_column_info*>(
      std::malloc(n * sizeof(fpta_column_info) + parts * sizeof(unsigned) + text_bytes));
  if (block == nullptr) return ENOMEM;
  // fpta_column_info's size is a multiple of unsigned's alignment.
  auto* words = reinterpret_cast<unsigned*>(block + n);
  char* text = reinterpret_cast<char*>(words + parts);
  for (unsigned number = 0; number < n; ++number) {
    const schema::Column& column = table->columns[number];
    fpta_column_info& info = block[number];
    info.name = text;
    text = CopyText(column.name, text);
    info.shove = column.shove;
    info.type = column.type;
    info.index = static_cast<fpta_index_type>(column.index);
    info.number = number;
    info.parts_count = static_cast<unsigned>(column.parts.size());
    info.parts = words;
    for (const unsigned part : column.parts) *words++ = part;
  }
  *columns = block;
  *count = n;
  return FPTA_SUCCESS;
}
