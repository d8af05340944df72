#include "filters.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "keys.h"
#include "resolve.h"
#include "tuple_format.h"

namespace fpta::filters {

struct Program::Node {
  fpta_filter_bits kind = fpta_node_fnrow;
  unsigned operands[2] = {0, 0};  // node indexes: not uses the first, and/or both
  int memo = -1;                  // memo slot of a node with several users
  // Column predicates and comparisons.
  unsigned column = 0;
  fptu_type type = fptu_null;
  fpta_value value{};  // normalized to the column's kind
  bool (*column_predicate)(const fptu_field* column, void* arg) = nullptr;
  bool (*row_predicate)(const fptu_ro* row, void* context, void* arg) = nullptr;
  void* context = nullptr;
  void* arg = nullptr;
};

namespace {

// Marks a node whose compilation has begun and not ended: meeting it again
// means the filter refers back to itself.
constexpr unsigned kOnStack = ~0u;

enum MemoState : uint8_t { kUnknown = 0, kFalse, kTrue };

// Memo slots kept on Match's stack; more take one allocation per row.
constexpr unsigned kInlineMemo = 64;

unsigned OperandsOf(const fpta_filter& filter, const fpta_filter* operands[2]) {
  switch (filter.type) {
    case fpta_node_not:
      operands[0] = filter.node_not;
      return 1;
    case fpta_node_or:
    case fpta_node_and:
      // node_or and node_and are one member under two names.
      operands[0] = filter.node_and.a;
      operands[1] = filter.node_and.b;
      return 2;
    default:
      return 0;
  }
}

// A column of table that rows carry: not another table's, not a composite.
int ResolveColumn(fpta_txn* txn, const schema::Table& table, fpta_name* name, unsigned* number) {
  const schema::Table* owner = nullptr;
  const int status = resolve::ColumnNamed(txn, name, &owner, number);
  if (status != FPTA_SUCCESS) return status;
  if (owner->hash != table.hash || *number >= table.columns.size() ||
      table.columns[*number].composite()) {
    return FPTA_EINVAL;
  }
  return FPTA_SUCCESS;
}

// The column's field in a row the store holds (a sound one), or null.
const fptu_field* ColumnField(const fptu_ro& row, unsigned column, fptu_type type) {
  const unsigned header = tuple::FindField(row, column, type);
  return header != 0 ? &row.units[header].field : nullptr;
}

bool ComparisonHolds(fpta_filter_bits comparison, int order, bool unordered) {
  if (unordered) return comparison == fpta_node_ne;
  switch (comparison) {
    case fpta_node_lt:
      return order < 0;
    case fpta_node_gt:
      return order > 0;
    case fpta_node_le:
      return order <= 0;
    case fpta_node_ge:
      return order >= 0;
    case fpta_node_eq:
      return order == 0;
    default:
      return order != 0;
  }
}

}  // namespace

Program::Program() = default;
Program::~Program() = default;

int Program::Compile(fpta_txn* txn, const schema::Table& table, const fpta_filter* filter,
                     std::unique_ptr<Program>* program) {
  std::unique_ptr<Program> built(new Program());
  // A filter node whose operands are being compiled; its place on the stack
  // is its depth, so the stack never grows past kMaxDepth.
  struct Frame {
    const fpta_filter* filter;
    unsigned done;  // operands compiled
    unsigned operands[2];
  };
  std::vector<Frame> stack;
  std::unordered_map<const fpta_filter*, unsigned>
      compiled;  // filter node -> node index, or kOnStack
  // Per node: the levels of its subtree, so a shared node met again deeper
  // than before still counts in full towards the depth limit.
  std::vector<unsigned> height;
  std::vector<unsigned> users;  // per node

  // Reaches filter node from the top of the stack (or as the root): pushes
  // it, or gives the index it was compiled to in *reused.
  const auto reach = [&](const fpta_filter* node, bool* pushed, unsigned* reused) {
    *pushed = false;
    if (node == nullptr) return FPTA_EINVAL;
    const auto [found, fresh] = compiled.try_emplace(node, kOnStack);
    if (fresh) {
      if (stack.size() == kMaxDepth) return FPTA_EINVAL;
      stack.push_back(Frame{node, 0, {0, 0}});
      *pushed = true;
      return FPTA_SUCCESS;
    }
    if (found->second == kOnStack || stack.size() + height[found->second] > kMaxDepth)
      return FPTA_EINVAL;
    *reused = found->second;
    ++users[*reused];
    return FPTA_SUCCESS;
  };

  bool pushed;
  unsigned index;
  int status = reach(filter, &pushed, &index);
  while (status == FPTA_SUCCESS && !stack.empty()) {
    Frame& top = stack.back();
    const fpta_filter* operands[2];
    const unsigned count = OperandsOf(*top.filter, operands);
    if (top.done < count) {
      status = reach(operands[top.done], &pushed, &index);
      if (status == FPTA_SUCCESS && !pushed) top.operands[top.done++] = index;
      continue;
    }
    Node node;
    node.kind = top.filter->type;
    unsigned levels = 1;
    for (unsigned i = 0; i < count; ++i) {
      node.operands[i] = top.operands[i];
      levels = std::max(levels, 1 + height[top.operands[i]]);
    }
    if (count == 0) status = built->CompileLeaf(txn, table, *top.filter, &node);
    if (status != FPTA_SUCCESS) break;
    index = static_cast<unsigned>(built->nodes_.size());
    built->nodes_.push_back(node);
    height.push_back(levels);
    users.push_back(1);  // the node that reached it first
    compiled[top.filter] = index;
    stack.pop_back();
    if (!stack.empty()) stack.back().operands[stack.back().done++] = index;
  }
  if (status != FPTA_SUCCESS) return status;

  for (size_t i = 0; i < built->nodes_.size(); ++i) {
    if (users[i] > 1) built->nodes_[i].memo = static_cast<int>(built->memo_slots_++);
  }
  *program = std::move(built);
  return FPTA_SUCCESS;
}

int Program::CompileLeaf(fpta_txn* txn, const schema::Table& table, const fpta_filter& filter,
                         Node* node) {
  switch (filter.type) {
    case fpta_node_fncol: {
      if (filter.node_fncol.predicate == nullptr) return FPTA_EINVAL;
      const int status = ResolveColumn(txn, table, filter.node_fncol.column_id, &node->column);
      if (status != FPTA_SUCCESS) return status;
      node->type = table.columns[node->column].type;
      node->column_predicate = filter.node_fncol.predicate;
      node->arg = filter.node_fncol.arg;
      return FPTA_SUCCESS;
    }
    case fpta_node_fnrow:
      node->row_predicate = filter.node_fnrow.predicate;
      node->context = filter.node_fnrow.context;
      node->arg = filter.node_fnrow.arg;
      return node->row_predicate != nullptr ? FPTA_SUCCESS : FPTA_EINVAL;
    case fpta_node_lt:
    case fpta_node_gt:
    case fpta_node_le:
    case fpta_node_ge:
    case fpta_node_eq:
    case fpta_node_ne:
      break;
    default:
      return FPTA_EINVAL;
  }
  int status = ResolveColumn(txn, table, filter.node_cmp.left_id, &node->column);
  if (status != FPTA_SUCCESS) return status;
  node->type = table.columns[node->column].type;
  const fpta_value& value = filter.node_cmp.right_value;
  // Null and the range ends are never a column's value, so they compare with none.
  if (value.type == fpta_null || value.type == fpta_begin || value.type == fpta_end)
    return FPTA_ETYPE;
  status = keys::Normalize(node->type, value, &node->value);
  if (status != FPTA_SUCCESS) return status;
  const bool bytes = node->value.type == fpta_string || node->value.type == fpta_binary;
  if (bytes && node->value.binary_length > 0) {
    copies_.emplace_back(new char[node->value.binary_length]);
    std::memcpy(copies_.back().get(), node->value.binary_data, node->value.binary_length);
    node->value.binary_data = copies_.back().get();
  }
  return FPTA_SUCCESS;
}

bool Program::Match(const fptu_ro& row) const {
  uint8_t inline_memo[kInlineMemo];
  std::vector<uint8_t> heap_memo;
  uint8_t* memo = inline_memo;
  if (memo_slots_ <= kInlineMemo) {
    std::fill_n(inline_memo, memo_slots_, kUnknown);
  } else {
    heap_memo.assign(memo_slots_, kUnknown);
    memo = heap_memo.data();
  }
  return Eval(static_cast<unsigned>(nodes_.size() - 1), row, memo);
}

// Recursion is as deep as the filter, which Compile bounds by kMaxDepth.
bool Program::Eval(unsigned index, const fptu_ro& row, uint8_t* memo) const {
  const Node& node = nodes_[index];
  if (node.memo < 0) return Evaluate(node, row, memo);
  uint8_t& state = memo[node.memo];
  if (state == kUnknown) state = Evaluate(node, row, memo) ? kTrue : kFalse;
  return state == kTrue;
}

bool Program::Evaluate(const Node& node, const fptu_ro& row, uint8_t* memo) const {
  switch (node.kind) {
    case fpta_node_not:
      return !Eval(node.operands[0], row, memo);
    case fpta_node_and:
      return Eval(node.operands[0], row, memo) && Eval(node.operands[1], row, memo);
    case fpta_node_or:
      return Eval(node.operands[0], row, memo) || Eval(node.operands[1], row, memo);
    case fpta_node_fncol:
      return node.column_predicate(ColumnField(row, node.column, node.type), node.arg);
    case fpta_node_fnrow:
      return node.row_predicate(&row, node.context, node.arg);
    default: {
      const fptu_field* field = ColumnField(row, node.column, node.type);
      if (field == nullptr) return false;
      bool unordered = false;
      const int order =
          keys::Compare(node.type, tuple::DecodeField(*field), node.value, &unordered);
      return ComparisonHolds(node.kind, order, unordered);
    }
  }
}

}  // namespace fpta::filters
