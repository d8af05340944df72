/* Constructors of fpta_value. They store the pointer they are given, never a
 * copy, and clamp a length above 0x7FFFFFFF to 0x7FFFFFFF. */

fpta_value fpta_value_null(void);
fpta_value fpta_value_begin(void);
fpta_value fpta_value_end(void);
fpta_value fpta_value_sint(int64_t value);
fpta_value fpta_value_uint(uint64_t value);
fpta_value fpta_value_datetime(fptu_time datetime);
fpta_value fpta_value_float(double value);
fpta_value fpta_value_cstr(const char *value);
fpta_value fpta_value_string(const char *text, size_t length);
fpta_value fpta_value_binary(const void *data, size_t length);
