#include "tuple_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "tuple_check.h"
#include "tuple_format.h"

namespace fpta::tuple {

namespace {

// A tuple in bounds and a column number in range; with a payload, one
// made without error.
int CheckTarget(const fptu_rw* pt, unsigned column) {
  if (pt == nullptr || CheckBounds(*pt) != nullptr) return FPTA_EINVAL;
  return column < fpta_max_cols ? FPTA_SUCCESS : FPTA_EINVAL;
}

int CheckTarget(const fptu_rw* pt, unsigned column, const Payload& payload) {
  const int status = CheckTarget(pt, column);
  return status != FPTA_SUCCESS ? status : payload.status;
}

// A value that lies inside the tuple itself, such as the tuple's own
// read-only view, would be overwritten by the new header or moved by a
// repack before it is copied; such a value is written from `copy`.
Payload DetachedPayload(const fptu_rw& pt, const Payload& payload, std::string& copy) {
  const auto first = reinterpret_cast<uintptr_t>(pt.units);
  const auto last = first + size_t{pt.end} * kUnitBytes;
  const auto bytes = reinterpret_cast<uintptr_t>(payload.bytes);
  if (payload.length == 0 || bytes >= last || bytes + payload.length <= first) return payload;
  copy.assign(static_cast<const char*>(payload.bytes), payload.length);
  Payload detached = payload;
  detached.bytes = copy.data();
  return detached;
}

// Units that are free now or would be once the junk is gone.
unsigned Reclaimable(const fptu_rw& pt) { return (pt.head - 1) + (pt.end - pt.tail) + pt.junk; }

// Moves the live fields together, dropping the junk, so that at least
// header_room header units lie free below head and data_room units above tail.
// Works in place: headers move up towards pivot and data down towards it, in
// tiling order, so nothing is overwritten before it has moved. A broken tuple
// or a lack of room is found before anything moves.
int Repack(fptu_rw* pt, unsigned header_room, unsigned data_room) {
  unsigned live_headers = 0;
  unsigned live_data = 0;
  unsigned next_data = pt->pivot;
  for (unsigned header = pt->pivot; header-- > pt->head;) {
    const fptu_field& field = pt->units[header].field;
    unsigned extent;
    if (!FieldExtent(pt->units, header, pt->pivot, pt->tail, &extent)) return FPTA_EINVAL;
    if (extent != 0 && header + field.offset != next_data) return FPTA_EINVAL;
    next_data += extent;
    if (IsRemoved(field)) continue;
    ++live_headers;
    live_data += extent;
  }
  const unsigned free_units = pt->end - 1 - live_headers - live_data;
  if (free_units < header_room + data_room) return FPTU_ENOSPACE;
  const unsigned made_for = pt->pivot - 1 > live_headers ? pt->pivot - 1 - live_headers : 0;
  const unsigned new_head = 1 + std::clamp(made_for, header_room, free_units - data_room);

  unsigned header_at = pt->pivot;
  unsigned data_at = pt->pivot;
  for (unsigned header = pt->pivot; header-- > pt->head;) {
    fptu_field field = pt->units[header].field;
    unsigned extent;
    FieldExtent(pt->units, header, pt->pivot, pt->tail, &extent);
    if (IsRemoved(field)) continue;
    --header_at;
    if (extent != 0) {
      std::memmove(pt->units + data_at, pt->units + header + field.offset,
                   size_t{extent} * kUnitBytes);
      field.offset = static_cast<uint16_t>(data_at - header_at);
      data_at += extent;
    }
    pt->units[header_at].field = field;
  }
  std::memmove(pt->units + new_head, pt->units + header_at,
               size_t{data_at - header_at} * kUnitBytes);
  pt->head = new_head;
  pt->pivot = new_head + live_headers;
  pt->tail = pt->pivot + live_data;
  pt->junk = 0;
  return FPTA_SUCCESS;
}

// Adds the field; the arguments are already checked (CheckTarget).
int PlaceField(fptu_rw* pt, unsigned column, const Payload& payload) {
  const unsigned data_units = payload.Units();
  if (pt->head < 2 || pt->end - pt->tail < data_units) {
    if (Reclaimable(*pt) < 1 + data_units) return FPTU_ENOSPACE;
    const int status = Repack(pt, 1, data_units);
    if (status != FPTA_SUCCESS) return status;
  }
  const unsigned header = --pt->head;
  fptu_field& field = pt->units[header].field;
  field.ct = MakeCt(column, payload.type);
  if (payload.type == fptu_uint16) {
    field.offset = payload.inline_value;
    return FPTA_SUCCESS;
  }
  field.offset = static_cast<uint16_t>(pt->tail - header);
  payload.WriteTo(pt->units + pt->tail);
  pt->tail += data_units;
  return FPTA_SUCCESS;
}

// Turns the field into junk.
void JunkField(fptu_rw* pt, unsigned header, unsigned extent) {
  fptu_field& field = pt->units[header].field;
  field.ct = MakeCt(kRemovedColumn, TypeOf(field));
  pt->junk += 1 + extent;
}

}  // namespace

int Insert(fptu_rw* pt, unsigned column, const Payload& given) {
  const int status = CheckTarget(pt, column, given);
  if (status != FPTA_SUCCESS) return status;
  std::string copy;
  return PlaceField(pt, column, DetachedPayload(*pt, given, copy));
}

int Upsert(fptu_rw* pt, unsigned column, const Payload& given) {
  const int status = CheckTarget(pt, column, given);
  if (status != FPTA_SUCCESS) return status;
  std::string copy;
  const Payload payload = DetachedPayload(*pt, given, copy);
  const uint16_t ct = MakeCt(column, payload.type);
  for (unsigned header = pt->head; header < pt->pivot; ++header) {
    fptu_field& field = pt->units[header].field;
    if (field.ct != ct) continue;
    unsigned extent;
    if (!FieldExtent(pt->units, header, pt->pivot, pt->tail, &extent)) return FPTA_EINVAL;
    const unsigned data_units = payload.Units();
    if (extent == data_units) {
      if (payload.type == fptu_uint16) {
        field.offset = payload.inline_value;
      } else {
        payload.WriteTo(pt->units + header + field.offset);
      }
      return FPTA_SUCCESS;
    }
    if (Reclaimable(*pt) + 1 + extent < 1 + data_units) return FPTU_ENOSPACE;
    // A failed PlaceField moves nothing, so the old field can be brought back.
    JunkField(pt, header, extent);
    const int placed = PlaceField(pt, column, payload);
    if (placed != FPTA_SUCCESS) {
      field.ct = ct;
      pt->junk -= 1 + extent;
    }
    return placed;
  }
  return PlaceField(pt, column, payload);
}

int RemoveColumn(fptu_rw* pt, unsigned column) {
  const int status = CheckTarget(pt, column);
  if (status != FPTA_SUCCESS) return status;
  for (unsigned header = pt->head; header < pt->pivot; ++header) {
    if (IsRemoved(pt->units[header].field) || ColumnOf(pt->units[header].field) != column) continue;
    unsigned extent;
    if (!FieldExtent(pt->units, header, pt->pivot, pt->tail, &extent)) return FPTA_EINVAL;
    JunkField(pt, header, extent);
  }
  return FPTA_SUCCESS;
}

}  // namespace fpta::tuple
