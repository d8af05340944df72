// Helpers for the tests of the tuple layer: owned tuples and the live fields
// of a read-only tuple, decoded through the public interface.
#ifndef FPTA_SRC_TUPLE_TESTING_H
#define FPTA_SRC_TUPLE_TESTING_H

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fpta.h"

namespace fpta::testing {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
using Tuple = std::unique_ptr<fptu_rw, FreeDeleter>;

inline Tuple Alloc(size_t items, size_t data_bytes) { return Tuple(fptu_alloc(items, data_bytes)); }

struct Field {
  unsigned column;
  fptu_type type;
  fpta_value value;
};

// The fields of ro that are not removed, in header order.
inline std::vector<Field> LiveFields(const fptu_ro& ro) {
  std::vector<Field> fields;
  if (ro.total_bytes == 0) return fields;
  for (unsigned i = 1; i <= ro.units[0].varlen.tuple_items; ++i) {
    const fptu_field& header = ro.units[i].field;
    const unsigned column = header.ct >> fpta_column_typeid_bits;
    if (column == 0x7FF) continue;
    fields.push_back({column, static_cast<fptu_type>(header.ct & fpta_column_typeid_mask),
                      fpta_field2value(&ro.units[i])});
  }
  return fields;
}

inline std::vector<Field> LiveFields(fptu_rw* pt) { return LiveFields(fptu_take_noshrink(pt)); }

inline std::string Bytes(const fpta_value& value) {
  return std::string(static_cast<const char*>(value.binary_data), value.binary_length);
}

}  // namespace fpta::testing

#endif  // FPTA_SRC_TUPLE_TESTING_H
