#include "tuple_payload.h"

#include <cstring>
#include <limits>

#include "tuple_check.h"
#include "tuple_format.h"

namespace fpta::tuple {

namespace {

// The header unit of an empty tuple, stored for a nested empty one.
const fptu_unit kEmptyImage = {};

Payload Failed(fptu_type type, int status) {
  Payload payload;
  payload.type = type;
  payload.status = status;
  return payload;
}

Payload Lengthed(fptu_type type, const void* bytes, size_t length) {
  if (bytes == nullptr && length != 0) return Failed(type, FPTA_EINVAL);
  if (length > fpta_max_col_bytes) return Failed(type, FPTU_ETOOLONG);
  Payload payload;
  payload.type = type;
  payload.bytes = bytes;
  payload.length = length;
  return payload;
}

}  // namespace

unsigned Payload::Units() const {
  switch (type) {
    case fptu_cstr:
      return 1 + UnitsForBytes(length + 1);
    case fptu_opaque:
      return 1 + UnitsForBytes(length);
    case fptu_nested:
      return UnitsForBytes(length);
    default:
      return FixedUnits(type);
  }
}

void Payload::WriteTo(fptu_unit* data) const {
  const unsigned units = Units();
  if (type == fptu_cstr || type == fptu_opaque) {
    data[units - 1].data = 0;  // padding, and a string's terminator
    data[0].varlen.brutto = static_cast<uint16_t>(units - 1);
    data[0].varlen.opaque_bytes = static_cast<uint16_t>(length);
    if (length != 0) std::memcpy(data + 1, bytes, length);
  } else if (type == fptu_nested) {
    std::memcpy(data, bytes, length);
  } else if (units != 0) {
    std::memcpy(data, fixed, size_t{units} * kUnitBytes);
  }
}

Payload Uint16Payload(uint64_t value) {
  if (value > std::numeric_limits<uint16_t>::max()) return Failed(fptu_uint16, FPTA_EINVAL);
  Payload payload;
  payload.type = fptu_uint16;
  payload.inline_value = static_cast<uint16_t>(value);
  return payload;
}

Payload Int32Payload(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return Failed(fptu_int32, FPTA_EINVAL);
  }
  const int32_t narrowed = static_cast<int32_t>(value);
  return FixedPayload(fptu_int32, &narrowed);
}

Payload Uint32Payload(uint64_t value) {
  if (value > std::numeric_limits<uint32_t>::max()) return Failed(fptu_uint32, FPTA_EINVAL);
  const uint32_t narrowed = static_cast<uint32_t>(value);
  return FixedPayload(fptu_uint32, &narrowed);
}

Payload FixedPayload(fptu_type type, const void* value) {
  if (value == nullptr) return Failed(type, FPTA_EINVAL);
  Payload payload;
  payload.type = type;
  std::memcpy(payload.fixed, value, size_t{FixedUnits(type)} * kUnitBytes);
  return payload;
}

Payload TextPayload(const char* text, size_t length) { return Lengthed(fptu_cstr, text, length); }

Payload OpaquePayload(const void* value, size_t bytes) {
  return Lengthed(fptu_opaque, value, bytes);
}

Payload NestedPayload(const fptu_ro& tuple) {
  if (tuple.total_bytes > fpta_max_col_bytes) return Failed(fptu_nested, FPTU_ETOOLONG);
  if (CheckReadOnly(tuple, nullptr) != nullptr) return Failed(fptu_nested, FPTA_EINVAL);
  if (tuple.total_bytes == 0) return Lengthed(fptu_nested, &kEmptyImage, sizeof(kEmptyImage));
  return Lengthed(fptu_nested, tuple.units, tuple.total_bytes);
}

}  // namespace fpta::tuple
