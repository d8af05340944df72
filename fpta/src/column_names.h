// The spellings of the names in column sets being described.
//
// A fpta_column_set holds only the hashes of its column names (its layout is
// fixed), yet a table keeps its columns' names as they were written. So each
// fpta_column_describe / fpta_describe_composite_index remembers the name it
// was given, by the set's address and the column's position, and
// fpta_table_create recalls them. A set that was copied elsewhere, or whose
// memory was described again, still finds a name by its hash: the latest
// spelling this process described under that hash.
#ifndef FPTA_SRC_COLUMN_NAMES_H
#define FPTA_SRC_COLUMN_NAMES_H

#include <string>
#include <vector>

#include "fpta.h"

namespace fpta::column_names {

// Position 0 starts the set's list afresh (fpta_column_set_init is inline
// and cannot tell).
void Remember(const fpta_column_set* set, unsigned position, const char* name);

// The name of each column of the set, by position; "" for one this process
// never described (it cannot happen through the interface, but a set may be
// filled by hand).
std::vector<std::string> Recall(const fpta_column_set& set);

}  // namespace fpta::column_names

#endif  // FPTA_SRC_COLUMN_NAMES_H
