/* Records, handles and enumerations of libfpta's interface.
 *
 * Layouts and enumerator values come from fpta.h when the module is compiled;
 * what is written here is the shape Python sees. Records whose members live in
 * anonymous inner structs or unions take their offsets from the compiler; the
 * others are checked member by member against the packed layout. */

typedef unsigned int mode_t;

/* Handles that libfpta hands out; Python only holds and passes pointers. */
typedef struct fpta_db fpta_db;
typedef struct fpta_txn fpta_txn;
typedef struct fpta_cursor fpta_cursor;

/* The members are declared so that fptu_insert_opaque_iov and
 * fptu_upsert_opaque_iov can be called: an opaque record cannot be passed
 * by value. The system's struct iovec is aligned to 8, which the packed
 * layout check would reject, so its layout is taken from the compiler. */
struct iovec {
    void *iov_base;
    size_t iov_len;
    ...;
};

/* Limits, and the fields of a 64-bit column identifier: type number in bits
 * 0-4, index kind in bits 5-9, name hash from bit 10. */
enum fpta_bits {
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
    fpta_max_dbi = 32764
};

/* Status codes returned as int by the functions. The two system error
 * numbers are the platform's EINVAL and EEXIST. */
enum fpta_error {
    FPTA_SUCCESS = 0,
    FPTA_NODATA = -1,
    FPTA_NOTFOUND = -30798,
    FPTA_EINVAL = 22,
    FPTA_EEXIST = 17
};

/* The _dont_fetch forms are the order values plus fpta_dont_fetch. */
typedef enum fpta_cursor_options {
    fpta_unsorted = 0,
    fpta_ascending = 1,
    fpta_descending = 2,
    fpta_dont_fetch = 4,
    fpta_unsorted_dont_fetch = 4,
    fpta_ascending_dont_fetch = 5,
    fpta_descending_dont_fetch = 6
} fpta_cursor_options;

typedef enum fpta_durability {
    fpta_readonly = 0,
    fpta_sync = 1,
    fpta_lazy = 2,
    fpta_weak = 3
} fpta_durability;

typedef enum fpta_level {
    fpta_read = 1,
    fpta_write = 2,
    fpta_schema = 3
} fpta_level;

typedef enum fpta_put_options {
    fpta_insert = 0,
    fpta_update = 1,
    fpta_upsert = 2
} fpta_put_options;

typedef enum fpta_regime_flags {
    fpta_regime_default = 0,
    fpta_frendly4writeback = 1,
    fpta_frendly4hdd = 2,
    fpta_frendly4compaction = 4,
    fpta_saferam = 8
} fpta_regime_flags;

typedef enum fpta_seek_operations {
    fpta_first = 0,
    fpta_last = 1,
    fpta_next = 2,
    fpta_prev = 3,
    fpta_dup_first = 4,
    fpta_dup_last = 5,
    fpta_dup_next = 6,
    fpta_dup_prev = 7,
    fpta_key_next = 8,
    fpta_key_prev = 9
} fpta_seek_operations;

typedef enum fpta_value_type {
    fpta_null = 0,
    fpta_signed_int = 1,
    fpta_unsigned_int = 2,
    fpta_datetime = 3,
    fpta_float_point = 4,
    fpta_string = 5,
    fpta_binary = 6,
    fpta_shoved = 7,
    fpta_begin = 8,
    fpta_end = 9
} fpta_value_type;

/* Node kinds of a row filter. The comparisons are bit sets:
 * le = lt|eq, ge = gt|eq, ne = lt|gt|1. */
typedef enum fpta_filter_bits {
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
    fpta_node_ne = 13
} fpta_filter_bits;

/* Five flag bits and their named combinations. */
typedef enum fpta_index_type {
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
    fpta_secondary_withdups_unordered_nullable_reverse = 768
} fpta_index_type;

/* Column and field type numbers, the filter masks (fptu_filter plus one bit
 * per base type number) and the alias names. */
typedef enum fptu_type {
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
    fptu_wstring = 14
} fptu_type;

/* The length word of a variable-length field. */
typedef union fptu_varlen {
    struct {
        uint16_t brutto;
        union {
            uint16_t opaque_bytes;
            uint16_t array_length;
            uint16_t tuple_items;
        };
    };
    uint32_t flat;
} fptu_varlen;

/* A field header: type and column in ct, distance to the payload in offset. */
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

/* 64-bit fixed-point time stamp: utc in the high half, fractional in the low. */
typedef union fptu_time {
    uint64_t fixedpoint;
    struct {
        uint32_t fractional;
        uint32_t utc;
    };
} fptu_time;

/* A read-only tuple: its units and their byte count. */
typedef union fptu_ro {
    struct {
        const fptu_unit *units;
        size_t total_bytes;
    };
} fptu_ro;

/* A tuple being built; units is its trailing array. Its compiled alignment
 * (4) is not the packed one, so the layout is taken from the compiler. */
typedef struct fptu_rw {
    unsigned head;
    unsigned tail;
    unsigned junk;
    unsigned pivot;
    unsigned end;
    fptu_unit units[1];
    ...;
} fptu_rw;

/* Identifiers of a table or column, and a table description being built:
 * Python allocates them and passes their address, but reads no member. */
typedef struct fpta_name { ...; } fpta_name;
typedef struct fpta_column_set { ...; } fpta_column_set;

/* One typed value: type names which payload member holds it. */
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

/* One node of a row filter tree; type says which node member is used. */
typedef struct fpta_filter {
    fpta_filter_bits type;
    union {
        struct fpta_filter *node_not;
        struct {
            struct fpta_filter *a, *b;
        } node_or, node_and;
        struct {
            fpta_name *column_id;
            _Bool (*predicate)(const fptu_field *column, void *arg);
            void *arg;
        } node_fncol;
        struct {
            _Bool (*predicate)(const fptu_ro *row, void *context, void *arg);
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

/* Its first 8 bytes are private to libfpta, so the layout is taken from the
 * compiler. */
typedef struct fpta_schema_info {
    unsigned tables_count;
    fpta_name tables_names[1024];
    ...;
} fpta_schema_info;
