/*
 * fpta.h: the C interface of libfpta, a transactional table engine, and of
 * its tuple layer (the fptu_ functions) in which rows are built and read.
 *
 * This is the project's own implementation of that interface. Its records,
 * enumerations and prototypes are fixed: the Python module _morvane is
 * compiled against this header (as C++) and links libfpta.so, and it carries
 * the sizes, offsets and enumerator values below as compiled constants. The
 * static assertions at the end of the file hold them in place.
 *
 * Status codes: every int-returning function returns FPTA_SUCCESS (0) or a
 * status code: one of enum fpta_error, one of the codes FPTA_ENOIMP,
 * FPTU_ENOSPACE, FPTU_ETOOLONG and FPTA_ETOOMANY below, or an errno value. fpta_strerror() gives the
 * text of any of them. Operations of the table layer that are not built yet
 * check their arguments and then return FPTA_ENOIMP.
 */
#ifndef FPTA_H
#define FPTA_H

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>    /* free(): releases what fptu_alloc() returns */
#include <string.h>    /* strlen(), for fpta_value_cstr() */
#include <sys/types.h> /* mode_t */
#include <sys/uio.h>   /* struct iovec */

#ifndef __cplusplus
#include <stdbool.h>
#endif

#define FPTA_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define FPTA_STATIC_ASSERT(expr) static_assert(expr, #expr)
#define FPTA_ALIGNOF(type) alignof(type)
#else
#define FPTA_STATIC_ASSERT(expr) _Static_assert(expr, #expr)
#define FPTA_ALIGNOF(type) _Alignof(type)
#endif

/*
 * All twelve enumerations have a signed 32-bit underlying type: values such as
 * fptu_any (-1) and the negative status codes pass through them, and a caller
 * that casts -1 to any of them must read -1 back. C++ (and C23) say so with a
 * fixed underlying type. Earlier C cannot name one, and GCC gives an
 * enumeration without negative enumerators an unsigned type (the mode
 * attribute keeps that signedness), so in C each such enumeration gains one
 * negative marker enumerator, FOO_signed_marker_, which nothing else uses. The
 * module is compiled as C++ and never sees the markers; its own declarations
 * of the enumerator lists do not contain them either.
 */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 202311L)
#define FPTA_ENUM(name) enum name : int32_t
#define FPTA_ENUM_SIGNED_MARKER(name)
#else
#define FPTA_ENUM(name) enum name
#define FPTA_ENUM_SIGNED_MARKER(name) , name##_signed_marker_ = INT32_MIN
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Handles. Their contents belong to the library.                           */

typedef struct fpta_db fpta_db;
typedef struct fpta_txn fpta_txn;
typedef struct fpta_cursor fpta_cursor;

/* ------------------------------------------------------------------------ */
/* Enumerations.                                                            */

/* Limits, and the fields of a 64-bit column id: type number in bits 0-4,
 * index kind (the fpta_index_type flags shifted down by 5) in bits 5-9, name
 * hash in the 54 bits from bit 10. */
FPTA_ENUM(fpta_bits){
    fpta_tables_max = 1024,
    fpta_max_cols = 1022,
    fpta_max_row_bytes = 262140,
    fpta_max_col_bytes = 65531,
    fpta_max_array_len = 2047,
    fpta_max_keylen = 56,
    fpta_keybuf_len = 80,
    fpta_name_len_min = 1,
    fpta_name_len_max = 512,
    fpta_id_bits = 64,
    fpta_column_typeid_bits = 5,
    fpta_column_typeid_shift = 0,
    fpta_column_typeid_mask = 31,
    fpta_column_index_bits = 5,
    fpta_column_index_shift = 5,
    fpta_column_index_mask = 992,
    fpta_name_hash_bits = 54,
    fpta_name_hash_shift = 10,
    fpta_max_indexes = 1024,
    fpta_max_dbi = 32764 FPTA_ENUM_SIGNED_MARKER(fpta_bits)};

FPTA_ENUM(fpta_error){
    FPTA_SUCCESS = 0,
    FPTA_NODATA = -1,
    FPTA_NOTFOUND = -30798,
    FPTA_EINVAL = EINVAL,
    FPTA_EEXIST = EEXIST};

typedef FPTA_ENUM(fpta_cursor_options){
    fpta_unsorted = 0,
    fpta_ascending = 1,
    fpta_descending = 2,
    fpta_dont_fetch = 4,
    fpta_unsorted_dont_fetch = 4,
    fpta_ascending_dont_fetch = 5,
    fpta_descending_dont_fetch = 6 FPTA_ENUM_SIGNED_MARKER(fpta_cursor_options)} fpta_cursor_options;

