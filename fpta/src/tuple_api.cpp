// The fptu_insert_* and fptu_upsert_* entry points: each records itself and
// hands its value, in stored form, to the writer.
#include "recorder.h"
#include "tuple_writer.h"

using fpta::CallRecord;
using namespace fpta::tuple;

int fptu_insert_uint16(fptu_rw* pt, unsigned column, unsigned value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, Uint16Payload(value));
}

int fptu_insert_uint32(fptu_rw* pt, unsigned column, uint32_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, Uint32Payload(value));
}

int fptu_insert_uint64(fptu_rw* pt, unsigned column, uint64_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, FixedPayload(fptu_uint64, &value));
}

int fptu_insert_int32(fptu_rw* pt, unsigned column, int32_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, Int32Payload(value));
}

int fptu_insert_int64(fptu_rw* pt, unsigned column, int64_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, FixedPayload(fptu_int64, &value));
}

int fptu_insert_fp32(fptu_rw* pt, unsigned column, float value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, FixedPayload(fptu_fp32, &value));
}

int fptu_insert_fp64(fptu_rw* pt, unsigned column, double value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, FixedPayload(fptu_fp64, &value));
}

int fptu_insert_datetime(fptu_rw* pt, unsigned column, fptu_time value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, FixedPayload(fptu_datetime, &value));
}

int fptu_insert_96(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Insert(pt, column, FixedPayload(fptu_96, data));
}

int fptu_insert_128(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Insert(pt, column, FixedPayload(fptu_128, data));
}

int fptu_insert_160(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Insert(pt, column, FixedPayload(fptu_160, data));
}

int fptu_insert_256(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Insert(pt, column, FixedPayload(fptu_256, data));
}

int fptu_insert_string(fptu_rw* pt, unsigned column, const char* text, size_t length) {
  const CallRecord record(__func__, pt, column, text, length);
  return Insert(pt, column, TextPayload(text, length));
}

int fptu_insert_opaque(fptu_rw* pt, unsigned column, const void* value, size_t bytes) {
  const CallRecord record(__func__, pt, column, value, bytes);
  return Insert(pt, column, OpaquePayload(value, bytes));
}

int fptu_insert_opaque_iov(fptu_rw* pt, unsigned column, const struct iovec value) {
  const CallRecord record(__func__, pt, column, value);
  return Insert(pt, column, OpaquePayload(value.iov_base, value.iov_len));
}

int fptu_insert_nested(fptu_rw* pt, unsigned column, fptu_ro ro) {
  const CallRecord record(__func__, pt, column, ro);
  return Insert(pt, column, NestedPayload(ro));
}

int fptu_upsert_null(fptu_rw* pt, unsigned column) {
  const CallRecord record(__func__, pt, column);
  return RemoveColumn(pt, column);
}

int fptu_upsert_uint16(fptu_rw* pt, unsigned column, uint_fast16_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, Uint16Payload(value));
}

int fptu_upsert_uint32(fptu_rw* pt, unsigned column, uint_fast32_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, Uint32Payload(value));
}

int fptu_upsert_uint64(fptu_rw* pt, unsigned column, uint_fast64_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, FixedPayload(fptu_uint64, &value));
}

int fptu_upsert_int32(fptu_rw* pt, unsigned column, int_fast32_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, Int32Payload(value));
}

int fptu_upsert_int64(fptu_rw* pt, unsigned column, int_fast64_t value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, FixedPayload(fptu_int64, &value));
}

int fptu_upsert_fp32(fptu_rw* pt, unsigned column, float value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, FixedPayload(fptu_fp32, &value));
}

int fptu_upsert_fp64(fptu_rw* pt, unsigned column, double value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, FixedPayload(fptu_fp64, &value));
}

int fptu_upsert_datetime(fptu_rw* pt, unsigned column, fptu_time value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, FixedPayload(fptu_datetime, &value));
}

int fptu_upsert_96(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Upsert(pt, column, FixedPayload(fptu_96, data));
}

int fptu_upsert_128(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Upsert(pt, column, FixedPayload(fptu_128, data));
}

int fptu_upsert_160(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Upsert(pt, column, FixedPayload(fptu_160, data));
}

int fptu_upsert_256(fptu_rw* pt, unsigned column, const void* data) {
  const CallRecord record(__func__, pt, column, data);
  return Upsert(pt, column, FixedPayload(fptu_256, data));
}

int fptu_upsert_string(fptu_rw* pt, unsigned column, const char* text, size_t length) {
  const CallRecord record(__func__, pt, column, text, length);
  return Upsert(pt, column, TextPayload(text, length));
}

int fptu_upsert_opaque(fptu_rw* pt, unsigned column, const void* value, size_t bytes) {
  const CallRecord record(__func__, pt, column, value, bytes);
  return Upsert(pt, column, OpaquePayload(value, bytes));
}

int fptu_upsert_opaque_iov(fptu_rw* pt, unsigned column, const struct iovec value) {
  const CallRecord record(__func__, pt, column, value);
  return Upsert(pt, column, OpaquePayload(value.iov_base, value.iov_len));
}

int fptu_upsert_nested(fptu_rw* pt, unsigned column, fptu_ro ro) {
  const CallRecord record(__func__, pt, column, ro);
  return Upsert(pt, column, NestedPayload(ro));
}
