// The tuple format: how fields are laid out in the units of a tuple.
//
// A read-only tuple is a run of 4-byte units. Unit 0 is a fptu_varlen whose
// brutto counts the units after it and whose tuple_items counts the field
// headers that follow it; the field data comes after the headers. Walking the
// headers from the last to the first, their data extents tile the data area
// in that order, with no gap and no overlap. A writable tuple (fptu_rw) keeps
// the same picture between head - 1 and tail, so taking its read-only form
// costs one header write.
//
// A header's ct holds the type number in bits 0-4 and the column number above
// them. A removed field keeps its type and its data (now junk) and takes the
// column number kRemovedColumn, so the tiling still holds.
#ifndef FPTA_SRC_TUPLE_FORMAT_H
#define FPTA_SRC_TUPLE_FORMAT_H

#include <cstddef>
#include <cstdint>

#include "fpta.h"

namespace fpta::tuple {

constexpr unsigned kUnitBytes = sizeof(fptu_unit);
constexpr unsigned kTypeBits = fpta_column_typeid_bits;
constexpr unsigned kTypeMask = fpta_column_typeid_mask;
// Column number of a removed field; live columns stay below fpta_max_cols.
constexpr unsigned kRemovedColumn = 0xFFFFu >> kTypeBits;
// Units of the largest read-only tuple, its header unit included.
constexpr unsigned kMaxUnits = fpta_max_row_bytes / kUnitBytes;
// Nested tuples deeper than this are refused, which keeps checks off the
// bottom of the stack.
constexpr int kMaxNesting = 64;

inline uint16_t MakeCt(unsigned column, fptu_type type) {
  return static_cast<uint16_t>(column << kTypeBits | static_cast<unsigned>(type));
}
inline unsigned ColumnOf(const fptu_field& field) { return field.ct >> kTypeBits; }
inline fptu_type TypeOf(const fptu_field& field) {
  return static_cast<fptu_type>(field.ct & kTypeMask);
}
inline bool IsRemoved(const fptu_field& field) { return ColumnOf(field) == kRemovedColumn; }

// The field types this format stores: uint16 up to nested; arrays are not built.
inline bool IsStoredType(fptu_type type) { return type >= fptu_uint16 && type <= fptu_nested; }
inline bool IsVariableLength(fptu_type type) { return type >= fptu_cstr && type <= fptu_nested; }

// Data units of a fixed-size type; uint16 keeps its value in the header's
// offset and has none.
unsigned FixedUnits(fptu_type type);

inline unsigned UnitsForBytes(size_t bytes) {
  return static_cast<unsigned>((bytes + kUnitBytes - 1) / kUnitBytes);
}

// The data extent of the field whose header is units[header], in units, or
// false when its data does not lie within [data_begin, data_end).
bool FieldExtent(const fptu_unit* units, unsigned header, unsigned data_begin, unsigned data_end,
                 unsigned* extent);

// The header (units[1 .. items]) of the first field of column and type in a
// read-only tuple whose header unit is sound, or 0 when there is none.
// Removed fields carry kRemovedColumn, which no column has.
unsigned FindField(const fptu_ro& tuple, unsigned column, fptu_type type);

// The value of a live field of a sound tuple, as fpta_field2value() gives it.
fpta_value DecodeField(const fptu_field& field);

}  // namespace fpta::tuple

#endif  // FPTA_SRC_TUPLE_FORMAT_H
