/* Compiled as C11, so that fpta.h's static assertions also hold for a C
 * compiler; the functions give the tests C's own view of the header. */
#include "fpta.h"

int fpta_c_enumerations_are_signed(void) {
  return (enum fpta_bits) - 1 < 0 && (enum fpta_error) - 1 < 0 && (fpta_cursor_options)-1 < 0 &&
         (fpta_durability)-1 < 0 && (fpta_level)-1 < 0 && (fpta_put_options)-1 < 0 &&
         (fpta_regime_flags)-1 < 0 && (fpta_seek_operations)-1 < 0 && (fpta_value_type)-1 < 0 &&
         (fpta_filter_bits)-1 < 0 && (fpta_index_type)-1 < 0 && (fptu_type)-1 < 0;
}

fpta_value fpta_c_value_string(const char* text, size_t length) {
  return fpta_value_string(text, length);
}

void fpta_c_column_set_init(fpta_column_set* column_set) { fpta_column_set_init(column_set); }
