/* Python values <-> column values, with the package's edge rules: integers
 * only in range (OverflowError), the exact Python type per column
 * (TypeError), fixed-size binaries of their exact width and aware datetimes
 * (ValueError). */
#include "core.h"

#include <datetime.h>
#include <float.h>
#include <math.h>

/* The engine's datetime is 32.32 fixed point from 1970-01-01 UTC. */
#define SECONDS_PER_DAY 86400LL
#define MICROSECONDS 1000000ULL

static PyObject* epoch; /* 1970-01-01T00:00:00+00:00 */

static const char* type_name(fptu_type type) {
  static const char* names[] = {"null",   "uint16",  "int32",    "uint32", "float32", "int64",
                                "uint64", "float64", "datetime", "b96",    "b128",    "b160",
                                "b256",   "str",     "bytes",    "nested"};
  return type >= 0 && type <= fptu_nested ? names[type] : "unknown";
}

static int wrong_type(fptu_type type, PyObject* object) {
  PyErr_Format(PyExc_TypeError, "a %s column takes no %.100s", type_name(type),
               Py_TYPE(object)->tp_name);
  return -1;
}

static int out_of_range(fptu_type type, PyObject* object) {
  PyErr_Clear();
  PyErr_Format(PyExc_OverflowError, "%R is out of a %s column's range", object, type_name(type));
  return -1;
}

static int signed_value(fptu_type type, PyObject* object, long long low, long long high,
                        fpta_value* value) {
  if (!PyLong_Check(object)) return wrong_type(type, object);
  int overflow;
  const long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
  if (number == -1 && PyErr_Occurred()) return -1;
  if (overflow != 0 || number < low || number > high) return out_of_range(type, object);
  *value = fpta_value_sint(number);
  return 0;
}

static int unsigned_value(fptu_type type, PyObject* object, unsigned long long high,
                          fpta_value* value) {
  if (!PyLong_Check(object)) return wrong_type(type, object);
  /* OverflowError for negative numbers too. */
  const unsigned long long number = PyLong_AsUnsignedLongLong(object);
  if (number == (unsigned long long)-1 && PyErr_Occurred()) return out_of_range(type, object);
  if (number > high) return out_of_range(type, object);
  *value = fpta_value_uint(number);
  return 0;
}

static int float_value(fptu_type type, PyObject* object, fpta_value* value) {
  double number;
  if (PyFloat_Check(object)) {
    number = PyFloat_AS_DOUBLE(object);
  } else if (PyLong_Check(object)) {
    number = PyLong_AsDouble(object);
    if (number == -1.0 && PyErr_Occurred()) return out_of_range(type, object);
  } else {
    return wrong_type(type, object);
  }
  if (type == fptu_fp32 && isfinite(number) && fabs(number) > FLT_MAX)
    return out_of_range(type, object);
  *value = fpta_value_float(number);
  return 0;
}

static int stamp_value(PyObject* object, long long seconds, unsigned long long microseconds,
                       fpta_value* value) {
  if (seconds < 0 || seconds > (long long)UINT32_MAX) return out_of_range(fptu_datetime, object);
  fptu_time stamp;
  /* The nearest fraction, so that reading it back gives the same microsecond. */
  stamp.fixedpoint =
      (unsigned long long)seconds << 32 | ((microseconds << 32) + MICROSECONDS / 2) / MICROSECONDS;
  *value = fpta_value_datetime(stamp);
  return 0;
}