typedef FPTA_ENUM(fpta_durability){
    fpta_readonly = 0,
    fpta_sync = 1,
    fpta_lazy = 2,
    fpta_weak = 3 FPTA_ENUM_SIGNED_MARKER(fpta_durability)} fpta_durability;

typedef FPTA_ENUM(fpta_level){
    fpta_read = 1,
    fpta_write = 2,
    fpta_schema = 3 FPTA_ENUM_SIGNED_MARKER(fpta_level)} fpta_level;

typedef FPTA_ENUM(fpta_put_options){
    fpta_insert = 0,
    fpta_update = 1,
    fpta_upsert = 2 FPTA_ENUM_SIGNED_MARKER(fpta_put_options)} fpta_put_options;

typedef FPTA_ENUM(fpta_regime_flags){
    fpta_regime_default = 0,
    fpta_frendly4writeback = 1,
    fpta_frendly4hdd = 2,
    fpta_frendly4compaction = 4,
    fpta_saferam = 8 FPTA_ENUM_SIGNED_MARKER(fpta_regime_flags)} fpta_regime_flags;

typedef FPTA_ENUM(fpta_seek_operations){
    fpta_first = 0,
    fpta_last = 1,
    fpta_next = 2,
    fpta_prev = 3,
    fpta_dup_first = 4,
    fpta_dup_last = 5,
    fpta_dup_next = 6,
    fpta_dup_prev = 7,
    fpta_key_next = 8,
    fpta_key_prev = 9 FPTA_ENUM_SIGNED_MARKER(fpta_seek_operations)} fpta_seek_operations;

typedef FPTA_ENUM(fpta_value_type){
    fpta_null = 0,
    fpta_signed_int = 1,
    fpta_unsigned_int = 2,
    fpta_datetime = 3,
    fpta_float_point = 4,
    fpta_string = 5,
    fpta_binary = 6,
    fpta_shoved = 7,
    fpta_begin = 8,
    fpta_end = 9 FPTA_ENUM_SIGNED_MARKER(fpta_value_type)} fpta_value_type;

/* Node kinds of a row filter; the comparisons are bit sets (le = lt | eq). */
typedef FPTA_ENUM(fpta_filter_bits){
    fpta_node_not = -4,
    fpta_node_or = -3,
    fpta_node_and = -2,
    fpta_node_fncol = -1,
    fpta_node_fnrow = 0,
    fpta_node_lt = 4,
    fpta_node_gt = 8,
    fpta_node_le = 6,
    fpta_node_ge = 10,
    fpta_node_eq = 2,
    fpta_node_ne = 13} fpta_filter_bits;

/* Five index flags and their named combinations. */
typedef FPTA_ENUM(fpta_index_type){
    fpta_index_funique = 32,
    fpta_index_fordered = 64,
    fpta_index_fobverse = 128,
    fpta_index_fsecondary = 256,
    fpta_index_fnullable = 512,
    fpta_index_none = 0,
    fpta_noindex_nullable = 512,
    fpta_primary_withdups_ordered_obverse = 192,
    fpta_primary_withdups_ordered_obverse_nullable = 704,
    fpta_primary_withdups_ordered_reverse = 64,
    fpta_primary_withdups_ordered_reverse_nullable = 576,
    fpta_primary_unique_ordered_obverse = 224,
    fpta_primary_unique_ordered_obverse_nullable = 736,
    fpta_primary_unique_ordered_reverse = 96,
    fpta_primary_unique_ordered_reverse_nullable = 608,
    fpta_primary_unique_unordered = 160,
    fpta_primary_unique_unordered_nullable_obverse = 672,
    fpta_primary_unique_unordered_nullable_reverse = 544,
    fpta_primary_withdups_unordered = 128,
    fpta_primary_withdups_unordered_nullable_obverse = 640,
    fpta_secondary_withdups_ordered_obverse = 448,
    fpta_secondary_withdups_ordered_obverse_nullable = 960,
    fpta_secondary_withdups_ordered_reverse = 320,
    fpta_secondary_withdups_ordered_reverse_nullable = 832,
    fpta_secondary_unique_ordered_obverse = 480,
    fpta_secondary_unique_ordered_obverse_nullable = 992,
    fpta_secondary_unique_ordered_reverse = 352,
    fpta_secondary_unique_ordered_reverse_nullable = 864,
    fpta_secondary_unique_unordered = 416,
    fpta_secondary_unique_unordered_nullable_obverse = 928,
    fpta_secondary_unique_unordered_nullable_reverse = 800,
    fpta_secondary_withdups_unordered = 384,
    fpta_secondary_withdups_unordered_nullable_obverse = 896,
    fpta_secondary_withdups_unordered_nullable_reverse = 768 FPTA_ENUM_SIGNED_MARKER(fpta_index_type)} fpta_index_type;

