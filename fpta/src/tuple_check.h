// Soundness checks of read-only and writable tuples. They read nothing beyond
// the units a tuple declares (its total bytes, or its end) and return null for
// a sound tuple or a static text naming the first fault found.
#ifndef FPTA_SRC_TUPLE_CHECK_H
#define FPTA_SRC_TUPLE_CHECK_H

#include <cstddef>

#include "fpta.h"

namespace fpta::tuple {

// What a sound read-only tuple holds, in units.
struct Shape {
  unsigned items = 0;          // field headers, removed ones included
  unsigned data_units = 0;     // the data area after the headers
  unsigned removed_items = 0;  // removed fields
  unsigned removed_units = 0;  // headers and data of removed fields
};

// An empty tuple ({any, 0}) is sound. shape may be null.
const char* CheckReadOnly(const fptu_ro& tuple, Shape* shape);
// What reading one field of a read-only tuple needs, without the cost of
// checking the others: a sound header unit (so every field header lies within
// the tuple), and then the field at units[header] with its data.
const char* CheckHeader(const fptu_ro& tuple);
const char* CheckField(const fptu_ro& tuple, unsigned header);
// head, pivot, tail and end in their order and within the largest tuple.
const char* CheckBounds(const fptu_rw& pt);
// The bounds, every field, and junk matching the removed fields.
const char* CheckWritable(const fptu_rw& pt);

}  // namespace fpta::tuple

#endif  // FPTA_SRC_TUPLE_CHECK_H
