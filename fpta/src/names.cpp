#include "names.h"

#include <cstring>

#include "fnv1a.h"
#include "recorder.h"

namespace fpta::names {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr uint64_t kHashMask = (uint64_t{1} << fpta_name_hash_bits) - 1;

}  // namespace

bool IsValidName(const char* name) {
  if (name == nullptr) return false;
  const size_t length = strnlen(name, fpta_name_len_max + 1);
  if (length < fpta_name_len_min || length > fpta_name_len_max) return false;
  if (!IsAsciiLetter(name[0]) && name[0] != '_') return false;
  for (size_t i = 1; i < length; ++i) {
    if (!IsAsciiLetter(name[i]) && !IsAsciiDigit(name[i]) && name[i] != '_') return false;
  }
  return true;
}

uint64_t NameHash(const char* name) {
  // Case-folded, its top bits folded into the 54 that an id keeps.
  uint64_t hash = fnv1a::kBasis;
  for (const char* c = name; *c != '\0'; ++c)
    hash = fnv1a::Step(hash, static_cast<uint8_t>(FoldCase(*c)));
  hash = (hash ^ (hash >> fpta_name_hash_bits)) & kHashMask;
  return hash != 0 ? hash : 1;
}

bool IsTableName(const fpta_name* id) {
  return id != nullptr && HashOfShove(id->shove) != 0 && id->table == nullptr;
}

bool IsColumnName(const fpta_name* id) {
  return id != nullptr && HashOfShove(id->shove) != 0 && id->table != id && IsTableName(id->table);
}

}  // namespace fpta::names

using namespace fpta::names;

int fpta_table_init(fpta_name* table_id, const char* name) {
  const fpta::CallRecord record(__func__, table_id, name);
  if (table_id == nullptr || !IsValidName(name)) return FPTA_EINVAL;
  *table_id = fpta_name{};
  table_id->shove = ShoveOf(name);
  return FPTA_SUCCESS;
}

int fpta_column_init(const fpta_name* table_id, fpta_name* column_id, const char* name) {
  const fpta::CallRecord record(__func__, table_id, column_id, name);
  if (!IsTableName(table_id) || column_id == nullptr || column_id == table_id ||
      !IsValidName(name)) {
    return FPTA_EINVAL;
  }
  *column_id = fpta_name{};
  column_id->shove = ShoveOf(name);
  column_id->table = table_id;
  return FPTA_SUCCESS;
}

void fpta_name_destroy(fpta_name* id) {
  const fpta::CallRecord record(__func__, id);
  if (id != nullptr) std::memset(id, 0, sizeof(*id));
}
