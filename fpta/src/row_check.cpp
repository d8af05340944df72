#include "row_check.h"

#include <cstring>

#include "tuple_check.h"
#include "tuple_format.h"

namespace fpta::rows {

namespace {

using tuple::ColumnOf;
using tuple::IsRemoved;
using tuple::TypeOf;

// Field headers of a sound read-only tuple: units 1 .. items.
template <typename Visit>
void ForEachLiveField(const fptu_ro& row, Visit visit) {
  if (row.total_bytes == 0) return;
  const unsigned items = row.units[0].varlen.tuple_items;
  for (unsigned header = 1; header <= items; ++header) {
    const fptu_field& field = row.units[header].field;
    if (!IsRemoved(field)) visit(field);
  }
}

// Fields by column of a tuple whose fields must all be plain columns of the
// table, each of its column's type, each column at most once.
int CollectFields(const schema::Table& table, const fptu_ro& row,
                  std::vector<const fptu_field*>* fields) {
  fields->assign(table.columns.size(), nullptr);
  int status = FPTA_SUCCESS;
  ForEachLiveField(row, [&](const fptu_field& field) {
    const unsigned column = ColumnOf(field);
    if (column >= table.columns.size() || table.columns[column].composite() ||
        TypeOf(field) != table.columns[column].type || (*fields)[column] != nullptr) {
      status = FPTA_ECOLUMN;
    } else {
      (*fields)[column] = &field;
    }
  });
  return status;
}

fpta_value ValueOf(const fptu_field* field) {
  return field != nullptr ? tuple::DecodeField(*field) : fpta_value_null();
}

unsigned DataUnits(const fptu_field& field) {
  const fptu_type type = TypeOf(field);
  if (type == fptu_uint16) return 0;
  const fptu_unit* data = reinterpret_cast<const fptu_unit*>(&field) + field.offset;
  return tuple::IsVariableLength(type) ? 1u + data->varlen.brutto : tuple::FixedUnits(type);
}

bool SameField(const fptu_field* a, const fptu_field* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->ct != b->ct) return false;
  if (TypeOf(*a) == fptu_uint16) return a->offset == b->offset;
  const unsigned units = DataUnits(*a);
  return units == DataUnits(*b) && std::memcmp(reinterpret_cast<const fptu_unit*>(a) + a->offset,
                                               reinterpret_cast<const fptu_unit*>(b) + b->offset,
                                               size_t{units} * tuple::kUnitBytes) == 0;
}

// The tuple a composite index's value is given as.
int PartsOfValue(const schema::Table& table, const fpta_value& value,
                 std::vector<const fptu_field*>* fields) {
  if (value.type != fpta_binary || (value.binary_length != 0 && value.binary_data == nullptr))
    return FPTA_ETYPE;
  const fptu_ro parts{{static_cast<const fptu_unit*>(value.binary_data), value.binary_length}};
  if (reinterpret_cast<uintptr_t>(parts.units) % alignof(uint32_t) != 0 ||
      tuple::CheckReadOnly(parts, nullptr) != nullptr) {
    return FPTA_EINVAL;
  }
  return CollectFields(table, parts, fields);
}

}  // namespace

int Check(const schema::Table& table, const fptu_ro& row, std::vector<const fptu_field*>* fields) {
  tuple::Shape shape;
  if (tuple::CheckReadOnly(row, &shape) != nullptr || shape.items == shape.removed_items)
    return FPTA_EINVAL;
  const int status = CollectFields(table, row, fields);
  if (status != FPTA_SUCCESS) return status;
  for (const schema::Column& column : table.columns) {
    if (!column.indexed() || column.nullable()) continue;
    if (!column.composite()) {
      if ((*fields)[&column - table.columns.data()] == nullptr) return FPTA_ENOKEY;
      continue;
    }
    for (const unsigned part : column.parts) {
      if ((*fields)[part] == nullptr) return FPTA_ENOKEY;
    }
  }
  return FPTA_SUCCESS;
}

void FieldsOf(const schema::Table& table, const fptu_ro& row,
              std::vector<const fptu_field*>* fields) {
  fields->assign(table.columns.size(), nullptr);
  ForEachLiveField(row, [&](const fptu_field& field) {
    const unsigned column = ColumnOf(field);
    if (column < fields->size()) (*fields)[column] = &field;
  });
}

int KeyOf(const schema::Table& table, unsigned number, const std::vector<const fptu_field*>& fields,
          keys::Key* key) {
  const schema::Column& column = table.columns[number];
  key->Clear();
  int status = FPTA_SUCCESS;
  if (!column.composite()) {
    status = keys::AppendKey(column.type, column.index, ValueOf(fields[number]), key);
  } else {
    for (const unsigned part : column.parts) {
      status = keys::AppendCompositePart(table.columns[part].type, column.nullable(),
                                         ValueOf(fields[part]), key);
      if (status != FPTA_SUCCESS) break;
    }
  }
  key->Finish();
  return status;
}

int KeyOfValue(const schema::Table& table, unsigned number, const fpta_value& value,
               keys::Key* key) {
  const schema::Column& column = table.columns[number];
  if (column.composite()) {
    std::vector<const fptu_field*> parts;
    const int status = PartsOfValue(table, value, &parts);
    return status == FPTA_SUCCESS ? KeyOf(table, number, parts, key) : status;
  }
  fpta_value normalized;
  int status = keys::Normalize(column.type, value, &normalized);
  if (status != FPTA_SUCCESS) return status;
  key->Clear();
  status = keys::AppendKey(column.type, column.index, normalized, key);
  key->Finish();
  return status;
}

bool HoldsValue(const schema::Table& table, unsigned number,
                const std::vector<const fptu_field*>& fields, const fpta_value& value) {
  const schema::Column& column = table.columns[number];
  if (!column.composite()) {
    fpta_value normalized;
    if (keys::Normalize(column.type, value, &normalized) != FPTA_SUCCESS) return false;
    if (fields[number] == nullptr || normalized.type == fpta_null) {
      return fields[number] == nullptr && normalized.type == fpta_null;
    }
    bool unordered = false;
    return keys::Compare(column.type, ValueOf(fields[number]), normalized, &unordered) == 0 &&
           !unordered;
  }
  std::vector<const fptu_field*> parts;
  if (PartsOfValue(table, value, &parts) != FPTA_SUCCESS) return false;
  for (const unsigned part : column.parts) {
    if (!SameField(parts[part], fields[part])) return false;
  }
  return true;
}

bool SameKey(const schema::Table& table, unsigned number, const std::vector<const fptu_field*>& a,
             const std::vector<const fptu_field*>& b) {
  const schema::Column& column = table.columns[number];
  if (!column.composite()) return SameField(a[number], b[number]);
  for (const unsigned part : column.parts) {
    if (!SameField(a[part], b[part])) return false;
  }
  return true;
}

bool Equal(const std::vector<const fptu_field*>& a, const std::vector<const fptu_field*>& b) {
  if (a.size() != b.size()) return false;
  for (size_t column = 0; column < a.size(); ++column) {
    if (!SameField(a[column], b[column])) return false;
  }
  return true;
}

}  // namespace fpta::rows
