#include "resolve.h"

#include "names.h"

namespace fpta::resolve {

int CheckAdmitted(const fpta_txn* txn) {
  if (!handles::IsLive(txn)) return FPTA_EINVAL;
  return txn->failure == FPTA_SUCCESS ? FPTA_SUCCESS : FPTA_ETXNFAILED;
}

int CheckTxn(fpta_txn*& txn) { return handles::Admit(&txn) ? CheckAdmitted(txn) : FPTA_EINVAL; }

int CheckWrite(fpta_txn*& txn) {
  const int status = CheckTxn(txn);
  if (status != FPTA_SUCCESS) return status;
  return txn->level >= fpta_write ? FPTA_SUCCESS : EPERM;
}

int CheckSchemaChange(fpta_txn*& txn) {
  const int status = CheckTxn(txn);
  if (status != FPTA_SUCCESS) return status;
  return txn->level == fpta_schema ? FPTA_SUCCESS : EPERM;
}

int FailTxn(fpta_txn* txn, int status) {
  if (status != FPTA_SUCCESS && txn->failure == FPTA_SUCCESS) txn->failure = status;
  return status;
}

int TableNamed(fpta_txn* txn, fpta_name* table_id, const schema::Table** table) {
  if (!names::IsTableName(table_id)) return FPTA_EINVAL;
  *table = txn->schema->Find(names::HashOfShove(table_id->shove));
  if (*table == nullptr) return FPTA_NOTFOUND;
  table_id->version = txn->schema->version;
  table_id->number = static_cast<uint32_t>((*table)->columns.size());
  return FPTA_SUCCESS;
}

int ColumnNamed(fpta_txn* txn, fpta_name* column_id, const schema::Table** table,
                unsigned* number) {
  if (!names::IsColumnName(column_id)) return FPTA_EINVAL;
  *table = txn->schema->Find(names::HashOfShove(column_id->table->shove));
  if (*table == nullptr) return FPTA_NOTFOUND;
  const auto& columns = (*table)->columns;
  const uint64_t hash = names::HashOfShove(column_id->shove);
  unsigned found = column_id->number;
  if (column_id->version != txn->schema->version || found >= columns.size() ||
      names::HashOfShove(columns[found].shove) != hash) {
    found = 0;
    while (found < columns.size() && names::HashOfShove(columns[found].shove) != hash) ++found;
    if (found == columns.size()) return FPTA_NOTFOUND;
    column_id->shove = columns[found].shove;
    column_id->number = found;
    column_id->version = txn->schema->version;
  }
  *number = found;
  return FPTA_SUCCESS;
}

bool IsResolvedColumn(const fpta_name* column_id) {
  return names::IsColumnName(column_id) && column_id->version != 0 &&
         column_id->number < fpta_max_cols;
}

}  // namespace fpta::resolve