/* Field and column type numbers, the filter masks (fptu_filter plus one bit
 * per type number) and the alias names. */
typedef FPTA_ENUM(fptu_type){
    fptu_null = 0,
    fptu_uint16 = 1,
    fptu_int32 = 2,
    fptu_uint32 = 3,
    fptu_fp32 = 4,
    fptu_int64 = 5,
    fptu_uint64 = 6,
    fptu_fp64 = 7,
    fptu_datetime = 8,
    fptu_96 = 9,
    fptu_128 = 10,
    fptu_160 = 11,
    fptu_256 = 12,
    fptu_cstr = 13,
    fptu_opaque = 14,
    fptu_nested = 15,
    fptu_farray = 16,
    fptu_typeid_max = 31,
    fptu_filter = 65536,
    fptu_any = -1,
    fptu_any_int = 65572,
    fptu_any_uint = 65610,
    fptu_any_fp = 65680,
    fptu_16 = 1,
    fptu_32 = 3,
    fptu_64 = 6,
    fptu_bool = 1,
    fptu_enum = 1,
    fptu_char = 1,
    fptu_wchar = 1,
    fptu_ipv4 = 3,
    fptu_uuid = 10,
    fptu_ipv6 = 10,
    fptu_md5 = 10,
    fptu_sha1 = 11,
    fptu_sha256 = 12,
    fptu_wstring = 14} fptu_type;

/* Status codes of this implementation beyond enum fpta_error. They lie above
 * every errno value, so an errno value can be returned unchanged as well.
 * Plain ints, like errno values, so that they mix with enum fpta_error. */
/* The operation is not built yet; its arguments were checked and are sound. */
#define FPTA_ENOIMP ENOSYS
/* The tuple has no room left for the field (fptu_insert_*, fptu_upsert_*). */
#define FPTU_ENOSPACE 5001
/* A value is longer than a field may be (fpta_max_col_bytes). */
#define FPTU_ETOOLONG 5002
/* A column set holds no more columns, or a composite index no more parts. */
#define FPTA_ETOOMANY 5003
/* A value of a kind that does not fit the column's type. */
#define FPTA_ETYPE 5004
/* The row holds a field of a column its table does not have, a field of
 * another type than its column's, or two fields of one column. */
#define FPTA_ECOLUMN 5005
/* The row lacks a value of a non-nullable indexed column. */
#define FPTA_ENOKEY 5006
/* A storage failure left the transaction half changed: it can only be aborted. */
#define FPTA_ETXNFAILED 5007
/* The new row does not keep the key of the cursor's index. */
#define FPTA_EKEYMISMATCH 5008

/* ------------------------------------------------------------------------ */
/* Records of the tuple layer. Packed to alignment 1, except fptu_ro (8) and  */
/* fptu_rw (4), which keep their natural alignment.                         */

#pragma pack(push, 1)

/* The length word that starts every variable-length field. */
typedef union fptu_varlen {
  struct {
    uint16_t brutto; /* units that follow this one */
    union {
      uint16_t opaque_bytes; /* exact byte length of a string or opaque value */
      uint16_t array_length;
      uint16_t tuple_items; /* header units of a (nested) tuple */
    };
  };
  uint32_t flat;
} fptu_varlen;

/* A field header: ct holds the type number in bits 0-4 and the column number
 * above them; offset is the distance in units from the header to the field's
 * data, or the value itself for a uint16 field. */
typedef union fptu_field {
  struct {
    uint16_t ct;
    uint16_t offset;
  };
  uint32_t header;
  uint32_t body[1];
} fptu_field;

/* One 32-bit unit of a tuple. */
typedef union fptu_unit {
  fptu_field field;
  fptu_varlen varlen;
  uint32_t data;
} fptu_unit;

/* A 64-bit fixed-point time stamp: seconds in utc, 2^-32 fractions below. */
typedef union fptu_time {
  uint64_t fixedpoint;
  struct {
    uint32_t fractional;
    uint32_t utc;
  };
} fptu_time;

#pragma pack(pop)

/* A read-only tuple: its units and its length in bytes. */
typedef union fptu_ro {
  struct {
    const fptu_unit *units;
    size_t total_bytes;
  };
} fptu_ro;

