// Table and column names: their spelling rules, their 54-bit hash, and the
// fpta_name records that carry them.
//
// A name is 1 to 512 characters: an ASCII letter or '_' first, then letters,
// digits and '_'. Names are case-insensitive: the hash folds letters to lower
// case, so "Orders" and "orders" are the same table.
#ifndef FPTA_SRC_NAMES_H
#define FPTA_SRC_NAMES_H

#include <cstdint>

#include "fpta.h"

namespace fpta::names {

bool IsValidName(const char* name);
// The name's hash, never 0, in the low fpta_name_hash_bits bits.
uint64_t NameHash(const char* name);
// The name's hash moved to its place in a 64-bit id (bits 10 and up).
inline uint64_t ShoveOf(const char* name) { return NameHash(name) << fpta_name_hash_shift; }
inline uint64_t HashOfShove(uint64_t shove) { return shove >> fpta_name_hash_shift; }

// Filled by fpta_table_init(): a hash, and no table of its own.
bool IsTableName(const fpta_name* id);
// Filled by fpta_column_init(): a hash, and the table it belongs to.
bool IsColumnName(const fpta_name* id);

}  // namespace fpta::names

#endif  // FPTA_SRC_NAMES_H
