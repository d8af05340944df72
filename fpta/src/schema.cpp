#include "schema.h"

#include <cstring>

#include "column_set.h"
#include "names.h"

namespace fpta::schema {

namespace {

// Record layout, little-endian: u32 format, u16 name length, the name,
// u32 rows serial, u32 column count, then per column u64 shove, u32 store
// serial, u16 part count and the u16 part numbers. Format 2 then adds each
// column's name (u16 length, the name); format 1 records, written before
// column names were kept, are still read.
constexpr uint32_t kNamelessFormat = 1;
constexpr uint32_t kRecordFormat = 2;

template <typename T>
void AppendRaw(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

class Reader {
 public:
  Reader(const void* bytes, size_t size) : at_(static_cast<const char*>(bytes)), left_(size) {}

  template <typename T>
  bool ReadRaw(T* value) {
    if (left_ < sizeof(T)) return false;
    std::memcpy(value, at_, sizeof(T));
    at_ += sizeof(T);
    left_ -= sizeof(T);
    return true;
  }
  bool ReadText(size_t size, std::string* text) {
    if (left_ < size) return false;
    text->assign(at_, size);
    at_ += size;
    left_ -= size;
    return true;
  }
  bool done() const { return left_ == 0; }

 private:
  const char* at_;
  size_t left_;
};

void Classify(Table* table) {
  table->secondary.clear();
  for (unsigned number = 0; number < table->columns.size(); ++number) {
    const Column& column = table->columns[number];
    if (column.primary()) {
      table->primary = number;
    } else if (column.indexed()) {
      table->secondary.push_back(number);
    }
  }
}

// Exactly one primary index, and composite parts that are plain columns.
bool IsSound(const Table& table) {
  unsigned primaries = 0;
  for (const Column& column : table.columns) {
    primaries += column.primary();
    if (column.indexed() != (column.store.serial != 0)) return false;
    if ((column.type == fptu_null) != column.composite()) return false;
    for (const unsigned part : column.parts) {
      if (part >= table.columns.size() || table.columns[part].composite()) return false;
    }
  }
  return primaries == 1;
}

}  // namespace

bool Column::indexed() const { return columns::IsIndexed(index); }
bool Column::primary() const { return columns::IsPrimary(index); }

int TableFromColumnSet(const char* name, const fpta_column_set& set, uint32_t* next_serial,
                       Table* table) {
  if (columns::CheckTableSet(&set) != FPTA_SUCCESS) return FPTA_EINVAL;
  *table = Table{};
  table->hash = names::NameHash(name);
  table->name = name;
  unsigned pool = 1;
  const unsigned pool_end = 1u + set.composites[0];
  for (unsigned number = 0; number < set.count; ++number) {
    Column column;
    column.shove = set.shoves[number];
    column.type = columns::TypeOfShove(column.shove);
    column.index = columns::IndexOfShove(column.shove);
    if (column.type == fptu_null) {
      // Composites take their pool entries in the order they were described.
      if (pool >= pool_end) return FPTA_EINVAL;
      const unsigned parts = set.composites[pool];
      if (pool + 1 + parts > pool_end) return FPTA_EINVAL;
      column.parts.assign(&set.composites[pool + 1], &set.composites[pool + 1 + parts]);
      pool += 1 + parts;
    }
    if (column.indexed()) column.store.serial = (*next_serial)++;
    table->columns.push_back(std::move(column));
  }
  Classify(table);
  if (!IsSound(*table)) return FPTA_EINVAL;
  if (!table->primary_column().unique()) table->rows.serial = (*next_serial)++;
  return FPTA_SUCCESS;
}

std::string Encode(const Table& table) {
  std::string out;
  AppendRaw<uint32_t>(out, kRecordFormat);
  AppendRaw<uint16_t>(out, static_cast<uint16_t>(table.name.size()));
  out += table.name;
  AppendRaw<uint32_t>(out, table.rows.serial);
  AppendRaw<uint32_t>(out, static_cast<uint32_t>(table.columns.size()));
  for (const Column& column : table.columns) {
    AppendRaw<uint64_t>(out, column.shove);
    AppendRaw<uint32_t>(out, column.store.serial);
    AppendRaw<uint16_t>(out, static_cast<uint16_t>(column.parts.size()));
    for (const unsigned part : column.parts) AppendRaw<uint16_t>(out, static_cast<uint16_t>(part));
  }
  for (const Column& column : table.columns) {
    AppendRaw<uint16_t>(out, static_cast<uint16_t>(column.name.size()));
    out += column.name;
  }
  return out;
}

bool Decode(const void* bytes, size_t size, Table* table) {
  Reader in(bytes, size);
  uint32_t format, rows_serial, count;
  uint16_t name_size;
  *table = Table{};
  if (!in.ReadRaw(&format) || (format != kRecordFormat && format != kNamelessFormat) ||
      !in.ReadRaw(&name_size) || !in.ReadText(name_size, &table->name) ||
      !names::IsValidName(table->name.c_str()) || !in.ReadRaw(&rows_serial) ||
      !in.ReadRaw(&count) || count == 0 || count > fpta_max_cols) {
    return false;
  }
  table->hash = names::NameHash(table->name.c_str());
  table->rows.serial = rows_serial;
  table->columns.resize(count);
  for (Column& column : table->columns) {
    uint16_t parts;
    if (!in.ReadRaw(&column.shove) || !in.ReadRaw(&column.store.serial) || !in.ReadRaw(&parts))
      return false;
    column.type = columns::TypeOfShove(column.shove);
    column.index = columns::IndexOfShove(column.shove);
    column.parts.resize(parts);
    for (unsigned& part : column.parts) {
      uint16_t number;
      if (!in.ReadRaw(&number)) return false;
      part = number;
    }
  }
  for (Column& column : table->columns) {
    if (format == kNamelessFormat) break;
    uint16_t size;
    if (!in.ReadRaw(&size) || !in.ReadText(size, &column.name)) return false;
    // A name matches its column's hash; "" is a name the set did not carry.
    if (!column.name.empty() &&
        (!names::IsValidName(column.name.c_str()) ||
         names::NameHash(column.name.c_str()) != names::HashOfShove(column.shove))) {
      return false;
    }
  }
  Classify(table);
  return in.done() && IsSound(*table) && table->rows_apart() == !table->primary_column().unique();
}

std::vector<const Store*> StoresOf(const Table& table) {
  std::vector<const Store*> stores;
  for (const Column& column : table.columns) {
    if (column.indexed()) stores.push_back(&column.store);
  }
  if (table.rows_apart()) stores.push_back(&table.rows);
  return stores;
}

std::vector<Store*> StoresOf(Table& table) {
  std::vector<Store*> stores;
  for (const Store* store : StoresOf(static_cast<const Table&>(table)))
    stores.push_back(const_cast<Store*>(store));
  return stores;
}

}  // namespace fpta::schema