/* A tuple being built, followed in memory by its units. Indexes count units:
 * field headers lie in [head, pivot), their data in [pivot, tail), the free
 * room in [1, head) and [tail, end); junk counts the units of removed fields.
 * Unit 0 (and head - 1) is kept for the header of the read-only form. */
typedef struct fptu_rw {
  unsigned head;
  unsigned tail;
  unsigned junk;
  unsigned pivot;
  unsigned end;
  fptu_unit units[1];
} fptu_rw;

/* ------------------------------------------------------------------------ */
/* Records of the table layer, packed to alignment 1.                       */

#pragma pack(push, 1)

/* The id of a table or column name. fpta_table_init() / fpta_column_init()
 * fill it from the name; fpta_name_refresh() resolves it against the schema.
 * shove: the 64-bit id (name hash from bit 10; a resolved column adds its
 * type and index kind in bits 0-9). version: the schema version it was last
 * resolved against, 0 before that. table: for a column, the name of its table;
 * null for a table. number: for a column, its number in the table's rows; for
 * a table, the count of its columns (both once resolved). */
typedef struct fpta_name {
  uint64_t shove;
  uint64_t version;
  const struct fpta_name *table;
  uint32_t number;
} fpta_name;

/* The columns of a table being described. count columns have their ids in
 * shoves[0..count), in the order they were described. A composite index is a
 * column of type fptu_null whose parts are kept in composites[]: word 0 is
 * the number of words in use after it, then each composite index in the order
 * of its description as its part count followed by the positions (in shoves)
 * of its parts. */
typedef struct fpta_column_set {
  uint32_t count;
  uint64_t shoves[fpta_max_cols];
  uint16_t composites[fpta_max_cols];
} fpta_column_set;

/* One typed value: a key, a column value or a cursor range bound. type names
 * the payload member that holds the value; binary_length is the byte length
 * of a string or binary value. */
typedef struct fpta_value {
  fpta_value_type type;
  unsigned binary_length;
  union {
    void *binary_data;
    int64_t sint;
    uint64_t uint;
    double fp;
    fptu_time datetime;
    const char *str;
  };
} fpta_value;

/* One node of a row filter tree; type says which node member holds it. */
typedef struct fpta_filter {
  fpta_filter_bits type;
  union {
    struct fpta_filter *node_not;
    struct {
      struct fpta_filter *a, *b;
    } node_or, node_and;
    struct {
      fpta_name *column_id;
      bool (*predicate)(const fptu_field *column, void *arg);
      void *arg;
    } node_fncol;
    struct {
      bool (*predicate)(const fptu_ro *row, void *context, void *arg);
      void *context;
      void *arg;
    } node_fnrow;
    struct {
      fpta_name *left_id;
      fpta_value right_value;
    } node_cmp;
  };
} fpta_filter;

typedef struct fpta_table_stat {
  uint64_t row_count;
  uint64_t total_bytes;
  size_t btree_depth;
  size_t branch_pages;
  size_t leaf_pages;
  size_t large_pages;
} fpta_table_stat;

/* The names of the tables of a database. version is the schema version the
 * list was taken at. */
typedef struct fpta_schema_info {
  uint64_t version;
  unsigned tables_count;
  fpta_name tables_names[fpta_tables_max];
} fpta_schema_info;

#pragma pack(pop)

/* ------------------------------------------------------------------------ */
/* Database and transactions.                                               */

FPTA_API int fpta_db_open(const char *path, fpta_durability durability, fpta_regime_flags regime_flags,
                          mode_t file_mode, size_t megabytes, bool alterable_schema, fpta_db **db);
FPTA_API int fpta_db_close(fpta_db *db);
FPTA_API int fpta_transaction_begin(fpta_db *db, fpta_level level, fpta_txn **txn);
FPTA_API int fpta_transaction_end(fpta_txn *txn, bool abort);

/* ------------------------------------------------------------------------ */
/* Tables, schema and names.                                                */

FPTA_API int fpta_column_describe(const char *column_name, fptu_type data_type, fpta_index_type index_type,
                                  fpta_column_set *column_set);
FPTA_API int fpta_describe_composite_index(const char *composite_name, fpta_index_type index_type,
                                           fpta_column_set *column_set, const char **column_names_array,
                                           size_t column_names_count);
/* The part names follow as const char * arguments up to a null one. */
FPTA_API int fpta_describe_composite_index_va(const char *composite_name, fpta_index_type index_type,
                                              fpta_column_set *column_set, const char *first,
                                              const char *second, const char *third, ...);