/* Days from 1970-01-01 to a civil date (proleptic Gregorian). */
static long long days_from_civil(int year, int month, int day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long year_of_era = year - era * 400;
  const long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long long day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

static int datetime_value(PyObject* object, fpta_value* value) {
  if (!PyDateTime_Check(object)) return wrong_type(fptu_datetime, object);
  long long seconds;
  unsigned long long microseconds = (unsigned long long)PyDateTime_DATE_GET_MICROSECOND(object);
  if (PyDateTime_DATE_GET_TZINFO(object) == PyDateTime_TimeZone_UTC) {
    /* The common case, read from the fields: no timedelta is made (a third
     * of the conversion's cost, and of a bulk insert's, went there). */
    seconds = days_from_civil(PyDateTime_GET_YEAR(object), PyDateTime_GET_MONTH(object),
                              PyDateTime_GET_DAY(object)) *
                  SECONDS_PER_DAY +
              PyDateTime_DATE_GET_HOUR(object) * 3600 + PyDateTime_DATE_GET_MINUTE(object) * 60 +
              PyDateTime_DATE_GET_SECOND(object);
    return stamp_value(object, seconds, microseconds, value);
  }
  PyObject* offset = PyObject_CallMethod(object, "utcoffset", NULL);
  if (offset == NULL) return -1;
  Py_DECREF(offset);
  if (offset == Py_None) {
    PyErr_SetString(PyExc_ValueError, "a datetime column takes timezone-aware datetimes only");
    return -1;
  }
  PyObject* delta = PyNumber_Subtract(object, epoch);
  if (delta == NULL) return -1;
  seconds =
      PyDateTime_DELTA_GET_DAYS(delta) * SECONDS_PER_DAY + PyDateTime_DELTA_GET_SECONDS(delta);
  microseconds = (unsigned long long)PyDateTime_DELTA_GET_MICROSECONDS(delta);
  Py_DECREF(delta);
  return stamp_value(object, seconds, microseconds, value);
}

static PyObject* datetime_object(fptu_time stamp) {
  unsigned long long seconds = stamp.fixedpoint >> 32;
  unsigned long long microseconds =
      ((stamp.fixedpoint & 0xFFFFFFFFu) * MICROSECONDS + (1ULL << 31)) >> 32;
  if (microseconds == MICROSECONDS) {
    ++seconds;
    microseconds = 0;
  }
  /* Days since 1970-01-01 to a civil date (proleptic Gregorian). */
  const long long days = (long long)(seconds / SECONDS_PER_DAY) + 719468;
  const long long era = days / 146097, day_of_era = days - era * 146097;
  const long long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long long day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long long shifted_month = (5 * day_of_year + 2) / 153;
  const int day = (int)(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  const int month = (int)(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  const int year = (int)(year_of_era + era * 400 + (month <= 2));
  const int second_of_day = (int)(seconds % SECONDS_PER_DAY);
  return PyDateTimeAPI->DateTime_FromDateAndTime(
      year, month, day, second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60,
      (int)microseconds, PyDateTime_TimeZone_UTC, PyDateTimeAPI->DateTimeType);
}

static int text_value(PyObject* object, fpta_value* value, PyObject** keep) {
  if (!PyUnicode_Check(object)) return wrong_type(fptu_cstr, object);
  Py_ssize_t length;
  const char* text = PyUnicode_AsUTF8AndSize(object, &length);
  if (text == NULL) {
    /* Lone surrogates: what reading bytes that are not UTF-8 gave. */
    PyErr_Clear();
    *keep = PyUnicode_AsEncodedString(object, "utf-8", "surrogateescape");
    if (*keep == NULL) return -1;
    text = PyBytes_AS_STRING(*keep);
    length = PyBytes_GET_SIZE(*keep);
  }
  *value = fpta_value_string(text, (size_t)length);
  return 0;
}

static int binary_value(fptu_type type, PyObject* object, fpta_value* value, PyObject** keep) {
  if (PyBytes_Check(object)) {
    *value = fpta_value_binary(PyBytes_AS_STRING(object), (size_t)PyBytes_GET_SIZE(object));
  } else if (PyObject_CheckBuffer(object) && !PyUnicode_Check(object)) {
    *keep = PyBytes_FromObject(object);
    if (*keep == NULL) return -1;
    *value = fpta_value_binary(PyBytes_AS_STRING(*keep), (size_t)PyBytes_GET_SIZE(*keep));
  } else {
    return wrong_type(type, object);
  }
  static const unsigned widths[] = {
      [fptu_96] = 12, [fptu_128] = 16, [fptu_160] = 20, [fptu_256] = 32};
  if (type >= fptu_96 && type <= fptu_256 && value->binary_length != widths[type]) {
    PyErr_Format(PyExc_ValueError, "a %s column takes exactly %u bytes, not %u", type_name(type),
                 widths[type], value->binary_length);
    Py_CLEAR(*keep);
    return -1;
  }
  return 0;
}

int value_from_object(fptu_type type, PyObject* object, fpta_value* value, PyObject** keep) {
  *keep = NULL;
  switch (type) {
    case fptu_uint16:
      return unsigned_value(type, object, UINT16_MAX, value);
    case fptu_uint32:
      return unsigned_value(type, object, UINT32_MAX, value);
    case fptu_uint64:
      return unsigned_value(type, object, UINT64_MAX, value);
    case fptu_int32:
      return signed_value(type, object, INT32_MIN, INT32_MAX, value);
    case fptu_int64:
      return signed_value(type, object, INT64_MIN, INT64_MAX, value);
    case fptu_fp32:
    case fptu_fp64:
      return float_value(type, object, value);
    case fptu_datetime:
      return datetime_value(object, value);
    case fptu_cstr:
      return text_value(object, value, keep);
    case fptu_opaque:
    case fptu_96:
    case fptu_128:
    case fptu_160:
    case fptu_256:
      return binary_value(type, object, value, keep);
    default:
      PyErr_Format(PyExc_TypeError, "columns of type %s are not supported", type_name(type));
      return -1;
  }
}

int value_kept(fptu_type type, PyObject* object, fpta_value* value, PyObject* keep) {
  PyObject* held;
  if (value_from_object(type, object, value, &held) != 0) return -1;
  if (held == NULL) return 0;
  const int appended = PyList_Append(keep, held);
  Py_DECREF(held);
  return appended;
}

PyObject* value_to_object(fptu_type type, const fpta_value* value) {
  switch (type) {
    case fptu_uint16:
    case fptu_uint32:
    case fptu_uint64:
      return PyLong_FromUnsignedLongLong(value->uint);
    case fptu_int32:
    case fptu_int64:
      return PyLong_FromLongLong(value->sint);
    case fptu_fp32:
    case fptu_fp64:
      return PyFloat_FromDouble(value->fp);
    case fptu_datetime:
      return datetime_object(value->datetime);
    case fptu_cstr:
      return PyUnicode_DecodeUTF8(value->str, value->binary_length, "surrogateescape");
    default:
      return PyBytes_FromStringAndSize(value->binary_data, value->binary_length);
  }
}

int value_put_field(fptu_rw* tuple, unsigned column, fptu_type type, const fpta_value* value) {
  switch (type) {
    case fptu_uint16:
      return fptu_insert_uint16(tuple, column, (unsigned)value->uint);
    case fptu_uint32:
      return fptu_insert_uint32(tuple, column, (uint32_t)value->uint);
    case fptu_uint64:
      return fptu_insert_uint64(tuple, column, value->uint);
    case fptu_int32:
      return fptu_insert_int32(tuple, column, (int32_t)value->sint);
    case fptu_int64:
      return fptu_insert_int64(tuple, column, value->sint);
    case fptu_fp32:
      return fptu_insert_fp32(tuple, column, (float)value->fp);
    case fptu_fp64:
      return fptu_insert_fp64(tuple, column, value->fp);
    case fptu_datetime:
      return fptu_insert_datetime(tuple, column, value->datetime);
    case fptu_96:
      return fptu_insert_96(tuple, column, value->binary_data);
    case fptu_128:
      return fptu_insert_128(tuple, column, value->binary_data);
    case fptu_160:
      return fptu_insert_160(tuple, column, value->binary_data);
    case fptu_256:
      return fptu_insert_256(tuple, column, value->binary_data);
    case fptu_cstr:
      return fptu_insert_string(tuple, column, value->str, value->binary_length);
    default:
      return fptu_insert_opaque(tuple, column, value->binary_data, value->binary_length);
  }
}

int values_init(void) {
  PyDateTime_IMPORT;
  if (PyDateTimeAPI == NULL) return -1;
  epoch = PyDateTimeAPI->DateTime_FromDateAndTime(1970, 1, 1, 0, 0, 0, 0, PyDateTime_TimeZone_UTC,
                                                  PyDateTimeAPI->DateTimeType);
  return epoch == NULL ? -1 : 0;
}
