// Describing the columns and indexes of a table into a fpta_column_set.
//
// Each column becomes a 64-bit id: type number in bits 0-4, the index flags
// in bits 5-9 (fpta_index_type values are those bits already), the name hash
// from bit 10. A composite index is a column of type fptu_null whose parts
// are listed in the set's composite pool.
#ifndef FPTA_SRC_COLUMN_SET_H
#define FPTA_SRC_COLUMN_SET_H

#include <cstddef>
#include <cstdint>

#include "fpta.h"

namespace fpta::columns {

inline fptu_type TypeOfShove(uint64_t shove) {
  return static_cast<fptu_type>(shove & fpta_column_typeid_mask);
}
inline unsigned IndexOfShove(uint64_t shove) {
  return static_cast<unsigned>(shove & fpta_column_index_mask);
}

// One of the named fpta_index_type values.
bool IsNamedIndexType(fpta_index_type index);
bool IsIndexed(unsigned index);
bool IsPrimary(unsigned index);

int DescribeComposite(const char* composite_name, fpta_index_type index_type,
                      fpta_column_set* column_set, const char* const* column_names,
                      size_t column_names_count);

// A set a table can be made of: at least one column and exactly one primary index.
int CheckTableSet(const fpta_column_set* column_set);

}  // namespace fpta::columns

#endif  // FPTA_SRC_COLUMN_SET_H