FPTA_API int fpta_table_create(fpta_txn *txn, const char *table_name, fpta_column_set *column_set);
FPTA_API int fpta_table_drop(fpta_txn *txn, const char *table_name);
FPTA_API int fpta_table_clear(fpta_txn *txn, fpta_name *table_id, bool reset_sequence);
FPTA_API int fpta_table_info(fpta_txn *txn, fpta_name *table_id, size_t *row_count, fpta_table_stat *stat);
FPTA_API int fpta_table_sequence(fpta_txn *txn, fpta_name *table_id, uint64_t *result, uint64_t increment);
FPTA_API int fpta_table_init(fpta_name *table_id, const char *name);
FPTA_API int fpta_column_init(const fpta_name *table_id, fpta_name *column_id, const char *name);
FPTA_API int fpta_name_refresh(fpta_txn *txn, fpta_name *name_id);
FPTA_API int fpta_name_refresh_couple(fpta_txn *txn, fpta_name *table_id, fpta_name *column_id);
FPTA_API void fpta_name_destroy(fpta_name *id);

/* ------------------------------------------------------------------------ */
/* Rows.                                                                    */

FPTA_API int fpta_put(fpta_txn *txn, fpta_name *table_id, fptu_ro row, fpta_put_options op);
FPTA_API int fpta_validate_put(fpta_txn *txn, fpta_name *table_id, fptu_ro row_value, fpta_put_options op);
FPTA_API int fpta_delete(fpta_txn *txn, fpta_name *table_id, fptu_ro row_value);
FPTA_API int fpta_get(fpta_txn *txn, fpta_name *column_id, const fpta_value *column_value, fptu_ro *row);
FPTA_API int fpta_get_column(fptu_ro row_value, const fpta_name *column_id, fpta_value *value);
FPTA_API int fpta_get_column2buffer(fptu_ro row, const fpta_name *column_id, fpta_value *value, void *buffer,
                                    size_t buffer_length);
FPTA_API int fpta_upsert_column(fptu_rw *pt, const fpta_name *column_id, fpta_value value);
/* Decodes the field whose header unit field points to. Fixed-size kinds come
 * by value; strings, opaque values, nested tuples and the 96..256-bit kinds
 * point into the tuple. A null pointer or a removed field gives fpta_null. */
FPTA_API fpta_value fpta_field2value(const void *field);

/* ------------------------------------------------------------------------ */
/* Cursors.                                                                 */

FPTA_API int fpta_cursor_open(fpta_txn *txn, fpta_name *column_id, fpta_value range_from, fpta_value range_to,
                              const fpta_filter *filter, fpta_cursor_options op, fpta_cursor **cursor);
FPTA_API int fpta_cursor_close(fpta_cursor *cursor);
FPTA_API int fpta_cursor_move(fpta_cursor *cursor, fpta_seek_operations op);
FPTA_API int fpta_cursor_eof(fpta_cursor *cursor);
FPTA_API int fpta_cursor_get(fpta_cursor *cursor, fptu_ro *row);
FPTA_API int fpta_cursor_update(fpta_cursor *cursor, fptu_ro new_row_value);
FPTA_API int fpta_cursor_delete(fpta_cursor *cursor);
FPTA_API int fpta_cursor_count(fpta_cursor *cursor, size_t *count, size_t limit);

/* ------------------------------------------------------------------------ */
/* Building tuples. Every function returns FPTA_SUCCESS or a status code:     */
/* FPTA_EINVAL (null tuple, column >= fpta_max_cols, null data), FPTU_ETOOLONG */
/* (value longer than fpta_max_col_bytes) or FPTU_ENOSPACE (no room left).     */
/* insert adds a field, even if the column already has one; upsert replaces   */
/* the first field of the same column and type, or adds one.                  */

