#include "tuple_check.h"

#include "recorder.h"
#include "tuple_format.h"

namespace fpta::tuple {

namespace {

const char* CheckPayload(const fptu_unit* data, fptu_type type, unsigned extent, int depth);

// Image of a tuple: units[0, count), the header unit first.
const char* CheckImage(const fptu_unit* units, size_t count, Shape* shape, int depth);

// The headers in [head, pivot) and their data tiling [pivot, tail); counts
// the removed fields into shape.
const char* CheckFields(const fptu_unit* units, unsigned head, unsigned pivot, unsigned tail,
                        int depth, Shape& shape) {
  unsigned next_data = pivot;
  for (unsigned header = pivot; header-- > head;) {
    const fptu_field& field = units[header].field;
    const fptu_type type = TypeOf(field);
    if (type == fptu_null) return "field has the type null";
    if (!IsStoredType(type)) return "field type is not one this format stores";
    const bool removed = IsRemoved(field);
    if (!removed && ColumnOf(field) >= fpta_max_cols) return "field column number is out of range";
    unsigned extent;
    if (!FieldExtent(units, header, pivot, tail, &extent))
      return "field data lies outside the data area";
    if (extent != 0 && header + field.offset != next_data) return "field data is out of order";
    next_data += extent;
    if (removed) {
      ++shape.removed_items;
      shape.removed_units += 1 + extent;
    } else if (extent != 0) {
      if (const char* fault = CheckPayload(units + header + field.offset, type, extent, depth))
        return fault;
    }
  }
  return next_data == tail ? nullptr : "data area holds units of no field";
}

const char* CheckLength(const fptu_ro& tuple) {
  if (tuple.units == nullptr) return "tuple units are null";
  if (tuple.total_bytes % kUnitBytes != 0) return "tuple length is not a whole number of units";
  return tuple.total_bytes > fpta_max_row_bytes ? "tuple is longer than fpta_max_row_bytes"
                                                : nullptr;
}

const char* CheckPayload(const fptu_unit* data, fptu_type type, unsigned extent, int depth) {
  const unsigned brutto = extent - 1;
  const unsigned bytes = data->varlen.opaque_bytes;
  switch (type) {
    case fptu_cstr:
      if (bytes > fpta_max_col_bytes) return "string is longer than a field may be";
      if (UnitsForBytes(bytes + 1) != brutto) return "string length does not match its units";
      if (reinterpret_cast<const char*>(data + 1)[bytes] != '\0') return "string is not terminated";
      return nullptr;
    case fptu_opaque:
      if (bytes > fpta_max_col_bytes) return "opaque value is longer than a field may be";
      return UnitsForBytes(bytes) == brutto ? nullptr : "opaque length does not match its units";
    case fptu_nested:
      if (size_t{extent} * kUnitBytes > fpta_max_col_bytes)
        return "nested tuple is longer than a field may be";
      if (depth >= kMaxNesting) return "nested tuples are too deep";
      return CheckImage(data, extent, nullptr, depth + 1);
    default:
      return nullptr;
  }
}

const char* CheckImage(const fptu_unit* units, size_t count, Shape* shape, int depth) {
  if (count > kMaxUnits) return "tuple is longer than fpta_max_row_bytes";
  const fptu_varlen& header = units[0].varlen;
  if (header.brutto != count - 1) return "tuple header does not match the tuple length";
  if (header.tuple_items > header.brutto) return "tuple header counts more fields than units";
  Shape found;
  found.items = header.tuple_items;
  found.data_units = header.brutto - header.tuple_items;
  if (const char* fault = CheckFields(units, 1, 1 + found.items, header.brutto + 1, depth, found))
    return fault;
  if (shape != nullptr) *shape = found;
  return nullptr;
}

}  // namespace

const char* CheckReadOnly(const fptu_ro& tuple, Shape* shape) {
  if (tuple.total_bytes == 0) {
    if (shape != nullptr) *shape = Shape{};
    return nullptr;
  }
  if (const char* fault = CheckLength(tuple)) return fault;
  return CheckImage(tuple.units, tuple.total_bytes / kUnitBytes, shape, 0);
}

const char* CheckHeader(const fptu_ro& tuple) {
  if (tuple.total_bytes == 0) return nullptr;
  if (const char* fault = CheckLength(tuple)) return fault;
  const fptu_varlen& header = tuple.units[0].varlen;
  if (header.brutto != tuple.total_bytes / kUnitBytes - 1)
    return "tuple header does not match the tuple length";
  return header.tuple_items > header.brutto ? "tuple header counts more fields than units"
                                            : nullptr;
}

const char* CheckField(const fptu_ro& tuple, unsigned header) {
  const fptu_varlen& head = tuple.units[0].varlen;
  const fptu_field& field = tuple.units[header].field;
  unsigned extent;
  if (!IsStoredType(TypeOf(field))) return "field type is not one this format stores";
  if (!FieldExtent(tuple.units, header, 1u + head.tuple_items, 1u + head.brutto, &extent)) {
    return "field data lies outside the data area";
  }
  return extent != 0 ? CheckPayload(tuple.units + header + field.offset, TypeOf(field), extent, 0)
                     : nullptr;
}

const char* CheckBounds(const fptu_rw& pt) {
  if (pt.head == 0) return "head leaves no unit for the tuple header";
  if (pt.head > pt.pivot) return "head lies beyond pivot";
  if (pt.pivot > pt.tail) return "pivot lies beyond tail";
  if (pt.tail > pt.end) return "tail lies beyond end";
  if (pt.end > kMaxUnits) return "end lies beyond the largest tuple";
  return nullptr;
}

const char* CheckWritable(const fptu_rw& pt) {
  if (const char* fault = CheckBounds(pt)) return fault;
  Shape found;
  if (const char* fault = CheckFields(pt.units, pt.head, pt.pivot, pt.tail, 0, found)) return fault;
  return found.removed_units == pt.junk ? nullptr : "junk does not match the removed fields";
}

}  // namespace fpta::tuple

const char* fptu_check(const fptu_rw* pt) {
  const fpta::CallRecord record(__func__, pt);
  return pt == nullptr ? "tuple is null" : fpta::tuple::CheckWritable(*pt);
}
