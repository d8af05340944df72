#include "arguments.h"

#include "names.h"
#include "tuple_check.h"

namespace fpta::arguments {

namespace {

constexpr int kMaxFilterDepth = 64;

bool IsFilterAt(const fpta_filter *filter, int depth) {
  if (filter == nullptr || depth > kMaxFilterDepth) return false;
  switch (filter->type) {
    case fpta_node_not:
      return IsFilterAt(filter->node_not, depth + 1);
    case fpta_node_or:
    case fpta_node_and:
      return IsFilterAt(filter->node_or.a, depth + 1) && IsFilterAt(filter->node_or.b, depth + 1);
    case fpta_node_fncol:
      return names::IsColumnName(filter->node_fncol.column_id) && filter->node_fncol.predicate != nullptr;
    case fpta_node_fnrow:
      return filter->node_fnrow.predicate != nullptr;
    case fpta_node_lt:
    case fpta_node_gt:
    case fpta_node_le:
    case fpta_node_ge:
    case fpta_node_eq:
    case fpta_node_ne:
      return names::IsColumnName(filter->node_cmp.left_id) && IsValue(filter->node_cmp.right_value) &&
             filter->node_cmp.right_value.type != fpta_begin && filter->node_cmp.right_value.type != fpta_end;
    default:
      return false;
  }
}

}  // namespace

bool IsDurability(fpta_durability durability) { return durability >= fpta_readonly && durability <= fpta_weak; }

bool IsRegime(fpta_regime_flags regime) {
  constexpr int kAll = fpta_frendly4writeback | fpta_frendly4hdd | fpta_frendly4compaction | fpta_saferam;
  return (regime & ~kAll) == 0;
}

bool IsLevel(fpta_level level) { return level >= fpta_read && level <= fpta_schema; }

bool IsPutOption(fpta_put_options op) { return op >= fpta_insert && op <= fpta_upsert; }

bool IsSeekOperation(fpta_seek_operations op) { return op >= fpta_first && op <= fpta_key_prev; }

bool IsCursorOptions(fpta_cursor_options op) {
  const int order = op & ~fpta_dont_fetch;
  return order >= fpta_unsorted && order <= fpta_descending;
}

bool IsValue(const fpta_value &value) {
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

bool IsRangeFrom(const fpta_value &value) { return IsValue(value) && value.type != fpta_end; }

bool IsRangeTo(const fpta_value &value) { return IsValue(value) && value.type != fpta_begin; }

bool IsRow(const fptu_ro &row) {
  tuple::Shape shape;
  return tuple::CheckReadOnly(row, &shape) == nullptr && shape.items > shape.removed_items;
}

bool IsFilter(const fpta_filter &filter) { return IsFilterAt(&filter, 0); }

}  // namespace fpta::arguments
