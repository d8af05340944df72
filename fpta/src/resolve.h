// What every table-layer entry point does first: check its transaction and
// resolve the names it is given against the schema that transaction sees.
//
// A name carries the schema version it was last resolved against. When that
// is the transaction's version, its number is trusted (after a bounds and
// hash check); otherwise it is looked up again and rewritten, so a caller
// never works with the numbers of an older schema.
#ifndef FPTA_SRC_RESOLVE_H
#define FPTA_SRC_RESOLVE_H

#include "handles.h"

namespace fpta::resolve {

// A live transaction that has not failed: FPTA_SUCCESS, FPTA_EINVAL or
// FPTA_ETXNFAILED. txn is the handle the caller gave; on success it is
// replaced by the transaction it stands for (handles::Admit), which is what
// the entry point then works on.
int CheckTxn(fpta_txn*& txn);
// ... that may write rows (EPERM in a read transaction).
int CheckWrite(fpta_txn*& txn);
// ... that may change the schema (EPERM below fpta_schema).
int CheckSchemaChange(fpta_txn*& txn);
// CheckTxn of a transaction already admitted (a cursor's).
int CheckAdmitted(const fpta_txn* txn);

// Marks the transaction failed after a storage error left a change half
// done; returns status.
int FailTxn(fpta_txn* txn, int status);

// FPTA_EINVAL for a name that is not a table's, FPTA_NOTFOUND when the
// schema has no such table.
int TableNamed(fpta_txn* txn, fpta_name* table_id, const schema::Table** table);
// The column's table is found through column_id->table, which is left as it
// is. FPTA_EINVAL for a name that is not a column's, FPTA_NOTFOUND when the
// table or the column is not in the schema.
int ColumnNamed(fpta_txn* txn, fpta_name* column_id, const schema::Table** table, unsigned* number);

// A column name resolved at some time (by any call in a transaction), which
// calls without a transaction rely on: its number and type.
bool IsResolvedColumn(const fpta_name* column_id);

}  // namespace fpta::resolve

#endif  // FPTA_SRC_RESOLVE_H
