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
 * status code: one of enum fpta_error, one of the FPTU_/FPTA_ codes defined
 * below (5001 and up), an errno value (EINVAL and EEXIST among them, also
 * EBUSY, EPERM, EROFS, ENOENT, ERANGE, ENOBUFS) or one of LMDB's own codes
 * (-30799 to -30780, such as MDB_MAP_FULL), on which the table layer is
 * built. fpta_strerror() gives the text of any of them. Every function does
 * real work; FPTA_ENOIMP is left only for array column types.
 *
 * Handles (fpta_db, fpta_txn, fpta_cursor) belong to the library; a closed
 * one is refused with FPTA_EINVAL for the life of the process, never read
 * after it was freed, and never acts on a newer handle that took its memory.
 * Rows the
 * table layer hands out point into the database file's memory map: they are
 * read-only, and valid until their transaction ends or writes again. The
 * overview, the storage layout, key encodings and limits: fpta/README.md.
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
    fpta_tables_max = 1024,       fpta_max_cols = 1022,
    fpta_max_row_bytes = 262140,  fpta_max_col_bytes = 65531,
    fpta_max_array_len = 2047,    fpta_max_keylen = 56,
    fpta_keybuf_len = 80,         fpta_name_len_min = 1,
    fpta_name_len_max = 512,      fpta_id_bits = 64,
    fpta_column_typeid_bits = 5,  fpta_column_typeid_shift = 0,
    fpta_column_typeid_mask = 31, fpta_column_index_bits = 5,
    fpta_column_index_shift = 5,  fpta_column_index_mask = 992,
    fpta_name_hash_bits = 54,     fpta_name_hash_shift = 10,
    fpta_max_indexes = 1024,      fpta_max_dbi = 32764 FPTA_ENUM_SIGNED_MARKER(fpta_bits)};

FPTA_ENUM(fpta_error){FPTA_SUCCESS = 0, FPTA_NODATA = -1, FPTA_NOTFOUND = -30798,
                      FPTA_EINVAL = EINVAL, FPTA_EEXIST = EEXIST};

typedef FPTA_ENUM(fpta_cursor_options){fpta_unsorted = 0,
                                       fpta_ascending = 1,
                                       fpta_descending = 2,
                                       fpta_dont_fetch = 4,
                                       fpta_unsorted_dont_fetch = 4,
                                       fpta_ascending_dont_fetch = 5,
                                       fpta_descending_dont_fetch = 6 FPTA_ENUM_SIGNED_MARKER(
                                           fpta_cursor_options)} fpta_cursor_options;

typedef FPTA_ENUM(fpta_durability){
    fpta_readonly = 0, fpta_sync = 1, fpta_lazy = 2,
    fpta_weak = 3 FPTA_ENUM_SIGNED_MARKER(fpta_durability)} fpta_durability;

typedef FPTA_ENUM(fpta_level){fpta_read = 1, fpta_write = 2,
                              fpta_schema = 3 FPTA_ENUM_SIGNED_MARKER(fpta_level)} fpta_level;

typedef FPTA_ENUM(fpta_put_options){
    fpta_insert = 0, fpta_update = 1,
    fpta_upsert = 2 FPTA_ENUM_SIGNED_MARKER(fpta_put_options)} fpta_put_options;

typedef FPTA_ENUM(fpta_regime_flags){
    fpta_regime_default = 0, fpta_frendly4writeback = 1, fpta_frendly4hdd = 2,
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
    fpta_null = 0,         fpta_signed_int = 1,
    fpta_unsigned_int = 2, fpta_datetime = 3,
    fpta_float_point = 4,  fpta_string = 5,
    fpta_binary = 6,       fpta_shoved = 7,
    fpta_begin = 8,        fpta_end = 9 FPTA_ENUM_SIGNED_MARKER(fpta_value_type)} fpta_value_type;

/* Node kinds of a row filter; the comparisons are bit sets (le = lt | eq). */
typedef FPTA_ENUM(fpta_filter_bits){fpta_node_not = -4,   fpta_node_or = -3,   fpta_node_and = -2,
                                    fpta_node_fncol = -1, fpta_node_fnrow = 0, fpta_node_lt = 4,
                                    fpta_node_gt = 8,     fpta_node_le = 6,    fpta_node_ge = 10,
                                    fpta_node_eq = 2,     fpta_node_ne = 13} fpta_filter_bits;

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
    fpta_secondary_withdups_unordered_nullable_reverse =
        768 FPTA_ENUM_SIGNED_MARKER(fpta_index_type)} fpta_index_type;

/* Field and column type numbers, the filter masks (fptu_filter plus one bit
 * per type number) and the alias names. */