FPTA_API int fptu_insert_uint16(fptu_rw *pt, unsigned column, unsigned value);
FPTA_API int fptu_insert_uint32(fptu_rw *pt, unsigned column, uint32_t value);
FPTA_API int fptu_insert_uint64(fptu_rw *pt, unsigned column, uint64_t value);
FPTA_API int fptu_insert_int32(fptu_rw *pt, unsigned column, int32_t value);
FPTA_API int fptu_insert_int64(fptu_rw *pt, unsigned column, int64_t value);
FPTA_API int fptu_insert_fp32(fptu_rw *pt, unsigned column, float value);
FPTA_API int fptu_insert_fp64(fptu_rw *pt, unsigned column, double value);
FPTA_API int fptu_insert_datetime(fptu_rw *pt, unsigned column, fptu_time value);
FPTA_API int fptu_insert_96(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_insert_128(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_insert_160(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_insert_256(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_insert_string(fptu_rw *pt, unsigned column, const char *text, size_t length);
FPTA_API int fptu_insert_opaque(fptu_rw *pt, unsigned column, const void *value, size_t bytes);
FPTA_API int fptu_insert_opaque_iov(fptu_rw *pt, unsigned column, const struct iovec value);
FPTA_API int fptu_insert_nested(fptu_rw *pt, unsigned column, fptu_ro ro);

/* Removes every field of the column. */
FPTA_API int fptu_upsert_null(fptu_rw *pt, unsigned column);
FPTA_API int fptu_upsert_uint16(fptu_rw *pt, unsigned column, uint_fast16_t value);
FPTA_API int fptu_upsert_uint32(fptu_rw *pt, unsigned column, uint_fast32_t value);
FPTA_API int fptu_upsert_uint64(fptu_rw *pt, unsigned column, uint_fast64_t value);
FPTA_API int fptu_upsert_int32(fptu_rw *pt, unsigned column, int_fast32_t value);
FPTA_API int fptu_upsert_int64(fptu_rw *pt, unsigned column, int_fast64_t value);
FPTA_API int fptu_upsert_fp32(fptu_rw *pt, unsigned column, float value);
FPTA_API int fptu_upsert_fp64(fptu_rw *pt, unsigned column, double value);
FPTA_API int fptu_upsert_datetime(fptu_rw *pt, unsigned column, fptu_time value);
FPTA_API int fptu_upsert_96(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_upsert_128(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_upsert_160(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_upsert_256(fptu_rw *pt, unsigned column, const void *data);
FPTA_API int fptu_upsert_string(fptu_rw *pt, unsigned column, const char *text, size_t length);
FPTA_API int fptu_upsert_opaque(fptu_rw *pt, unsigned column, const void *value, size_t bytes);
FPTA_API int fptu_upsert_opaque_iov(fptu_rw *pt, unsigned column, const struct iovec value);
FPTA_API int fptu_upsert_nested(fptu_rw *pt, unsigned column, fptu_ro ro);

/* ------------------------------------------------------------------------ */
/* Tuple memory and checks.                                                 */

/* Bytes fptu_alloc() needs for items field headers and data_bytes of field
 * data; SIZE_MAX when that does not fit a size_t. */
FPTA_API size_t fptu_space(size_t items, size_t data_bytes);
/* A new empty tuple from malloc (release it with free()), or null when the
 * memory is not there or the tuple would exceed fpta_max_row_bytes. */
FPTA_API fptu_rw *fptu_alloc(size_t items_limit, size_t data_bytes);
/* A writable copy of source in buffer, with room for more_items further
 * headers and whatever data room is left; null when source is not a sound
 * tuple or the buffer is null, misaligned or too small. */
FPTA_API fptu_rw *fptu_fetch(fptu_ro source, void *buffer, size_t buffer_bytes, unsigned more_items);
/* The read-only form of pt, in place and without dropping removed fields;
 * {null, 0} for a null or broken pt. */
FPTA_API fptu_ro fptu_take_noshrink(fptu_rw *pt);
/* Null for a sound tuple, otherwise a static text naming the first fault. */
FPTA_API const char *fptu_check(const fptu_rw *pt);

/* ------------------------------------------------------------------------ */
/* Errors.                                                                  */

/* The text of any status code; static or thread-local, never to be freed. */
FPTA_API const char *fpta_strerror(int errnum);

/* ------------------------------------------------------------------------ */
/* Values, the column set initialiser and row insertion, computed inline.   */

#define FPTA_VALUE_LENGTH_LIMIT 0x7FFFFFFFu
#define FPTA_VALUE_NO_LENGTH 0xFFFFFFFFu

static inline unsigned fpta_value_clamp_length(size_t length) {
  return length > FPTA_VALUE_LENGTH_LIMIT ? FPTA_VALUE_LENGTH_LIMIT : (unsigned)length;
}

static inline fpta_value fpta_value_null(void) {
  fpta_value value;
  memset(&value, 0, sizeof(value));
  return value;
}

static inline fpta_value fpta_value_of_kind(fpta_value_type type, unsigned binary_length) {
  fpta_value value = fpta_value_null();
  value.type = type;
  value.binary_length = binary_length;
  return value;
}

static inline fpta_value fpta_value_begin(void) { return fpta_value_of_kind(fpta_begin, FPTA_VALUE_NO_LENGTH); }

static inline fpta_value fpta_value_end(void) { return fpta_value_of_kind(fpta_end, FPTA_VALUE_NO_LENGTH); }

static inline fpta_value fpta_value_sint(int64_t value) {
  fpta_value result = fpta_value_of_kind(fpta_signed_int, FPTA_VALUE_NO_LENGTH);
  result.sint = value;
  return result;
}

static inline fpta_value fpta_value_uint(uint64_t value) {
  fpta_value result = fpta_value_of_kind(fpta_unsigned_int, FPTA_VALUE_NO_LENGTH);
  result.uint = value;
  return result;
}

static inline fpta_value fpta_value_datetime(fptu_time datetime) {
  fpta_value result = fpta_value_of_kind(fpta_datetime, FPTA_VALUE_NO_LENGTH);
  result.datetime = datetime;
  return result;
}

static inline fpta_value fpta_value_float(double value) {
  fpta_value result = fpta_value_of_kind(fpta_float_point, FPTA_VALUE_NO_LENGTH);
  result.fp = value;
  return result;
}

static inline fpta_value fpta_value_string(const char *text, size_t length) {
  fpta_value result = fpta_value_of_kind(fpta_string, fpta_value_clamp_length(length));
  result.str = text;
  return result;
}

static inline fpta_value fpta_value_cstr(const char *value) {
  return fpta_value_string(value, value ? strlen(value) : 0);
}

static inline fpta_value fpta_value_binary(const void *data, size_t length) {
  fpta_value result = fpta_value_of_kind(fpta_binary, fpta_value_clamp_length(length));
  result.binary_data = (void *)data;
  return result;
}

/* Clears the count, the first id and the fill of the composite pool: an empty
 * set. The rest of the record is not read until it is described again. */
static inline void fpta_column_set_init(fpta_column_set *column_set) {
  if (column_set == NULL) return;
  column_set->count = 0;
  column_set->shoves[0] = 0;
  column_set->composites[0] = 0;
}

static inline int fpta_insert_row(fpta_txn *txn, fpta_name *table_id, fptu_ro row) {
  return fpta_put(txn, table_id, row, fpta_insert);
}

#ifdef __cplusplus
}
#endif

/* ------------------------------------------------------------------------ */
/* The layouts and values the module compiles in.                           */

FPTA_STATIC_ASSERT(sizeof(fpta_name) == 28 && FPTA_ALIGNOF(fpta_name) == 1);
FPTA_STATIC_ASSERT(sizeof(fpta_column_set) == 10224 && FPTA_ALIGNOF(fpta_column_set) == 1);
FPTA_STATIC_ASSERT(offsetof(fpta_column_set, count) == 0);
FPTA_STATIC_ASSERT(offsetof(fpta_column_set, shoves) == 4);
FPTA_STATIC_ASSERT(offsetof(fpta_column_set, composites) == 8180);

FPTA_STATIC_ASSERT(sizeof(fpta_value) == 16 && FPTA_ALIGNOF(fpta_value) == 1);
FPTA_STATIC_ASSERT(offsetof(fpta_value, type) == 0);
FPTA_STATIC_ASSERT(offsetof(fpta_value, binary_length) == 4);
FPTA_STATIC_ASSERT(offsetof(fpta_value, binary_data) == 8);
FPTA_STATIC_ASSERT(offsetof(fpta_value, sint) == 8);
FPTA_STATIC_ASSERT(offsetof(fpta_value, uint) == 8);
FPTA_STATIC_ASSERT(offsetof(fpta_value, fp) == 8);
FPTA_STATIC_ASSERT(offsetof(fpta_value, datetime) == 8);
FPTA_STATIC_ASSERT(offsetof(fpta_value, str) == 8);

FPTA_STATIC_ASSERT(sizeof(fpta_filter) == 28 && FPTA_ALIGNOF(fpta_filter) == 1);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, type) == 0);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_not) == 4);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_or) == 4 && sizeof(((fpta_filter *)0)->node_or) == 16);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_and) == 4 && sizeof(((fpta_filter *)0)->node_and) == 16);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fncol) == 4 && sizeof(((fpta_filter *)0)->node_fncol) == 24);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fnrow) == 4 && sizeof(((fpta_filter *)0)->node_fnrow) == 24);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_cmp) == 4 && sizeof(((fpta_filter *)0)->node_cmp) == 24);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_or.a) == 4 && offsetof(fpta_filter, node_or.b) == 12);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_and.a) == 4 && offsetof(fpta_filter, node_and.b) == 12);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fncol.column_id) == 4);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fncol.predicate) == 12);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fncol.arg) == 20);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fnrow.predicate) == 4);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fnrow.context) == 12);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fnrow.arg) == 20);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_cmp.left_id) == 4);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_cmp.right_value) == 12);

