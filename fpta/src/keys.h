// Index keys: how a column value becomes the bytes an LMDB index is keyed by.
//
// Keys of ordered indexes compare as LMDB's default comparison does (bytewise,
// a shorter key before a longer one that extends it), so the encoding carries
// the order of the column's type:
// - unsigned integers: big-endian, in the column's own width;
// - signed integers: big-endian with the sign bit flipped;
// - floating point: big-endian IEEE bits, all inverted for negatives and the
//   sign bit set for the rest; -0.0 is stored as +0.0, NaN cannot be a key;
// - datetime: the fixed-point stamp, big-endian;
// - fixed-size binaries (96..256 bits), strings and opaque values: the bytes,
//   reversed for a reverse index (so such keys compare from the last byte).
// Numbers order alike in obverse and reverse indexes.
//
// A nullable index puts a tag byte first: 0x00 for null (first in order),
// 0x01 before a value. A string or opaque key (outside a composite) always
// has the 0x01 tag, so that the empty value still makes a key.
//
// A composite key concatenates its parts in the order they were described; a variable-length part
// has its 0x00 bytes escaped as 0x00 0xFF and ends with 0x00 0x00, so no part's bytes run into the
// next; a nullable composite gives each part a presence tag byte.
//
// An encoding longer than kMaxKeyBytes keeps its first kMaxKeyBytes - 8 bytes
// and appends an 8-byte hash of the whole encoding. Finds and unique checks
// stay exact because callers compare the row's own value as well; only the
// order of such long keys beyond their first bytes is approximate.
#ifndef FPTA_SRC_KEYS_H
#define FPTA_SRC_KEYS_H

#include <cstddef>
#include <cstdint>

#include "fpta.h"

namespace fpta::keys {

// Below LMDB's 511-byte key limit, with room for the 8-byte row serial that a
// primary index with duplicates appends.
constexpr size_t kMaxKeyBytes = 480;

// An encoded key. Bytes past kMaxKeyBytes are not kept but folded into a
// running hash, which Finish() appends.
class Key {
 public:
  const uint8_t* data() const { return bytes_; }
  size_t size() const { return size_; }
  // True when the encoding was longer than kMaxKeyBytes (after Finish()).
  bool hashed() const { return hashed_; }

  void Clear();
  void Append(const void* bytes, size_t count);
  void AppendByte(uint8_t byte);
  // Folds an overlong encoding to kMaxKeyBytes; call once, after the last part.
  void Finish();

 private:
  uint8_t bytes_[kMaxKeyBytes];
  size_t size_ = 0;
  size_t total_ = 0;  // bytes appended, kept or not
  uint64_t hash_ = 0;
  bool hashed_ = false;
};

// Checks that value is of a kind a column of column_type accepts and that it
// fits, and gives it in the column's own kind: fpta_unsigned_int for the
// unsigned types, fpta_signed_int for int32/int64, fpta_float_point for
// fp32/fp64 (rounded to single precision for fp32), fpta_datetime,
// fpta_string for cstr, fpta_binary for opaque and the fixed-size binaries
// (of exactly their width) and nested tuples. Numbers convert between signed,
// unsigned and floating kinds when the value is exactly representable (a
// floating value into a float column may round). A string and a binary fill
// each other's columns, except that a nested column takes only a binary.
// fpta_null stays fpta_null. Returns FPTA_SUCCESS, FPTA_EINVAL (a string or
// binary of non-zero length without a pointer), FPTA_ETYPE (a kind the column
// cannot take), ERANGE (a value outside the column's range, a fixed-size
// binary of another width) or FPTU_ETOOLONG (a string or binary longer than
// fpta_max_col_bytes). Pointers in
// *normalized point where value's did.
int Normalize(fptu_type column_type, const fpta_value& value, fpta_value* normalized);

// Encodes a normalized value of a column of column_type into an index whose
// flags (fpta_index_type bits) are index. A null value is encoded only for a
// nullable index. Returns FPTA_SUCCESS, FPTA_ENOKEY (null in a non-nullable
// index), ERANGE (NaN) or FPTA_ETYPE (a nested column, or a value not of the
// column's normalized kind). Does not Clear() or Finish() the key.
int AppendKey(fptu_type column_type, unsigned index, const fpta_value& normalized, Key* key);

// Appends one part of a composite key; nullable says whether the composite
// index is nullable. Same statuses as AppendKey.
int AppendCompositePart(fptu_type part_type, bool nullable, const fpta_value& normalized, Key* key);

// Compares two normalized values of a column of column_type as the type
// orders them (numbers numerically, strings and binaries bytewise, shorter
// first; null before every value). Returns <0, 0 or >0. NaN compares unequal
// to everything, and is reported with *unordered set (may be null).
int Compare(fptu_type column_type, const fpta_value& a, const fpta_value& b, bool* unordered);

}  // namespace fpta::keys

#endif  // FPTA_SRC_KEYS_H
