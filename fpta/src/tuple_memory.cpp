// Tuple memory: sizing, allocation, copying a read-only tuple into a writable
// one, and taking the read-only form.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "recorder.h"
#include "tuple_check.h"
#include "tuple_format.h"

namespace {

using fpta::tuple::kMaxUnits;
using fpta::tuple::kUnitBytes;

constexpr size_t kHeadBytes = offsetof(fptu_rw, units);

// Bytes of a writable tuple with room for items headers and data_bytes of
// data, and the unit kept for the read-only header; SIZE_MAX when that
// overflows.
size_t SpaceFor(size_t items, size_t data_bytes) {
  const size_t data_units = data_bytes / kUnitBytes + (data_bytes % kUnitBytes != 0);
  size_t units;
  size_t bytes;
  if (__builtin_add_overflow(items, size_t{1}, &units) ||
      __builtin_add_overflow(units, data_units, &units) ||
      __builtin_mul_overflow(units, size_t{kUnitBytes}, &bytes) ||
      __builtin_add_overflow(bytes, kHeadBytes, &bytes)) {
    return SIZE_MAX;
  }
  return bytes;
}

// An empty tuple over units [0, end) with header room for items headers.
fptu_rw* Lay(void* memory, unsigned items, unsigned end) {
  fptu_rw* pt = static_cast<fptu_rw*>(memory);
  pt->head = pt->pivot = pt->tail = 1 + items;
  pt->junk = 0;
  pt->end = end;
  return pt;
}

}  // namespace

size_t fptu_space(size_t items, size_t data_bytes) {
  const fpta::CallRecord record(__func__, items, data_bytes);
  return SpaceFor(items, data_bytes);
}

fptu_rw* fptu_alloc(size_t items_limit, size_t data_bytes) {
  const fpta::CallRecord record(__func__, items_limit, data_bytes);
  if (items_limit >= kMaxUnits || data_bytes > fpta_max_row_bytes) return nullptr;
  const size_t units = 1 + items_limit + fpta::tuple::UnitsForBytes(data_bytes);
  if (units > kMaxUnits) return nullptr;
  void* memory = std::malloc(SpaceFor(items_limit, data_bytes));
  if (memory == nullptr) return nullptr;
  return Lay(memory, static_cast<unsigned>(items_limit), static_cast<unsigned>(units));
}

fptu_rw* fptu_fetch(fptu_ro source, void* buffer, size_t buffer_bytes, unsigned more_items) {
  const fpta::CallRecord record(__func__, source, buffer, buffer_bytes, more_items);
  fpta::tuple::Shape shape;
  if (fpta::tuple::CheckReadOnly(source, &shape) != nullptr) return nullptr;
  if (buffer == nullptr || reinterpret_cast<uintptr_t>(buffer) % alignof(fptu_rw) != 0)
    return nullptr;
  const size_t needed = size_t{1} + more_items + shape.items + shape.data_units;
  if (needed > kMaxUnits || buffer_bytes < kHeadBytes ||
      (buffer_bytes - kHeadBytes) / kUnitBytes < needed) {
    return nullptr;
  }
  // A tuple never grows beyond kMaxUnits, so a larger buffer is not all used.
  const size_t capacity = (buffer_bytes - kHeadBytes) / kUnitBytes;
  const unsigned end = static_cast<unsigned>(capacity < kMaxUnits ? capacity : kMaxUnits);
  const unsigned items = more_items + shape.items;
  // The source may lie inside the buffer: keep it until the layout is written.
  fptu_unit* const units = static_cast<fptu_rw*>(buffer)->units;
  const unsigned head = 1 + more_items;
  if (source.total_bytes != 0) std::memmove(units + head - 1, source.units, source.total_bytes);
  fptu_rw* pt = Lay(buffer, items, end);
  pt->head = head;
  pt->tail = pt->pivot + shape.data_units;
  pt->junk = shape.removed_units;
  return pt;
}

fptu_ro fptu_take_noshrink(fptu_rw* pt) {
  const fpta::CallRecord record(__func__, pt);
  fptu_ro tuple{};
  if (pt == nullptr || fpta::tuple::CheckBounds(*pt) != nullptr) return tuple;
  fptu_varlen& header = pt->units[pt->head - 1].varlen;
  header.brutto = static_cast<uint16_t>(pt->tail - pt->head);
  header.tuple_items = static_cast<uint16_t>(pt->pivot - pt->head);
  tuple.units = &pt->units[pt->head - 1];
  tuple.total_bytes = size_t{pt->tail - pt->head + 1} * kUnitBytes;
  return tuple;
}