FPTA_STATIC_ASSERT(sizeof(fpta_table_stat) == 48 && FPTA_ALIGNOF(fpta_table_stat) == 1);
FPTA_STATIC_ASSERT(offsetof(fpta_table_stat, row_count) == 0);
FPTA_STATIC_ASSERT(offsetof(fpta_table_stat, total_bytes) == 8);
FPTA_STATIC_ASSERT(offsetof(fpta_table_stat, btree_depth) == 16);
FPTA_STATIC_ASSERT(offsetof(fpta_table_stat, branch_pages) == 24);
FPTA_STATIC_ASSERT(offsetof(fpta_table_stat, leaf_pages) == 32);
FPTA_STATIC_ASSERT(offsetof(fpta_table_stat, large_pages) == 40);

FPTA_STATIC_ASSERT(sizeof(fpta_schema_info) == 28684 && FPTA_ALIGNOF(fpta_schema_info) == 1);
FPTA_STATIC_ASSERT(offsetof(fpta_schema_info, tables_count) == 8);
FPTA_STATIC_ASSERT(offsetof(fpta_schema_info, tables_names) == 12);

FPTA_STATIC_ASSERT(sizeof(fptu_rw) == 24 && FPTA_ALIGNOF(fptu_rw) == 4);
FPTA_STATIC_ASSERT(offsetof(fptu_rw, head) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_rw, tail) == 4);
FPTA_STATIC_ASSERT(offsetof(fptu_rw, junk) == 8);
FPTA_STATIC_ASSERT(offsetof(fptu_rw, pivot) == 12);
FPTA_STATIC_ASSERT(offsetof(fptu_rw, end) == 16);
FPTA_STATIC_ASSERT(offsetof(fptu_rw, units) == 20);

