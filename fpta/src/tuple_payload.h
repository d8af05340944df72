// The value of a field about to be written, in the form the format stores.
// Builders check the value and leave a status in the payload, so a writer
// reports the tuple's own faults (null tuple, column out of range) first.
#ifndef FPTA_SRC_TUPLE_PAYLOAD_H
#define FPTA_SRC_TUPLE_PAYLOAD_H

#include <cstddef>
#include <cstdint>

#include "fpta.h"

namespace fpta::tuple {

struct Payload {
  fptu_type type = fptu_null;
  int status = FPTA_SUCCESS;
  uint16_t inline_value = 0;     // the value of a uint16 field
  unsigned char fixed[32] = {};  // the value of any other fixed-size kind (256 bits at most)
  const void* bytes = nullptr;   // cstr, opaque: the bytes; nested: the image
  size_t length = 0;             // cstr, opaque: bytes of the value; nested: bytes of the image

  // Units the field's data takes.
  unsigned Units() const;
  // Writes the field's data to units()[0, Units()).
  void WriteTo(fptu_unit* data) const;
};

// uint16, int32 and uint32 take wider arguments; a value out of the field's
// range gives FPTA_EINVAL instead of a silently cut one.
Payload Uint16Payload(uint64_t value);
Payload Int32Payload(int64_t value);
Payload Uint32Payload(uint64_t value);
// Any other fixed-size kind: copies FixedUnits(type) units from value.
Payload FixedPayload(fptu_type type, const void* value);
Payload TextPayload(const char* text, size_t length);
Payload OpaquePayload(const void* value, size_t bytes);
Payload NestedPayload(const fptu_ro& tuple);

}  // namespace fpta::tuple

#endif  // FPTA_SRC_TUPLE_PAYLOAD_H
