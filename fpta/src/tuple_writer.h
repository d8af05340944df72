// Adding, replacing and removing fields of a writable tuple.
//
// New headers go below head and new data above tail. A removed field stays in
// place as junk. When the header room or the data room is short, the tuple is
// repacked: live fields move together, keeping their order, the junk goes,
// and the free units are shared out again, the header room the tuple was made
// with first. So a field fits whenever the free units and the junk together
// hold its header and its data.
#ifndef FPTA_SRC_TUPLE_WRITER_H
#define FPTA_SRC_TUPLE_WRITER_H

#include "fpta.h"
#include "tuple_payload.h"

namespace fpta::tuple {

// Adds a field, even when the column already has one.
int Insert(fptu_rw* pt, unsigned column, const Payload& payload);
// Replaces the first field of the same column and type, or adds one.
int Upsert(fptu_rw* pt, unsigned column, const Payload& payload);
// Removes every field of the column.
int RemoveColumn(fptu_rw* pt, unsigned column);

}  // namespace fpta::tuple

#endif  // FPTA_SRC_TUPLE_WRITER_H
