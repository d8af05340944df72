#include "column_set.h"

#include <bitset>
#include <cstdarg>

#include "column_names.h"
#include "names.h"
#include "recorder.h"

namespace fpta::columns {

namespace {

using names::IsValidName;
using names::NameHash;

// Words of the composite pool after its fill word.
constexpr unsigned kPoolWords = fpta_max_cols - 1;

constexpr unsigned kIndexKindFlags =
    fpta_index_funique | fpta_index_fordered | fpta_index_fobverse | fpta_index_fsecondary;

// A set whose count and pool fill are in range; the rest is trusted.
int CheckSet(const fpta_column_set* set) {
  if (set == nullptr || set->count > fpta_max_cols || set->composites[0] > kPoolWords)
    return FPTA_EINVAL;
  return FPTA_SUCCESS;
}

// The position of the column with that name hash in the set, or -1.
int PositionInSet(const fpta_column_set& set, uint64_t hash) {
  for (unsigned i = 0; i < set.count; ++i) {
    if (names::HashOfShove(set.shoves[i]) == hash) return static_cast<int>(i);
  }
  return -1;
}

bool HasPrimary(const fpta_column_set& set) {
  for (unsigned i = 0; i < set.count; ++i) {
    if (IsPrimary(IndexOfShove(set.shoves[i]))) return true;
  }
  return false;
}

// The checks every new column or composite index passes last.
int CheckNewColumn(const fpta_column_set& set, uint64_t hash, unsigned index) {
  if (PositionInSet(set, hash) >= 0) return FPTA_EEXIST;
  if (IsPrimary(index) && HasPrimary(set)) return FPTA_EEXIST;
  return set.count < fpta_max_cols ? FPTA_SUCCESS : FPTA_ETOOMANY;
}

void AppendColumn(fpta_column_set* set, const char* name, uint64_t hash, unsigned index,
                  fptu_type type) {
  column_names::Remember(set, set->count, name);
  set->shoves[set->count++] = hash << fpta_name_hash_shift | index | static_cast<unsigned>(type);
}

int DescribeColumn(const char* name, fptu_type type, fpta_index_type index, fpta_column_set* set) {
  if (CheckSet(set) != FPTA_SUCCESS || !IsValidName(name) || !IsNamedIndexType(index))
    return FPTA_EINVAL;
  // Array columns (fptu_farray plus an element type) are not built yet.
  if (type > fptu_farray && type <= fptu_typeid_max) return FPTA_ENOIMP;
  if (type < fptu_uint16 || type > fptu_nested) return FPTA_EINVAL;
  // A nested tuple has no order and cannot be a key.
  if (type == fptu_nested && IsIndexed(index)) return FPTA_EINVAL;
  const uint64_t hash = NameHash(name);
  const int status = CheckNewColumn(*set, hash, index);
  if (status != FPTA_SUCCESS) return status;
  AppendColumn(set, name, hash, index, type);
  return FPTA_SUCCESS;
}

}  // namespace

bool IsNamedIndexType(fpta_index_type index) {
  static const std::bitset<1024> named = [] {
    std::bitset<1024> values;
    for (const fpta_index_type value : {fpta_index_funique,
                                        fpta_index_fordered,
                                        fpta_index_fobverse,
                                        fpta_index_fsecondary,
                                        fpta_index_fnullable,
                                        fpta_index_none,
                                        fpta_noindex_nullable,
                                        fpta_primary_withdups_ordered_obverse,
                                        fpta_primary_withdups_ordered_obverse_nullable,
                                        fpta_primary_withdups_ordered_reverse,
                                        fpta_primary_withdups_ordered_reverse_nullable,
                                        fpta_primary_unique_ordered_obverse,
                                        fpta_primary_unique_ordered_obverse_nullable,
                                        fpta_primary_unique_ordered_reverse,
                                        fpta_primary_unique_ordered_reverse_nullable,
                                        fpta_primary_unique_unordered,
                                        fpta_primary_unique_unordered_nullable_obverse,
                                        fpta_primary_unique_unordered_nullable_reverse,
                                        fpta_primary_withdups_unordered,
                                        fpta_primary_withdups_unordered_nullable_obverse,
                                        fpta_secondary_withdups_ordered_obverse,
                                        fpta_secondary_withdups_ordered_obverse_nullable,
                                        fpta_secondary_withdups_ordered_reverse,
                                        fpta_secondary_withdups_ordered_reverse_nullable,
                                        fpta_secondary_unique_ordered_obverse,
                                        fpta_secondary_unique_ordered_obverse_nullable,
                                        fpta_secondary_unique_ordered_reverse,
                                        fpta_secondary_unique_ordered_reverse_nullable,
                                        fpta_secondary_unique_unordered,
                                        fpta_secondary_unique_unordered_nullable_obverse,
                                        fpta_secondary_unique_unordered_nullable_reverse,
                                        fpta_secondary_withdups_unordered,
                                        fpta_secondary_withdups_unordered_nullable_obverse,
                                        fpta_secondary_withdups_unordered_nullable_reverse}) {
      values.set(static_cast<size_t>(value));
    }
    return values;
  }();
  return index >= 0 && index < 1024 && named.test(static_cast<size_t>(index));
}

bool IsIndexed(unsigned index) { return (index & kIndexKindFlags) != 0; }

bool IsPrimary(unsigned index) { return IsIndexed(index) && (index & fpta_index_fsecondary) == 0; }

int DescribeComposite(const char* composite_name, fpta_index_type index_type, fpta_column_set* set,
                      const char* const* column_names, size_t column_names_count) {
  if (CheckSet(set) != FPTA_SUCCESS || !IsValidName(composite_name) ||
      !IsNamedIndexType(index_type) || !IsIndexed(index_type) || column_names == nullptr ||
      column_names_count < 2) {
    return FPTA_EINVAL;
  }
  const unsigned used = set->composites[0];
  if (column_names_count >= kPoolWords - used) return FPTA_ETOOMANY;
  // The parts are written past the pool's fill and only counted in at the end.
  uint16_t* const entry = &set->composites[1 + used];
  std::bitset<fpta_max_cols> taken;
  for (size_t i = 0; i < column_names_count; ++i) {
    if (!IsValidName(column_names[i])) return FPTA_EINVAL;
    const int position = PositionInSet(*set, NameHash(column_names[i]));
    if (position < 0) return FPTA_NOTFOUND;
    const fptu_type type = TypeOfShove(set->shoves[position]);
    if (type == fptu_null || type == fptu_nested || taken.test(position)) return FPTA_EINVAL;
    taken.set(position);
    entry[1 + i] = static_cast<uint16_t>(position);
  }
  const uint64_t hash = NameHash(composite_name);
  const int status = CheckNewColumn(*set, hash, index_type);
  if (status != FPTA_SUCCESS) return status;
  entry[0] = static_cast<uint16_t>(column_names_count);
  set->composites[0] = static_cast<uint16_t>(used + 1 + column_names_count);
  AppendColumn(set, composite_name, hash, index_type, fptu_null);
  return FPTA_SUCCESS;
}

int CheckTableSet(const fpta_column_set* set) {
  if (CheckSet(set) != FPTA_SUCCESS || set->count == 0) return FPTA_EINVAL;
  unsigned primaries = 0;
  for (unsigned i = 0; i < set->count; ++i) primaries += IsPrimary(IndexOfShove(set->shoves[i]));
  return primaries == 1 ? FPTA_SUCCESS : FPTA_EINVAL;
}

}  // namespace fpta::columns