typedef FPTA_ENUM(fptu_type){
    fptu_null = 0,        fptu_uint16 = 1,       fptu_int32 = 2,      fptu_uint32 = 3,
    fptu_fp32 = 4,        fptu_int64 = 5,        fptu_uint64 = 6,     fptu_fp64 = 7,
    fptu_datetime = 8,    fptu_96 = 9,           fptu_128 = 10,       fptu_160 = 11,
    fptu_256 = 12,        fptu_cstr = 13,        fptu_opaque = 14,    fptu_nested = 15,
    fptu_farray = 16,     fptu_typeid_max = 31,  fptu_filter = 65536, fptu_any = -1,
    fptu_any_int = 65572, fptu_any_uint = 65610, fptu_any_fp = 65680, fptu_16 = 1,
    fptu_32 = 3,          fptu_64 = 6,           fptu_bool = 1,       fptu_enum = 1,
    fptu_char = 1,        fptu_wchar = 1,        fptu_ipv4 = 3,       fptu_uuid = 10,
    fptu_ipv6 = 10,       fptu_md5 = 10,         fptu_sha1 = 11,      fptu_sha256 = 12,
    fptu_wstring = 14} fptu_type;

/* Status codes of this implementation beyond enum fpta_error. They lie above
 * every errno value, so an errno value can be returned unchanged as well.
 * Plain ints, like errno values, so that they mix with enum fpta_error. */
/* A column of an array type (17 to 31), which column sets do not take yet. */
#define FPTA_ENOIMP ENOSYS
/* The tuple has no room left for the field (fptu_insert_*, fptu_upsert_*). */
#define FPTU_ENOSPACE 5001
/* A value is longer than a field may be (fpta_max_col_bytes). */
#define FPTU_ETOOLONG 5002
/* A database holds no more tables, a column set no more columns, or a
 * composite index no more parts. */
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
    const fptu_unit* units;
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
  const struct fpta_name* table;
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
    void* binary_data;
    int64_t sint;
    uint64_t uint;
    double fp;
    fptu_time datetime;
    const char* str;
  };
} fpta_value;

