// fpta_strerror: the text of every status code.
#include <lmdb.h>

#include <cstring>

#include "recorder.h"

namespace {

const char* OwnText(int errnum) {
  switch (errnum) {
    case FPTA_SUCCESS:
      return "Success";
    case FPTA_NODATA:
      return "No data: the end of the data, or none to begin with";
    case FPTA_NOTFOUND:
      return "Not found: no such key, row or column";
    case FPTU_ENOSPACE:
      return "The tuple has no room left for the field";
    case FPTU_ETOOLONG:
      return "The value is longer than a field may be";
    case FPTA_ETOOMANY:
      return "Too many tables, columns or composite index parts";
    case FPTA_ETYPE:
      return "A value of a kind that does not fit the column's type";
    case FPTA_ECOLUMN:
      return "The row holds a field of a column the table does not have, of the wrong type, or two "
             "fields of one "
             "column";
    case FPTA_ENOKEY:
      return "The row lacks a value of a non-nullable indexed column";
    case FPTA_ETXNFAILED:
      return "The transaction failed earlier and can only be aborted";
    case FPTA_EKEYMISMATCH:
      return "The new row does not keep the cursor's key";
    default:
      return nullptr;
  }
}

}  // namespace

const char* fpta_strerror(int errnum) {
  const fpta::CallRecord record(__func__, errnum);
  if (const char* text = OwnText(errnum)) return text;
  // LMDB's own codes, which reach callers unchanged.
  if (errnum >= MDB_KEYEXIST && errnum <= MDB_LAST_ERRCODE) return mdb_strerror(errnum);
  // errno values, FPTA_EINVAL, FPTA_EEXIST and FPTA_ENOIMP among them, read
  // as the C library words them; it names any other number "Unknown error N".
  thread_local char buffer[64];
  return strerror_r(errnum, buffer, sizeof(buffer));
}
