#include "arguments.h"

namespace fpta::arguments {

bool IsDurability(fpta_durability durability) {
  return durability >= fpta_readonly && durability <= fpta_weak;
}

bool IsRegime(fpta_regime_flags regime) {
  constexpr int kAll =
      fpta_frendly4writeback | fpta_frendly4hdd | fpta_frendly4compaction | fpta_saferam;
  return (regime & ~kAll) == 0;
}

bool IsLevel(fpta_level level) { return level >= fpta_read && level <= fpta_schema; }

bool IsPutOption(fpta_put_options op) { return op >= fpta_insert && op <= fpta_upsert; }

bool IsSeekOperation(fpta_seek_operations op) { return op >= fpta_first && op <= fpta_key_prev; }

bool IsCursorOptions(fpta_cursor_options op) {
  const int order = op & ~fpta_dont_fetch;
  return order >= fpta_unsorted && order <= fpta_descending;
}

bool IsValue(const fpta_value& value) {
  switch (value.type) {
    case fpta_null:
    case fpta_signed_int:
    case fpta_unsigned_int:
    case fpta_datetime:
    case fpta_float_point:
    case fpta_shoved:
    case fpta_begin:
    case fpta_end:
      return true;
    case fpta_string:
    case fpta_binary:
      return value.binary_length == 0 || value.binary_data != nullptr;
    default:
      return false;
  }
}

bool IsRangeFrom(const fpta_value& value) { return IsValue(value) && value.type != fpta_end; }

bool IsRangeTo(const fpta_value& value) { return IsValue(value) && value.type != fpta_begin; }

}  // namespace fpta::arguments