/* One node of a row filter tree; type says which node member holds it. */
typedef struct fpta_filter {
  fpta_filter_bits type;
  union {
    struct fpta_filter* node_not;
    struct {
      struct fpta_filter *a, *b;
    } node_or, node_and;
    struct {
      fpta_name* column_id;
      bool (*predicate)(const fptu_field* column, void* arg);
      void* arg;
    } node_fncol;
    struct {
      bool (*predicate)(const fptu_ro* row, void* context, void* arg);
      void* context;
      void* arg;
    } node_fnrow;
    struct {
      fpta_name* left_id;
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

/* Opens the database file at path, creating it (with file_mode, 0 meaning
 * 0644) unless durability is fpta_readonly. path names a file, not a
 * directory; LMDB keeps its lock file beside it, at path + "-lock".
 * megabytes is the largest size the file may grow to (0: 16384, 16 GiB); the
 * file grows as needed. durability: fpta_readonly (an existing file only, no
 * write transactions), fpta_sync (a commit is on disk when it returns),
 * fpta_lazy or fpta_weak (faster, at the risks fpta/README.md states).
 * regime_flags are accepted and have no effect. alterable_schema false
 * refuses fpta_schema transactions.
 * *db is set to null first, and on success to a handle the caller releases
 * with fpta_db_close. Returns FPTA_SUCCESS, FPTA_EINVAL (a null argument, an
 * empty path, an unknown durability or regime bit, file_mode beyond 07777),
 * EBUSY (this process has the file open already), ENOENT (fpta_readonly and
 * no file), ENOSPC (a full file system: what this call made is removed),
 * MDB_INVALID (not a database file: also an empty file no process is making
 * a database of, in both modes; the file is not changed), MDB_CORRUPTED (the
 * file is shorter than the pages its meta page says are in use; not
 * changed), another errno value or an LMDB code. */
FPTA_API int fpta_db_open(const char* path, fpta_durability durability,
                          fpta_regime_flags regime_flags, mode_t file_mode, size_t megabytes,
                          bool alterable_schema, fpta_db** db);
/* Closes the database and frees the handle. Returns FPTA_SUCCESS, FPTA_EINVAL
 * (a null or closed handle) or EBUSY: a transaction of the database is still
 * open, and nothing has changed. */
FPTA_API int fpta_db_close(fpta_db* db);
/* Begins a transaction. fpta_read sees one snapshot, the last commit before
 * it began, for its whole life. fpta_write may write rows; fpta_schema may
 * also create, drop and clear tables. There is one writer at a time: a
 * write or schema transaction waits until the open one (of any thread or
 * process) ends; a thread that holds one of the database and begins another
 * gets EDEADLK, the first left as it was. A read transaction never waits for
 * a writer. A write or schema transaction must be ended by the thread that
 * began it; a read transaction may move between threads. A transaction and
 * its cursors are used by one thread at a time.
 * *txn is set to null first, and on success to a handle that
 * fpta_transaction_end releases. Returns FPTA_SUCCESS, FPTA_EINVAL (a null
 * argument, a closed database, an unknown level), EROFS (write or schema on
 * a database opened fpta_readonly), EPERM (schema on a database opened with
 * alterable_schema false), EDEADLK (write or schema, and this thread holds
 * one of the database) or an LMDB code (e.g. MDB_READERS_FULL). */
FPTA_API int fpta_transaction_begin(fpta_db* db, fpta_level level, fpta_txn** txn);
/* Ends the transaction: commits what it did (abort false) or discards it
 * (abort true). The handle is released in every case except FPTA_EINVAL and
 * EPERM, and so are the rows read through it. Cursors left open lose their transaction:
 * every later call on them returns FPTA_EINVAL, except fpta_cursor_close,
 * which must still be called to free them. Returns FPTA_SUCCESS, FPTA_EINVAL
 * (a null or ended transaction), EPERM (a write or schema transaction ended
 * by a thread other than the one that began it: it stays open and usable by
 * that thread), or, when committing, the status of the
 * storage failure that had left the transaction failed (FPTA_ETXNFAILED
 * elsewhere; it is aborted instead) or of the commit itself (an LMDB code
 * such as MDB_MAP_FULL, or an errno value: ENOSPC for a full file system, EIO;
 * nothing is committed then). */
FPTA_API int fpta_transaction_end(fpta_txn* txn, bool abort);

/* ------------------------------------------------------------------------ */
/* Tables, schema and names.                                                */

/* Appends a column to column_set: its name, its type (fptu_uint16 to
 * fptu_nested) and its index (one of the named fpta_index_type values;
 * fpta_index_none for none). The column's number, in the table's rows, is
 * its position in the set. Returns FPTA_SUCCESS, FPTA_EINVAL (a null set, a
 * bad name, an unknown type or index type, an index on a nested column),
 * FPTA_ENOIMP (an array type, 17 to 31), FPTA_EEXIST (the name is in the set,
 * or a second primary index) or FPTA_ETOOMANY (the set holds fpta_max_cols
 * columns). */
FPTA_API int fpta_column_describe(const char* column_name, fptu_type data_type,
                                  fpta_index_type index_type, fpta_column_set* column_set);
/* Appends a composite index over columns already in the set, its key made
 * of their values in the order given; it takes a column number but never
 * appears in rows. Returns FPTA_SUCCESS, FPTA_EINVAL (a bad name, no index
 * kind, fewer than two parts, a part named twice, a part that is nested or
 * composite), FPTA_NOTFOUND (a part not in the set), FPTA_EEXIST or
 * FPTA_ETOOMANY as fpta_column_describe does (or the set's pool of parts is
 * full). */
FPTA_API int fpta_describe_composite_index(const char* composite_name, fpta_index_type index_type,
                                           fpta_column_set* column_set,
                                           const char** column_names_array,
                                           size_t column_names_count);
/* The same, with the part names following as const char * arguments up to a
 * null one. */
FPTA_API int fpta_describe_composite_index_va(const char* composite_name,
                                              fpta_index_type index_type,
                                              fpta_column_set* column_set, const char* first,
                                              const char* second, const char* third, ...);
/* Creates a table of the set's columns in a schema transaction; the set must
 * hold exactly one primary index, and is not kept. Returns FPTA_SUCCESS,
 * FPTA_EINVAL (a bad name or set), FPTA_ETXNFAILED, EPERM (not a schema
 * transaction), FPTA_EEXIST (the table exists), FPTA_ETOOMANY (the database
 * holds fpta_tables_max tables) or an LMDB code (e.g. MDB_DBS_FULL:
 * fpta_max_dbi index stores open in this process, see fpta/README.md). Every
 * refusal but a storage failure while writing leaves the transaction usable,
 * MDB_DBS_FULL included. */
FPTA_API int fpta_table_create(fpta_txn* txn, const char* table_name, fpta_column_set* column_set);
/* Drops a table, its rows and its sequence, in a schema transaction.
 * Returns FPTA_SUCCESS, FPTA_EINVAL, FPTA_ETXNFAILED, EPERM (not a schema
 * transaction), FPTA_NOTFOUND (no such table) or an LMDB code. */
FPTA_API int fpta_table_drop(fpta_txn* txn, const char* table_name);
/* Deletes every row of a table, in a schema transaction, and sets its
 * sequence back to 0 when reset_sequence. Returns as fpta_table_drop. */
FPTA_API int fpta_table_clear(fpta_txn* txn, fpta_name* table_id, bool reset_sequence);
/* The table's row count in *row_count and, in *stat, the row count and
 * LMDB's figures summed over the table's index stores (bytes and pages;
 * btree_depth the deepest). Either pointer may be null. Returns FPTA_SUCCESS,
 * FPTA_EINVAL, FPTA_ETXNFAILED, FPTA_NOTFOUND or an LMDB code; the outputs
 * are zero unless it succeeds. */
FPTA_API int fpta_table_info(fpta_txn* txn, fpta_name* table_id, size_t* row_count,
                             fpta_table_stat* stat);
/* Puts the table's sequence (0 for a new table) in *result, then adds
 * increment to it; the change is part of the transaction. An increment of 0
 * only reads, in any transaction. Returns FPTA_SUCCESS, FPTA_EINVAL,
 * FPTA_ETXNFAILED, FPTA_NOTFOUND, EPERM (an increment in a read transaction),
 * ERANGE (the sequence would pass UINT64_MAX; unchanged) or an LMDB code. */
FPTA_API int fpta_table_sequence(fpta_txn* txn, fpta_name* table_id, uint64_t* result,
                                 uint64_t increment);
/* Fills *table_id from a table name (1 to 512 characters: a letter or '_',
 * then letters, digits and '_'; case does not matter). No database is read.
 * Returns FPTA_SUCCESS or FPTA_EINVAL. */
FPTA_API int fpta_table_init(fpta_name* table_id, const char* name);
/* Fills *column_id from a column name of the table table_id names. The
 * column keeps the pointer: *table_id must outlive it. Returns FPTA_SUCCESS
 * or FPTA_EINVAL. */
FPTA_API int fpta_column_init(const fpta_name* table_id, fpta_name* column_id, const char* name);
/* Resolves a table or column name against the schema the transaction sees:
 * afterwards version is that schema's version, a column's number its column
 * number and shove its id with type and index bits, a table's number its
 * column count. Every function that takes a name and a transaction does the
 * same when the name's version differs from the transaction's; the functions
 * that take a column name and no transaction (fpta_get_column,
 * fpta_get_column2buffer, fpta_upsert_column) rely on a name refreshed
 * before, and on the schema not having changed since. Returns FPTA_SUCCESS,
 * FPTA_EINVAL (not a name), FPTA_ETXNFAILED or FPTA_NOTFOUND (no such table
 * or column, or no longer). */
FPTA_API int fpta_name_refresh(fpta_txn* txn, fpta_name* name_id);
/* Resolves a table name and, when column_id is not null, a column of that
 * table (column_id->table must be table_id: FPTA_EINVAL otherwise). Returns
 * as fpta_name_refresh. */
FPTA_API int fpta_name_refresh_couple(fpta_txn* txn, fpta_name* table_id, fpta_name* column_id);
/* Zeroes the name. */
FPTA_API void fpta_name_destroy(fpta_name* id);

/* ------------------------------------------------------------------------ */
/* Rows.                                                                    */

/* Stores a row in a write or schema transaction. fpta_insert: a row whose
 * primary key is taken (in a unique primary index) is refused; fpta_update:
 * replaces the row with that primary key (where the primary index allows
 * duplicates, the first one put); fpta_upsert: either. The secondary indexes
 * follow. The row's bytes are copied; the caller keeps the tuple. A refused
 * call changes nothing and the transaction goes on. Returns FPTA_SUCCESS,
 * FPTA_EINVAL (a bad handle, name or option; a tuple fptu_check rejects or
 * with no live field), FPTA_ETXNFAILED, EPERM (a read transaction),
 * FPTA_NOTFOUND (no such table; fpta_update with no such row), FPTA_EEXIST
 * (fpta_insert of a taken primary key, or a unique secondary key held by
 * another row), FPTA_ECOLUMN (a field of a column the table does not have,
 * of the wrong type, or two fields of one column), FPTA_ENOKEY (no value for
 * a non-nullable indexed column), ERANGE (NaN in an indexed column), or an
 * LMDB code (e.g. MDB_MAP_FULL), after which the transaction can only be
 * aborted. */
FPTA_API int fpta_put(fpta_txn* txn, fpta_name* table_id, fptu_ro row, fpta_put_options op);
/* The checks fpta_put makes, with the same statuses; writes nothing. */
FPTA_API int fpta_validate_put(fpta_txn* txn, fpta_name* table_id, fptu_ro row_value,
                               fpta_put_options op);
/* Deletes the stored row whose columns all hold the values row_value holds
 * (the same fields, field order aside), in a write or schema transaction.
 * Returns FPTA_SUCCESS, FPTA_NOTFOUND (no such row or table), or a status
 * of fpta_put's for a row that cannot be in the table. */
FPTA_API int fpta_delete(fpta_txn* txn, fpta_name* table_id, fptu_ro row_value);
/* Finds the row whose column column_id holds *column_value; the column must
 * have a unique index (primary or secondary). A composite index's value is a
 * fpta_binary holding a tuple of its parts (see fpta/README.md). *row points
 * into the database map, is read-only and stays valid until the transaction
 * ends or writes again. Returns FPTA_SUCCESS, FPTA_EINVAL (a bad argument, a
 * column without a unique index), FPTA_ETXNFAILED, FPTA_NOTFOUND (no such row,
 * table or column), FPTA_ETYPE, ERANGE or FPTU_ETOOLONG (a value that does
 * not fit the column's type), FPTA_ECOLUMN or FPTA_ENOKEY (a composite value with a
 * field of another column or type, or without a part) or an LMDB code; *row
 * is empty unless it succeeds. */
FPTA_API int fpta_get(fpta_txn* txn, fpta_name* column_id, const fpta_value* column_value,
                      fptu_ro* row);
/* The value of a column in a row, pointing into the row for strings and
 * binaries. column_id must have been refreshed in a transaction (see
 * fpta_name_refresh). Returns FPTA_SUCCESS, FPTA_NODATA (the row has no such
 * field; *value is fpta_null) or FPTA_EINVAL (an unrefreshed or composite
 * name, a row whose header or whose field of the column is malformed; the
 * other fields are not checked). */
FPTA_API int fpta_get_column(fptu_ro row_value, const fpta_name* column_id, fpta_value* value);
/* As fpta_get_column, and a string (with its terminating NUL) or binary
 * value is copied into buffer, to which *value then points. Returns also
 * ENOBUFS when buffer_length is too small (*value is then fpta_null). */
FPTA_API int fpta_get_column2buffer(fptu_ro row, const fpta_name* column_id, fpta_value* value,
                                    void* buffer, size_t buffer_length);
/* Sets the column's field in the tuple being built from a value of any kind
 * that converts exactly to the column's type (a non-negative signed value
 * into an unsigned column, for instance); fpta_null removes the field.
 * column_id must have been refreshed in a transaction. Returns FPTA_SUCCESS,
 * FPTA_EINVAL (a bad tuple, value or name, a composite column), FPTA_ETYPE
 * (a kind the column cannot take), ERANGE (a value outside the column's
 * range, a fixed-size binary of another width), FPTU_ETOOLONG (a string or
 * binary longer than fpta_max_col_bytes) or FPTU_ENOSPACE; on failure the
 * tuple is unchanged. */
FPTA_API int fpta_upsert_column(fptu_rw* pt, const fpta_name* column_id, fpta_value value);
/* Decodes the field whose header unit field points to. Fixed-size kinds come
 * by value; strings, opaque values, nested tuples and the 96..256-bit kinds
 * point into the tuple. A null pointer or a removed field gives fpta_null. */
FPTA_API fpta_value fpta_field2value(const void* field);

/* ------------------------------------------------------------------------ */
/* Cursors.                                                                 */

/* Opens a cursor over the rows of column_id's table in the order of that
 * column's index (primary, secondary or composite), from range_from
 * (inclusive) to range_to (exclusive); fpta_value_begin() and
 * fpta_value_end() leave an end open, and an unordered index takes only open
 * ends. op: fpta_ascending, fpta_descending or fpta_unsorted (any order),
 * plus fpta_dont_fetch. The cursor stands on its first row, or at its end
 * when there is none; with fpta_dont_fetch it stands nowhere until moved.
 * filter, when not null, is checked now and applied to every row visited;
 * the tree need not outlive this call, but its predicates and their
 * arguments must outlive the cursor. *cursor is set to null first, and on
 * success to a handle the caller closes with fpta_cursor_close, also after
 * the transaction has ended. Returns FPTA_SUCCESS, FPTA_EINVAL (a bad
 * argument, a column without an index, a bound on an unordered index, a
 * malformed, cyclic or over 1024 levels deep filter, a filter column of
 * another table), FPTA_ETXNFAILED, FPTA_NOTFOUND (no such table or column),
 * FPTA_ETYPE, ERANGE or FPTU_ETOOLONG (a bound or comparison value that does
 * not fit its column's type), FPTA_ECOLUMN or FPTA_ENOKEY (a composite bound as for
 * fpta_get) or an LMDB code. */
FPTA_API int fpta_cursor_open(fpta_txn* txn, fpta_name* column_id, fpta_value range_from,
                              fpta_value range_to, const fpta_filter* filter,
                              fpta_cursor_options op, fpta_cursor** cursor);
/* Closes the cursor and frees the handle, whether or not its transaction has
 * ended. Returns FPTA_SUCCESS or FPTA_EINVAL (a null or closed handle). */
FPTA_API int fpta_cursor_close(fpta_cursor* cursor);
/* Moves the cursor to a row in its range that passes its filter. fpta_first,
 * fpta_last, fpta_next and fpta_prev follow the cursor's own order (on a
 * descending cursor fpta_first is the highest key); from nowhere, fpta_next
 * goes to the first row and fpta_prev to the last. The dup_ moves stay among
 * the rows of the current key; fpta_key_next and fpta_key_prev go to the
 * next or previous distinct key. Returns FPTA_SUCCESS, FPTA_NODATA (past
 * either end: the cursor is then at that end; a dup_ move past the key's
 * last or first row, which leaves the cursor on the row it stood on; a dup_
 * move while on no row or in a gap), FPTA_EINVAL (a bad or orphaned cursor,
 * an unknown op), FPTA_ETXNFAILED or an LMDB code.
 * When a call other than fpta_cursor_delete on this cursor removes the row
 * the cursor stands on (fpta_delete, fpta_put changing its key in the
 * cursor's index, another cursor), on any index kind the cursor stands in the
 * gap the row left: fpta_cursor_get, _update and _delete return FPTA_NODATA,
 * fpta_cursor_eof 1; fpta_next and fpta_prev reach the row after and before
 * the removed one in the cursor's order, fpta_key_next and fpta_key_prev the
 * next or previous key's first row. */
FPTA_API int fpta_cursor_move(fpta_cursor* cursor, fpta_seek_operations op);
/* 0 while the cursor stands on a row, 1 when it does not; FPTA_EINVAL or
 * FPTA_ETXNFAILED for a bad or orphaned cursor. */
FPTA_API int fpta_cursor_eof(fpta_cursor* cursor);
/* The row the cursor stands on, as fpta_get gives rows (read-only, valid
 * until the transaction ends or writes again). Returns FPTA_SUCCESS,
 * FPTA_NODATA (not on a row), FPTA_EINVAL, FPTA_ETXNFAILED or an LMDB code;
 * *row is empty unless it succeeds. */
FPTA_API int fpta_cursor_get(fpta_cursor* cursor, fptu_ro* row);
/* Replaces the row the cursor stands on, in a write or schema transaction;
 * the new row must hold the same value in the cursor's index column, and the
 * cursor stays on it. Returns FPTA_SUCCESS, FPTA_NODATA (not on a row),
 * FPTA_EKEYMISMATCH (another key), EPERM (a read transaction), or a status
 * of fpta_put's. */
FPTA_API int fpta_cursor_update(fpta_cursor* cursor, fptu_ro new_row_value);
/* Deletes the row the cursor stands on, in a write or schema transaction;
 * the cursor then stands on the next row in its order, or at its end.
 * Returns FPTA_SUCCESS (also when no row follows: fpta_cursor_eof then says
 * so), FPTA_NODATA (the cursor stood on no row; nothing was deleted), EPERM,
 * FPTA_EINVAL,
 * FPTA_ETXNFAILED or an LMDB code. */
FPTA_API int fpta_cursor_delete(fpta_cursor* cursor);
/* Counts the rows in the cursor's range that pass its filter, stopping at
 * limit (0 counts none; SIZE_MAX for no limit); the cursor stays
 * where it stood. Without a filter no row is read: index entries are
 * counted, a key's duplicates at once. Returns
 * FPTA_SUCCESS, FPTA_EINVAL, FPTA_ETXNFAILED or an LMDB code; *count is 0
 * unless it succeeds. */
FPTA_API int fpta_cursor_count(fpta_cursor* cursor, size_t* count, size_t limit);

/* ------------------------------------------------------------------------ */
/* What a database holds, and checks of its indexes. These functions came    */
/* after the interface _morvane binds and are not part of it.               */

/* One column of a table as fpta_table_columns gives it. name: as it was
 * created; "" for a table created before tables kept their column names
 * (its columns are still found by name: their hashes are kept). shove: its
 * id as in a column set (name hash from bit 10, index flags, type), from
 * which a caller may build a resolvable column name (fpta_name with that
 * shove's hash bits, version 0, table set, number 0). type: fptu_null for a
 * composite index, whose parts_count parts are the column numbers in parts.
 * number: its column number in rows. */
typedef struct fpta_column_info {
  const char* name;
  uint64_t shove;
  fptu_type type;
  fpta_index_type index;
  unsigned number;
  unsigned parts_count;
  const unsigned* parts;
} fpta_column_info;

/* The names of the tables the transaction sees, as they were created, in no
 * particular order: *names is set to an array of *count pointers to
 * NUL-terminated names, all in one block from malloc() that the caller
 * releases with free(*names) (null when there are none). Returns
 * FPTA_SUCCESS, FPTA_EINVAL (a null argument or transaction), FPTA_ETXNFAILED
 * or ENOMEM; *names is null and *count 0 unless it succeeds. */
FPTA_API int fpta_table_names(fpta_txn* txn, char*** names, size_t* count);
/* The columns of a table, composite indexes included, by column number:
 * *columns is set to an array of *count records, with the names and parts
 * they point to, in one block from malloc() that the caller releases with
 * free(*columns). Returns FPTA_SUCCESS, FPTA_EINVAL, FPTA_ETXNFAILED,
 * FPTA_NOTFOUND (no such table) or ENOMEM; *columns is null and *count 0
 * unless it succeeds. */
FPTA_API int fpta_table_columns(fpta_txn* txn, fpta_name* table_id, fpta_column_info** columns,
                                size_t* count);

/* Called by fpta_table_verify with the text of each fault it finds (valid
 * during the call only), and every 4096 rows with fault null; rows_checked
 * counts the rows read so far. A non-zero result stops the check, which then
 * returns it. */
typedef int (*fpta_verify_report)(void* context, const char* fault, uint64_t rows_checked);
/* Checks a table's indexes against its rows, in any transaction: every row
 * is a sound row of the table and sits under its own key in each index, and
 * every index entry is its row's key and leads to a stored row. Each fault
 * found goes to report (which may be null) and is counted in *faults (which
 * may be null). Returns FPTA_SUCCESS when the check ran to its end (faults
 * or none), FPTA_EINVAL, FPTA_ETXNFAILED, FPTA_NOTFOUND (no such table), an
 * LMDB code, or report's non-zero result. */
FPTA_API int fpta_table_verify(fpta_txn* txn, fpta_name* table_id, fpta_verify_report report,
                               void* context, uint64_t* faults);

/* ------------------------------------------------------------------------ */
/* Building tuples. Every function returns FPTA_SUCCESS or a status code:     */
/* FPTA_EINVAL (null tuple, column >= fpta_max_cols, null data), FPTU_ETOOLONG */
/* (value longer than fpta_max_col_bytes) or FPTU_ENOSPACE (no room left).     */
/* insert adds a field, even if the column already has one; upsert replaces   */
/* the first field of the same column and type, or adds one.                  */

FPTA_API int fptu_insert_uint16(fptu_rw* pt, unsigned column, unsigned value);
FPTA_API int fptu_insert_uint32(fptu_rw* pt, unsigned column, uint32_t value);
FPTA_API int fptu_insert_uint64(fptu_rw* pt, unsigned column, uint64_t value);
FPTA_API int fptu_insert_int32(fptu_rw* pt, unsigned column, int32_t value);
FPTA_API int fptu_insert_int64(fptu_rw* pt, unsigned column, int64_t value);
FPTA_API int fptu_insert_fp32(fptu_rw* pt, unsigned column, float value);
FPTA_API int fptu_insert_fp64(fptu_rw* pt, unsigned column, double value);
FPTA_API int fptu_insert_datetime(fptu_rw* pt, unsigned column, fptu_time value);
FPTA_API int fptu_insert_96(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_insert_128(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_insert_160(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_insert_256(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_insert_string(fptu_rw* pt, unsigned column, const char* text, size_t length);
FPTA_API int fptu_insert_opaque(fptu_rw* pt, unsigned column, const void* value, size_t bytes);
FPTA_API int fptu_insert_opaque_iov(fptu_rw* pt, unsigned column, const struct iovec value);
FPTA_API int fptu_insert_nested(fptu_rw* pt, unsigned column, fptu_ro ro);

/* Removes every field of the column. */
FPTA_API int fptu_upsert_null(fptu_rw* pt, unsigned column);
FPTA_API int fptu_upsert_uint16(fptu_rw* pt, unsigned column, uint_fast16_t value);
FPTA_API int fptu_upsert_uint32(fptu_rw* pt, unsigned column, uint_fast32_t value);
FPTA_API int fptu_upsert_uint64(fptu_rw* pt, unsigned column, uint_fast64_t value);
FPTA_API int fptu_upsert_int32(fptu_rw* pt, unsigned column, int_fast32_t value);
FPTA_API int fptu_upsert_int64(fptu_rw* pt, unsigned column, int_fast64_t value);
FPTA_API int fptu_upsert_fp32(fptu_rw* pt, unsigned column, float value);
FPTA_API int fptu_upsert_fp64(fptu_rw* pt, unsigned column, double value);
FPTA_API int fptu_upsert_datetime(fptu_rw* pt, unsigned column, fptu_time value);
FPTA_API int fptu_upsert_96(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_upsert_128(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_upsert_160(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_upsert_256(fptu_rw* pt, unsigned column, const void* data);
FPTA_API int fptu_upsert_string(fptu_rw* pt, unsigned column, const char* text, size_t length);
FPTA_API int fptu_upsert_opaque(fptu_rw* pt, unsigned column, const void* value, size_t bytes);
FPTA_API int fptu_upsert_opaque_iov(fptu_rw* pt, unsigned column, const struct iovec value);
FPTA_API int fptu_upsert_nested(fptu_rw* pt, unsigned column, fptu_ro ro);

/* ------------------------------------------------------------------------ */
/* Tuple memory and checks.                                                 */

/* Bytes fptu_alloc() needs for items field headers and data_bytes of field
 * data; SIZE_MAX when that does not fit a size_t. */
FPTA_API size_t fptu_space(size_t items, size_t data_bytes);
/* A new empty tuple from malloc (release it with free()), or null when the
 * memory is not there or the tuple would exceed fpta_max_row_bytes. */
FPTA_API fptu_rw* fptu_alloc(size_t items_limit, size_t data_bytes);
/* A writable copy of source in buffer, with room for more_items further
 * headers and whatever data room is left; null when source is not a sound
 * tuple or the buffer is null, misaligned or too small. */
FPTA_API fptu_rw* fptu_fetch(fptu_ro source, void* buffer, size_t buffer_bytes,
                             unsigned more_items);
/* The read-only form of pt, in place and without dropping removed fields;
 * {null, 0} for a null or broken pt. */
FPTA_API fptu_ro fptu_take_noshrink(fptu_rw* pt);
/* Null for a sound tuple, otherwise a static text naming the first fault. */
FPTA_API const char* fptu_check(const fptu_rw* pt);

/* ------------------------------------------------------------------------ */
/* Errors.                                                                  */

/* The text of any status code; static or thread-local, never to be freed. */
FPTA_API const char* fpta_strerror(int errnum);

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

static inline fpta_value fpta_value_begin(void) {
  return fpta_value_of_kind(fpta_begin, FPTA_VALUE_NO_LENGTH);
}

static inline fpta_value fpta_value_end(void) {
  return fpta_value_of_kind(fpta_end, FPTA_VALUE_NO_LENGTH);
}

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

static inline fpta_value fpta_value_string(const char* text, size_t length) {
  fpta_value result = fpta_value_of_kind(fpta_string, fpta_value_clamp_length(length));
  result.str = text;
  return result;
}

static inline fpta_value fpta_value_cstr(const char* value) {
  return fpta_value_string(value, value ? strlen(value) : 0);
}

static inline fpta_value fpta_value_binary(const void* data, size_t length) {
  fpta_value result = fpta_value_of_kind(fpta_binary, fpta_value_clamp_length(length));
  result.binary_data = (void*)data;
  return result;
}

/* Clears the count, the first id and the fill of the composite pool: an empty
 * set. The rest of the record is not read until it is described again. */
static inline void fpta_column_set_init(fpta_column_set* column_set) {
  if (column_set == NULL) return;
  column_set->count = 0;
  column_set->shoves[0] = 0;
  column_set->composites[0] = 0;
}

/* fpta_put with fpta_insert. */
static inline int fpta_insert_row(fpta_txn* txn, fpta_name* table_id, fptu_ro row) {
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
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_or) == 4 && sizeof(((fpta_filter*)0)->node_or) == 16);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_and) == 4 &&
                   sizeof(((fpta_filter*)0)->node_and) == 16);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fncol) == 4 &&
                   sizeof(((fpta_filter*)0)->node_fncol) == 24);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_fnrow) == 4 &&
                   sizeof(((fpta_filter*)0)->node_fnrow) == 24);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_cmp) == 4 &&
                   sizeof(((fpta_filter*)0)->node_cmp) == 24);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_or.a) == 4 && offsetof(fpta_filter, node_or.b) == 12);
FPTA_STATIC_ASSERT(offsetof(fpta_filter, node_and.a) == 4 &&
                   offsetof(fpta_filter, node_and.b) == 12);
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
FPTA_STATIC_ASSERT(sizeof(enum fpta_bits) == 4 && (enum fpta_bits) - 1 < 0);
FPTA_STATIC_ASSERT(sizeof(enum fpta_error) == 4 && (enum fpta_error) - 1 < 0);
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
