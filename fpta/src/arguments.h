// Checks of the arguments the table layer takes: enumerations and values.
// Each says whether the argument is acceptable; the entry points turn a
// refusal into FPTA_EINVAL.
#ifndef FPTA_SRC_ARGUMENTS_H
#define FPTA_SRC_ARGUMENTS_H

#include "fpta.h"

namespace fpta::arguments {

bool IsDurability(fpta_durability durability);
bool IsRegime(fpta_regime_flags regime);
bool IsLevel(fpta_level level);
bool IsPutOption(fpta_put_options op);
bool IsSeekOperation(fpta_seek_operations op);
bool IsCursorOptions(fpta_cursor_options op);

// A known type, and a pointer wherever a length says there are bytes.
bool IsValue(const fpta_value& value);
// A value that can bound a cursor's range: any value but the opposite end.
bool IsRangeFrom(const fpta_value& value);
bool IsRangeTo(const fpta_value& value);

}  // namespace fpta::arguments

#endif  // FPTA_SRC_ARGUMENTS_H
