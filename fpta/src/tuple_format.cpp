#include "tuple_format.h"

namespace fpta::tuple {

unsigned FixedUnits(fptu_type type) {
  switch (type) {
    case fptu_int32:
    case fptu_uint32:
    case fptu_fp32:
      return 1;
    case fptu_int64:
    case fptu_uint64:
    case fptu_fp64:
    case fptu_datetime:
      return 2;
    case fptu_96:
      return 3;
    case fptu_128:
      return 4;
    case fptu_160:
      return 5;
    case fptu_256:
      return 8;
    default:
      return 0;
  }
}

bool FieldExtent(const fptu_unit* units, unsigned header, unsigned data_begin, unsigned data_end,
                 unsigned* extent) {
  const fptu_field& field = units[header].field;
  const fptu_type type = TypeOf(field);
  if (type == fptu_uint16) {
    *extent = 0;
    return true;
  }
  if (!IsStoredType(type)) return false;
  const unsigned data = header + field.offset;
  if (field.offset == 0 || data < data_begin || data >= data_end) return false;
  const unsigned units_of_data =
      IsVariableLength(type) ? 1u + units[data].varlen.brutto : FixedUnits(type);
  if (units_of_data > data_end - data) return false;
  *extent = units_of_data;
  return true;
}

unsigned FindField(const fptu_ro& tuple, unsigned column, fptu_type type) {
  if (tuple.total_bytes == 0) return 0;
  const unsigned items = tuple.units[0].varlen.tuple_items;
  for (unsigned header = 1; header <= items; ++header) {
    const fptu_field& field = tuple.units[header].field;
    if (ColumnOf(field) == column && TypeOf(field) == type) return header;
  }
  return 0;
}

}  // namespace fpta::tuple
