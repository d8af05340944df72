// A row held against its table: which field holds each column, whether the
// row may be stored, the index keys it has, and whether two rows are equal.
#ifndef FPTA_SRC_ROW_CHECK_H
#define FPTA_SRC_ROW_CHECK_H

#include <vector>

#include "keys.h"
#include "schema.h"

namespace fpta::rows {

// Fields by column number (null where the row has none) of a row that may be
// stored in table: FPTA_EINVAL for a tuple that is not sound or has no live
// field, FPTA_ECOLUMN for a field of a column the table does not have (or of
// a composite index), of another type than its column, or a second field of
// one column, FPTA_ENOKEY when a non-nullable index has no value.
int Check(const schema::Table& table, const fptu_ro& row, std::vector<const fptu_field*>* fields);

// Fields by column number of a row the store holds, which was checked when it
// was put.
void FieldsOf(const schema::Table& table, const fptu_ro& row,
              std::vector<const fptu_field*>* fields);

// The key of index column number for a row with these fields (Clear()ed and
// Finish()ed): FPTA_SUCCESS, FPTA_ENOKEY or ERANGE (NaN).
int KeyOf(const schema::Table& table, unsigned number, const std::vector<const fptu_field*>& fields,
          keys::Key* key);

// The key of index column number for a value given by a caller: a value of
// the column's type, or for a composite index a fpta_binary holding a tuple
// whose fields are the parts, by their column numbers. FPTA_ETYPE, ERANGE,
// FPTA_EINVAL or FPTA_ECOLUMN for a value that makes no key.
int KeyOfValue(const schema::Table& table, unsigned number, const fpta_value& value,
               keys::Key* key);

// Whether the row with these fields holds exactly the value (as KeyOfValue
// takes it) in index column number; how a find through a folded long key is
// made exact.
bool HoldsValue(const schema::Table& table, unsigned number,
                const std::vector<const fptu_field*>& fields, const fpta_value& value);

// Whether two rows hold the same values in index column number (its parts,
// for a composite index).
bool SameKey(const schema::Table& table, unsigned number, const std::vector<const fptu_field*>& a,
             const std::vector<const fptu_field*>& b);

// Whether two rows of the table hold the same value in every column.
bool Equal(const std::vector<const fptu_field*>& a, const std::vector<const fptu_field*>& b);

}  // namespace fpta::rows

#endif  // FPTA_SRC_ROW_CHECK_H
