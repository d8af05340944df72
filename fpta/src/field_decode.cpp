// fpta_field2value: one field of a tuple as a typed value.
#include <cstring>

#include "recorder.h"
#include "tuple_format.h"

namespace fpta::tuple {

namespace {

template <typename T>
T LoadUnaligned(const fptu_unit* data) {
  T value;
  std::memcpy(&value, data, sizeof(value));
  return value;
}

}  // namespace

fpta_value DecodeField(const fptu_field& field) {
  const fptu_unit* data = reinterpret_cast<const fptu_unit*>(&field) + field.offset;
  switch (TypeOf(field)) {
    case fptu_uint16:
      return fpta_value_uint(field.offset);
    case fptu_int32:
      return fpta_value_sint(LoadUnaligned<int32_t>(data));
    case fptu_uint32:
      return fpta_value_uint(LoadUnaligned<uint32_t>(data));
    case fptu_fp32:
      return fpta_value_float(LoadUnaligned<float>(data));
    case fptu_int64:
      return fpta_value_sint(LoadUnaligned<int64_t>(data));
    case fptu_uint64:
      return fpta_value_uint(LoadUnaligned<uint64_t>(data));
    case fptu_fp64:
      return fpta_value_float(LoadUnaligned<double>(data));
    case fptu_datetime:
      return fpta_value_datetime(LoadUnaligned<fptu_time>(data));
    case fptu_96:
    case fptu_128:
    case fptu_160:
    case fptu_256:
      return fpta_value_binary(data, size_t{FixedUnits(TypeOf(field))} * kUnitBytes);
    case fptu_cstr:
      return fpta_value_string(reinterpret_cast<const char*>(data + 1), data->varlen.opaque_bytes);
    case fptu_opaque:
      return fpta_value_binary(data + 1, data->varlen.opaque_bytes);
    case fptu_nested:
      return fpta_value_binary(data, (size_t{1} + data->varlen.brutto) * kUnitBytes);
    default:
      return fpta_value_null();
  }
}

}  // namespace fpta::tuple

using namespace fpta::tuple;

fpta_value fpta_field2value(const void* field) {
  const fpta::CallRecord record(__func__, field);
  if (field == nullptr) return fpta_value_null();
  const fptu_field& header = *static_cast<const fptu_field*>(field);
  return IsRemoved(header) ? fpta_value_null() : DecodeField(header);
}
