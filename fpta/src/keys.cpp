#include "keys.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "fnv1a.h"

namespace fpta::keys {

namespace {

constexpr size_t kHashBytes = sizeof(uint64_t);

// What a column type holds: the kind Normalize gives its values and the width
// of its fixed-size encoding (0 for the variable-length types).
struct ColumnKind {
  fpta_value_type kind;
  unsigned bytes;
};

// Indexed by fptu_type; fptu_null (0) is no column type.
constexpr ColumnKind kColumnKinds[] = {
    {fpta_null, 0},        {fpta_unsigned_int, 2}, {fpta_signed_int, 4},   {fpta_unsigned_int, 4},
    {fpta_float_point, 4}, {fpta_signed_int, 8},   {fpta_unsigned_int, 8}, {fpta_float_point, 8},
    {fpta_datetime, 8},    {fpta_binary, 12},      {fpta_binary, 16},      {fpta_binary, 20},
    {fpta_binary, 32},     {fpta_string, 0},       {fpta_binary, 0},       {fpta_binary, 0},
};

// The column's kind, or null for a number that is no column type.
const ColumnKind* KindOf(fptu_type type) {
  if (type < fptu_uint16 || type > fptu_nested) return nullptr;
  return &kColumnKinds[type];
}

bool IsByteRun(fpta_value_type kind) { return kind == fpta_string || kind == fpta_binary; }

// ---------------------------------------------------------------------------
// Normalize.

// A number as a sign and a magnitude, which every integer of either kind and
// every integral double below 2^64 fits exactly.
struct Integer {
  bool negative;
  uint64_t magnitude;
};

int IntegerOf(const fpta_value& value, Integer* integer) {
  switch (value.type) {
    case fpta_unsigned_int:
      *integer = {false, value.uint};
      return FPTA_SUCCESS;
    case fpta_signed_int:
      // Through unsigned arithmetic, so INT64_MIN's magnitude does not overflow.
      *integer = {value.sint < 0,
                  value.sint < 0 ? 0 - static_cast<uint64_t>(value.sint) : value.uint};
      return FPTA_SUCCESS;
    case fpta_float_point: {
      const double magnitude = std::fabs(value.fp);
      // NaN fails both tests; 2^64 is the first double no uint64_t holds.
      if (!(magnitude < 0x1p64) || std::trunc(magnitude) != magnitude) return ERANGE;
      *integer = {value.fp < 0, static_cast<uint64_t>(magnitude)};
      return FPTA_SUCCESS;
    }
    default:
      return FPTA_ETYPE;
  }
}

int ToUnsigned(const fpta_value& value, unsigned bytes, fpta_value* normalized) {
  Integer integer;
  const int status = IntegerOf(value, &integer);
  if (status != FPTA_SUCCESS) return status;
  const uint64_t max = bytes == 8 ? UINT64_MAX : (uint64_t{1} << 8 * bytes) - 1;
  if ((integer.negative && integer.magnitude != 0) || integer.magnitude > max) return ERANGE;
  *normalized = fpta_value_uint(integer.magnitude);
  return FPTA_SUCCESS;
}

int ToSigned(const fpta_value& value, unsigned bytes, fpta_value* normalized) {
  Integer integer;
  const int status = IntegerOf(value, &integer);
  if (status != FPTA_SUCCESS) return status;
  // The negative end reaches one further: 2^(bits-1) against 2^(bits-1) - 1.
  const uint64_t limit = (uint64_t{1} << (8 * bytes - 1)) - (integer.negative ? 0 : 1);
  if (integer.magnitude > limit) return ERANGE;
  const uint64_t bits = integer.negative ? 0 - integer.magnitude : integer.magnitude;
  *normalized = fpta_value_sint(static_cast<int64_t>(bits));
  return FPTA_SUCCESS;
}

// Whether a floating type with mantissa_bits of precision holds magnitude
// exactly: its set bits must span no more than the mantissa.
bool FitsMantissa(uint64_t magnitude, int mantissa_bits) {
  if (magnitude == 0) return true;
  return 64 - __builtin_clzll(magnitude) - __builtin_ctzll(magnitude) <= mantissa_bits;
}

int ToFloat(const fpta_value& value, bool single, fpta_value* normalized) {
  if (value.type == fpta_float_point) {
    if (!single) {
      *normalized = value;
      return FPTA_SUCCESS;
    }
    // Infinities and NaN are floats too; only finite values beyond them are not.
    if (std::isfinite(value.fp) && std::fabs(value.fp) > FLT_MAX) return ERANGE;
    *normalized = fpta_value_float(static_cast<float>(value.fp));
    return FPTA_SUCCESS;
  }
  Integer integer;
  const int status = IntegerOf(value, &integer);
  if (status != FPTA_SUCCESS) return status;
  if (!FitsMantissa(integer.magnitude, single ? FLT_MANT_DIG : DBL_MANT_DIG)) return ERANGE;
  const double magnitude = static_cast<double>(integer.magnitude);
  *normalized = fpta_value_float(integer.negative ? -magnitude : magnitude);
  return FPTA_SUCCESS;
}

int ToDatetime(const fpta_value& value, fpta_value* normalized) {
  if (value.type == fpta_datetime) {
    *normalized = value;
    return FPTA_SUCCESS;
  }
  if (value.type != fpta_unsigned_int) return FPTA_ETYPE;
  fptu_time stamp;
  stamp.fixedpoint = value.uint;
  *normalized = fpta_value_datetime(stamp);
  return FPTA_SUCCESS;
}

// Strings and binaries are both runs of bytes, so either fills a string,
// opaque or fixed-size column; a nested tuple is taken only as binary.
int ToBytes(fptu_type type, const ColumnKind& column, const fpta_value& value,
            fpta_value* normalized) {
  if (!IsByteRun(value.type) || (type == fptu_nested && value.type != fpta_binary))
    return FPTA_ETYPE;
  if (column.bytes != 0 && value.binary_length != column.bytes) return ERANGE;
  if (value.binary_length > fpta_max_col_bytes)
    return FPTU_ETOOLONG;  // as the tuple layer says of it
  *normalized = column.kind == fpta_string
                    ? fpta_value_string(value.str, value.binary_length)
                    : fpta_value_binary(value.binary_data, value.binary_length);
  return FPTA_SUCCESS;
}

// ---------------------------------------------------------------------------
// Encoding.

void AppendBigEndian(uint64_t value, unsigned bytes, Key* key) {
  uint8_t buffer[sizeof(value)];
  for (unsigned i = 0; i < bytes; ++i)
    buffer[i] = static_cast<uint8_t>(value >> 8 * (bytes - 1 - i));
  key->Append(buffer, bytes);
}

// IEEE bits that order as the numbers do: negatives inverted whole (larger
// magnitudes lower), the rest above them with the sign bit set.
template <typename Float, typename Bits>
Bits OrderedBits(Float value) {
  static_assert(sizeof(Float) == sizeof(Bits));
  if (value == 0) value = 0;  // -0.0 is the same key as +0.0
  Bits bits;
  std::memcpy(&bits, &value, sizeof(bits));
  constexpr Bits kSign = Bits{1} << (8 * sizeof(Bits) - 1);
  return (bits & kSign) != 0 ? static_cast<Bits>(~bits) : static_cast<Bits>(bits | kSign);
}

void AppendReversed(const uint8_t* bytes, size_t count, Key* key) {
  uint8_t chunk[64];
  while (count > 0) {
    const size_t part = count < sizeof(chunk) ? count : sizeof(chunk);
    for (size_t i = 0; i < part; ++i) chunk[i] = bytes[count - 1 - i];
    key->Append(chunk, part);
    count -= part;
  }
}

// 0x00 becomes 0x00 0xFF and 0x00 0x00 ends the part: the terminator sorts
// below any continuation, so a part that is a prefix of another sorts first
// and no part's bytes run into the next.
void AppendEscaped(const uint8_t* bytes, size_t count, Key* key) {
  static constexpr uint8_t kEscapedZero[] = {0x00, 0xFF};
  static constexpr uint8_t kTerminator[] = {0x00, 0x00};
  const uint8_t* end = bytes + count;
  while (bytes < end) {
    const void* zero = std::memchr(bytes, 0, static_cast<size_t>(end - bytes));
    const uint8_t* run_end = zero != nullptr ? static_cast<const uint8_t*>(zero) : end;
    key->Append(bytes, static_cast<size_t>(run_end - bytes));
    if (run_end == end) break;
    key->Append(kEscapedZero, sizeof(kEscapedZero));
    bytes = run_end + 1;
  }
  key->Append(kTerminator, sizeof(kTerminator));
}

// How a run of bytes is laid into the key.
enum class Layout { kObverse, kReverse, kEscaped };

int AppendPart(fptu_type type, bool nullable, Layout layout, const fpta_value& value, Key* key) {
  const ColumnKind* column = KindOf(type);
  // A nested tuple has no order, so it is never a key.
  if (column == nullptr || type == fptu_nested) return FPTA_ETYPE;
  if (value.type == fpta_null) {
    if (!nullable) return FPTA_ENOKEY;
    key->AppendByte(0x00);
    return FPTA_SUCCESS;
  }
  if (value.type != column->kind) return FPTA_ETYPE;
  if (value.type == fpta_float_point && std::isnan(value.fp)) return ERANGE;
  // A string or opaque key alone could be empty, which LMDB cannot store: it
  // carries the presence tag as a nullable key does.
  const bool may_be_empty =
      layout != Layout::kEscaped && (type == fptu_cstr || type == fptu_opaque);
  if (nullable || may_be_empty) key->AppendByte(0x01);
  switch (type) {
    case fptu_uint16:
    case fptu_uint32:
    case fptu_uint64:
      AppendBigEndian(value.uint, column->bytes, key);
      break;
    case fptu_int32:
    case fptu_int64:
      AppendBigEndian(value.uint ^ uint64_t{1} << (8 * column->bytes - 1), column->bytes, key);
      break;
    case fptu_fp32:
      AppendBigEndian(OrderedBits<float, uint32_t>(static_cast<float>(value.fp)), 4, key);
      break;
    case fptu_fp64:
      AppendBigEndian(OrderedBits<double, uint64_t>(value.fp), 8, key);
      break;
    case fptu_datetime:
      AppendBigEndian(value.datetime.fixedpoint, 8, key);
      break;
    default: {
      const auto* bytes = static_cast<const uint8_t*>(value.binary_data);
      // Fixed-size binaries need no escape: their width ends them.
      const Layout run =
          layout == Layout::kEscaped && column->bytes != 0 ? Layout::kObverse : layout;
      if (run == Layout::kReverse) {
        AppendReversed(bytes, value.binary_length, key);
      } else if (run == Layout::kEscaped) {
        AppendEscaped(bytes, value.binary_length, key);
      } else {
        key->Append(bytes, value.binary_length);
      }
    }
  }
  return FPTA_SUCCESS;
}

template <typename T>
int Order(T a, T b) {
  return (a > b) - (a < b);
}

int CompareBytes(const fpta_value& a, const fpta_value& b) {
  const unsigned common = a.binary_length < b.binary_length ? a.binary_length : b.binary_length;
  const int order = common == 0 ? 0 : std::memcmp(a.binary_data, b.binary_data, common);
  return order != 0 ? Order(order, 0) : Order(a.binary_length, b.binary_length);
}

}  // namespace

// ---------------------------------------------------------------------------
// Key.

void Key::Clear() {
  size_ = 0;
  total_ = 0;
  hashed_ = false;
}

void Key::Append(const void* bytes, size_t count) {
  const auto* from = static_cast<const uint8_t*>(bytes);
  if (total_ + count <= kMaxKeyBytes) {
    if (count != 0) std::memcpy(bytes_ + size_, from, count);
    size_ += count;
    total_ += count;
    return;
  }
  // The kept bytes are hashed only once the encoding outgrows them, so short
  // keys never pay for the hash; after that every byte goes through it.
  const size_t kept = kMaxKeyBytes - size_;
  std::memcpy(bytes_ + size_, from, kept);
  // The hash does not depend on how the encoding was split into Append calls.
  if (total_ <= kMaxKeyBytes) hash_ = fnv1a::Hash(fnv1a::kBasis, bytes_, kMaxKeyBytes);
  hash_ = fnv1a::Hash(hash_, from + kept, count - kept);
  size_ = kMaxKeyBytes;
  total_ += count;
}

void Key::AppendByte(uint8_t byte) { Append(&byte, 1); }

void Key::Finish() {
  if (total_ <= kMaxKeyBytes) return;
  uint8_t* tail = bytes_ + kMaxKeyBytes - kHashBytes;
  for (size_t i = 0; i < kHashBytes; ++i)
    tail[i] = static_cast<uint8_t>(hash_ >> 8 * (kHashBytes - 1 - i));
  hashed_ = true;
}

// ---------------------------------------------------------------------------

int Normalize(fptu_type column_type, const fpta_value& value, fpta_value* normalized) {
  const ColumnKind* column = KindOf(column_type);
  if (column == nullptr) return FPTA_ETYPE;
  if (IsByteRun(value.type) && value.binary_length > 0 && value.binary_data == nullptr)
    return FPTA_EINVAL;
  if (value.type == fpta_null) {
    *normalized = fpta_value_null();
    return FPTA_SUCCESS;
  }
  switch (column->kind) {
    case fpta_unsigned_int:
      return ToUnsigned(value, column->bytes, normalized);
    case fpta_signed_int:
      return ToSigned(value, column->bytes, normalized);
    case fpta_float_point:
      return ToFloat(value, column_type == fptu_fp32, normalized);
    case fpta_datetime:
      return ToDatetime(value, normalized);
    default:
      return ToBytes(column_type, *column, value, normalized);
  }
}

int AppendKey(fptu_type column_type, unsigned index, const fpta_value& normalized, Key* key) {
  const Layout layout = (index & fpta_index_fobverse) != 0 ? Layout::kObverse : Layout::kReverse;
  return AppendPart(column_type, (index & fpta_index_fnullable) != 0, layout, normalized, key);
}

int AppendCompositePart(fptu_type part_type, bool nullable, const fpta_value& normalized,
                        Key* key) {
  return AppendPart(part_type, nullable, Layout::kEscaped, normalized, key);
}

int Compare(fptu_type column_type, const fpta_value& a, const fpta_value& b, bool* unordered) {
  if (unordered != nullptr) *unordered = false;
  const ColumnKind* column = KindOf(column_type);
  const fpta_value_type kind = column != nullptr ? column->kind : fpta_null;
  // Null sorts first, as in a nullable index. A value not of the column's
  // kind is ordered by its kind alone, so no member of the union is read as
  // what it is not.
  if (a.type != kind || b.type != kind) return Order(a.type, b.type);
  switch (kind) {
    case fpta_unsigned_int:
      return Order(a.uint, b.uint);
    case fpta_signed_int:
      return Order(a.sint, b.sint);
    case fpta_datetime:
      return Order(a.datetime.fixedpoint, b.datetime.fixedpoint);
    case fpta_float_point:
      if (std::isnan(a.fp) || std::isnan(b.fp)) {
        if (unordered != nullptr) *unordered = true;
        return std::isnan(a.fp) ? 1 : -1;
      }
      return Order(a.fp, b.fp);
    default:
      return CompareBytes(a, b);
  }
}

}  // namespace fpta::keys