FPTA_STATIC_ASSERT(sizeof(fptu_ro) == 16 && FPTA_ALIGNOF(fptu_ro) == 8);
FPTA_STATIC_ASSERT(offsetof(fptu_ro, units) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_ro, total_bytes) == 8);

FPTA_STATIC_ASSERT(sizeof(fptu_time) == 8 && FPTA_ALIGNOF(fptu_time) == 1);
FPTA_STATIC_ASSERT(offsetof(fptu_time, fixedpoint) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_time, fractional) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_time, utc) == 4);

FPTA_STATIC_ASSERT(sizeof(fptu_unit) == 4 && FPTA_ALIGNOF(fptu_unit) == 1);
FPTA_STATIC_ASSERT(offsetof(fptu_unit, field) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_unit, varlen) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_unit, data) == 0);

FPTA_STATIC_ASSERT(sizeof(fptu_field) == 4 && FPTA_ALIGNOF(fptu_field) == 1);
FPTA_STATIC_ASSERT(offsetof(fptu_field, ct) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_field, offset) == 2);
FPTA_STATIC_ASSERT(offsetof(fptu_field, header) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_field, body) == 0);

FPTA_STATIC_ASSERT(sizeof(fptu_varlen) == 4 && FPTA_ALIGNOF(fptu_varlen) == 1);
FPTA_STATIC_ASSERT(offsetof(fptu_varlen, brutto) == 0);
FPTA_STATIC_ASSERT(offsetof(fptu_varlen, opaque_bytes) == 2);
FPTA_STATIC_ASSERT(offsetof(fptu_varlen, array_length) == 2);
FPTA_STATIC_ASSERT(offsetof(fptu_varlen, tuple_items) == 2);
FPTA_STATIC_ASSERT(offsetof(fptu_varlen, flat) == 0);

FPTA_STATIC_ASSERT(sizeof(struct iovec) == 16);
FPTA_STATIC_ASSERT(sizeof(mode_t) == 4);

/* Every enumeration is signed and 32 bits wide. */
FPTA_STATIC_ASSERT(sizeof(enum fpta_bits) == 4 && (enum fpta_bits)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(enum fpta_error) == 4 && (enum fpta_error)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_cursor_options) == 4 && (fpta_cursor_options)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_durability) == 4 && (fpta_durability)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_level) == 4 && (fpta_level)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_put_options) == 4 && (fpta_put_options)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_regime_flags) == 4 && (fpta_regime_flags)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_seek_operations) == 4 && (fpta_seek_operations)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_value_type) == 4 && (fpta_value_type)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_filter_bits) == 4 && (fpta_filter_bits)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fpta_index_type) == 4 && (fpta_index_type)-1 < 0);
FPTA_STATIC_ASSERT(sizeof(fptu_type) == 4 && (fptu_type)-1 < 0);

/* The platform's system error numbers. */
FPTA_STATIC_ASSERT(FPTA_EINVAL == 22 && FPTA_EEXIST == 17);

#endif /* FPTA_H */