using namespace fpta::columns;

int fpta_column_describe(const char* column_name, fptu_type data_type, fpta_index_type index_type,
                         fpta_column_set* column_set) {
  const fpta::CallRecord record(__func__, column_name, data_type, index_type, column_set);
  return DescribeColumn(column_name, data_type, index_type, column_set);
}

int fpta_describe_composite_index(const char* composite_name, fpta_index_type index_type,
                                  fpta_column_set* column_set, const char** column_names_array,
                                  size_t column_names_count) {
  const fpta::CallRecord record(__func__, composite_name, index_type, column_set,
                                column_names_array, column_names_count);
  return DescribeComposite(composite_name, index_type, column_set, column_names_array,
                           column_names_count);
}

int fpta_describe_composite_index_va(const char* composite_name, fpta_index_type index_type,
                                     fpta_column_set* column_set, const char* first,
                                     const char* second, const char* third, ...) {
  const fpta::CallRecord record(__func__, composite_name, index_type, column_set, first, second,
                                third, fpta::Ellipsis{});
  // The names run up to the first null one; more than a set could hold is
  // refused without reading further.
  const char* column_names[fpta_max_cols + 1] = {first, second, third};
  size_t count = 0;
  while (count < 3 && column_names[count] != nullptr) ++count;
  if (count == 3) {
    va_list more;
    va_start(more, third);
    while (count <= fpta_max_cols && (column_names[count] = va_arg(more, const char*)) != nullptr)
      ++count;
    va_end(more);
  }
  if (count > fpta_max_cols) return FPTA_ETOOMANY;
  return DescribeComposite(composite_name, index_type, column_set, column_names, count);
}
