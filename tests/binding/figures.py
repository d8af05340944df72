"""What the module publishes: names, kinds, enumerators and record layouts.

Written out by hand from libfpta's interface, not derived from the module, so
that the tests compare the module against an independent statement. The two
system error numbers are the platform's own.
"""
import errno

# Wrapper kind by C parameter count: T two or more (tuple), O one, N none.
FUNCTION_KINDS = {
    "fpta_db_open": "T", "fpta_db_close": "O",
    "fpta_transaction_begin": "T", "fpta_transaction_end": "T",
    "fpta_column_describe": "T", "fpta_describe_composite_index": "T",
    "fpta_column_set_init": "O", "fpta_table_create": "T",
    "fpta_table_drop": "T", "fpta_table_clear": "T", "fpta_table_info": "T",
    "fpta_table_sequence": "T",
    "fpta_table_init": "T", "fpta_column_init": "T", "fpta_name_refresh": "T",
    "fpta_name_refresh_couple": "T", "fpta_name_destroy": "O",
    "fpta_put": "T", "fpta_insert_row": "T", "fpta_validate_put": "T",
    "fpta_delete": "T", "fpta_get": "T", "fpta_get_column": "T",
    "fpta_get_column2buffer": "T", "fpta_upsert_column": "T",
    "fpta_field2value": "O",
    "fpta_cursor_open": "T", "fpta_cursor_close": "O", "fpta_cursor_move": "T",
    "fpta_cursor_eof": "O", "fpta_cursor_get": "T", "fpta_cursor_update": "T",
    "fpta_cursor_delete": "O", "fpta_cursor_count": "T",
    "fpta_value_null": "N", "fpta_value_begin": "N", "fpta_value_end": "N",
    "fpta_value_sint": "O", "fpta_value_uint": "O", "fpta_value_datetime": "O",
    "fpta_value_float": "O", "fpta_value_cstr": "O", "fpta_value_string": "T",
    "fpta_value_binary": "T",
    "fptu_space": "T", "fptu_alloc": "T", "fptu_fetch": "T",
    "fptu_take_noshrink": "O", "fptu_check": "O", "free": "O",
    "fpta_strerror": "O",
}
TUPLE_KINDS = ("uint16", "uint32", "uint64", "int32", "int64", "fp32", "fp64",
               "datetime", "96", "128", "160", "256", "string", "opaque",
               "opaque_iov", "nested")
FUNCTION_KINDS.update({f"fptu_{verb}_{kind}": "T" for verb in ("insert", "upsert")
                       for kind in TUPLE_KINDS})
FUNCTION_KINDS["fptu_upsert_null"] = "T"

CONSTANT = "fpta_describe_composite_index_va"

# Enumerations in declaration order; None where only the tag names the type.
ENUMERATIONS = {
    ("fpta_bits", None): [
        ("fpta_tables_max", 1024), ("fpta_max_cols", 1022),
        ("fpta_max_row_bytes", 262140), ("fpta_max_col_bytes", 65531),
        ("fpta_max_array_len", 2047), ("fpta_max_keylen", 56),
        ("fpta_keybuf_len", 80), ("fpta_name_len_min", 1),
        ("fpta_name_len_max", 512), ("fpta_id_bits", 64),
        ("fpta_column_typeid_bits", 5), ("fpta_column_typeid_shift", 0),
        ("fpta_column_typeid_mask", 31), ("fpta_column_index_bits", 5),
        ("fpta_column_index_shift", 5), ("fpta_column_index_mask", 992),
        ("fpta_name_hash_bits", 54), ("fpta_name_hash_shift", 10),
        ("fpta_max_indexes", 1024), ("fpta_max_dbi", 32764)],
    ("fpta_error", None): [
        ("FPTA_SUCCESS", 0), ("FPTA_NODATA", -1), ("FPTA_NOTFOUND", -30798),
        ("FPTA_EINVAL", errno.EINVAL), ("FPTA_EEXIST", errno.EEXIST)],
    ("fpta_cursor_options", "fpta_cursor_options"): [
        ("fpta_unsorted", 0), ("fpta_ascending", 1), ("fpta_descending", 2),
        ("fpta_dont_fetch", 4), ("fpta_unsorted_dont_fetch", 4),
        ("fpta_ascending_dont_fetch", 5), ("fpta_descending_dont_fetch", 6)],
    ("fpta_durability", "fpta_durability"): [
        ("fpta_readonly", 0), ("fpta_sync", 1), ("fpta_lazy", 2),
        ("fpta_weak", 3)],
    ("fpta_level", "fpta_level"): [
        ("fpta_read", 1), ("fpta_write", 2), ("fpta_schema", 3)],
    ("fpta_put_options", "fpta_put_options"): [
        ("fpta_insert", 0), ("fpta_update", 1), ("fpta_upsert", 2)],
    ("fpta_regime_flags", "fpta_regime_flags"): [
        ("fpta_regime_default", 0), ("fpta_frendly4writeback", 1),
        ("fpta_frendly4hdd", 2), ("fpta_frendly4compaction", 4),
        ("fpta_saferam", 8)],
    ("fpta_seek_operations", "fpta_seek_operations"): [
        ("fpta_first", 0), ("fpta_last", 1), ("fpta_next", 2), ("fpta_prev", 3),
        ("fpta_dup_first", 4), ("fpta_dup_last", 5), ("fpta_dup_next", 6),
        ("fpta_dup_prev", 7), ("fpta_key_next", 8), ("fpta_key_prev", 9)],
    ("fpta_value_type", "fpta_value_type"): [
        ("fpta_null", 0), ("fpta_signed_int", 1), ("fpta_unsigned_int", 2),
        ("fpta_datetime", 3), ("fpta_float_point", 4), ("fpta_string", 5),
        ("fpta_binary", 6), ("fpta_shoved", 7), ("fpta_begin", 8),
        ("fpta_end", 9)],
    ("fpta_filter_bits", "fpta_filter_bits"): [
        ("fpta_node_not", -4), ("fpta_node_or", -3), ("fpta_node_and", -2),
        ("fpta_node_fncol", -1), ("fpta_node_fnrow", 0), ("fpta_node_lt", 4),
        ("fpta_node_gt", 8), ("fpta_node_le", 6), ("fpta_node_ge", 10),
        ("fpta_node_eq", 2), ("fpta_node_ne", 13)],
    ("fpta_index_type", "fpta_index_type"): [
        ("fpta_index_funique", 32), ("fpta_index_fordered", 64),
        ("fpta_index_fobverse", 128), ("fpta_index_fsecondary", 256),
        ("fpta_index_fnullable", 512), ("fpta_index_none", 0),
        ("fpta_noindex_nullable", 512),
        ("fpta_primary_withdups_ordered_obverse", 192),
        ("fpta_primary_withdups_ordered_obverse_nullable", 704),
        ("fpta_primary_withdups_ordered_reverse", 64),
        ("fpta_primary_withdups_ordered_reverse_nullable", 576),
        ("fpta_primary_unique_ordered_obverse", 224),
        ("fpta_primary_unique_ordered_obverse_nullable", 736),
        ("fpta_primary_unique_ordered_reverse", 96),
        ("fpta_primary_unique_ordered_reverse_nullable", 608),
        ("fpta_primary_unique_unordered", 160),
        ("fpta_primary_unique_unordered_nullable_obverse", 672),
        ("fpta_primary_unique_unordered_nullable_reverse", 544),
        ("fpta_primary_withdups_unordered", 128),
        ("fpta_primary_withdups_unordered_nullable_obverse", 640),
        ("fpta_secondary_withdups_ordered_obverse", 448),
        ("fpta_secondary_withdups_ordered_obverse_nullable", 960),
        ("fpta_secondary_withdups_ordered_reverse", 320),
        ("fpta_secondary_withdups_ordered_reverse_nullable", 832),
        ("fpta_secondary_unique_ordered_obverse", 480),
        ("fpta_secondary_unique_ordered_obverse_nullable", 992),
        ("fpta_secondary_unique_ordered_reverse", 352),
        ("fpta_secondary_unique_ordered_reverse_nullable", 864),
        ("fpta_secondary_unique_unordered", 416),
        ("fpta_secondary_unique_unordered_nullable_obverse", 928),
        ("fpta_secondary_unique_unordered_nullable_reverse", 800),
        ("fpta_secondary_withdups_unordered", 384),
        ("fpta_secondary_withdups_unordered_nullable_obverse", 896),
        ("fpta_secondary_withdups_unordered_nullable_reverse", 768)],
    ("fptu_type", "fptu_type"): [
        ("fptu_null", 0), ("fptu_uint16", 1), ("fptu_int32", 2),
        ("fptu_uint32", 3), ("fptu_fp32", 4), ("fptu_int64", 5),
        ("fptu_uint64", 6), ("fptu_fp64", 7), ("fptu_datetime", 8),
        ("fptu_96", 9), ("fptu_128", 10), ("fptu_160", 11), ("fptu_256", 12),
        ("fptu_cstr", 13), ("fptu_opaque", 14), ("fptu_nested", 15),
        ("fptu_farray", 16), ("fptu_typeid_max", 31), ("fptu_filter", 65536),
        ("fptu_any", -1), ("fptu_any_int", 65572), ("fptu_any_uint", 65610),
        ("fptu_any_fp", 65680), ("fptu_16", 1), ("fptu_32", 3), ("fptu_64", 6),
        ("fptu_bool", 1), ("fptu_enum", 1), ("fptu_char", 1), ("fptu_wchar", 1),
        ("fptu_ipv4", 3), ("fptu_uuid", 10), ("fptu_ipv6", 10),
        ("fptu_md5", 10), ("fptu_sha1", 11), ("fptu_sha256", 12),
        ("fptu_wstring", 14)],
}
ENUMERATORS = {name: value for members in ENUMERATIONS.values()
               for name, value in members}

TYPE_NAMES = {
    "fpta_column_set": "struct", "fpta_cursor": "struct", "fpta_db": "struct",
    "fpta_filter": "struct", "fpta_name": "struct", "fpta_schema_info": "struct",
    "fpta_table_stat": "struct", "fpta_txn": "struct", "fpta_value": "struct",
    "fptu_field": "union", "fptu_ro": "union", "fptu_rw": "struct",
    "fptu_time": "union", "fptu_unit": "union", "fptu_varlen": "union",
    "fpta_cursor_options": "enum", "fpta_durability": "enum",
    "fpta_filter_bits": "enum", "fpta_index_type": "enum", "fpta_level": "enum",
    "fpta_put_options": "enum", "fpta_regime_flags": "enum",
    "fpta_seek_operations": "enum", "fpta_value_type": "enum",
    "fptu_type": "enum", "mode_t": "primitive",
}

HANDLES = ("fpta_db", "fpta_txn", "fpta_cursor")

# The four node records of fpta_filter are unnamed; FILTER_NODES gives them.
NODE = "unnamed node record"

# Record: (size, alignment, members as (name, C type, offset, size) in order).
LAYOUTS = {
    "fpta_name": (28, 1, None),
    "fpta_column_set": (10224, 1, None),
    "fpta_value": (16, 1, [
        ("type", "fpta_value_type", 0, 4),
        ("binary_length", "unsigned int", 4, 4),
        ("binary_data", "void *", 8, 8), ("sint", "int64_t", 8, 8),
        ("uint", "uint64_t", 8, 8), ("fp", "double", 8, 8),
        ("datetime", "fptu_time", 8, 8), ("str", "char *", 8, 8)]),
    "fpta_filter": (28, 1, [
        ("type", "fpta_filter_bits", 0, 4),
        ("node_not", "fpta_filter *", 4, 8),
        ("node_or", NODE, 4, 16), ("node_and", NODE, 4, 16),
        ("node_fncol", NODE, 4, 24), ("node_fnrow", NODE, 4, 24),
        ("node_cmp", NODE, 4, 24)]),
    "fpta_table_stat": (48, 1, [
        ("row_count", "uint64_t", 0, 8), ("total_bytes", "uint64_t", 8, 8),
        ("btree_depth", "size_t", 16, 8), ("branch_pages", "size_t", 24, 8),
        ("leaf_pages", "size_t", 32, 8), ("large_pages", "size_t", 40, 8)]),
    "fpta_schema_info": (28684, 1, [
        ("tables_count", "unsigned int", 8, 4),
        ("tables_names", "fpta_name[1024]", 12, 28672)]),
    "fptu_rw": (24, 4, [
        ("head", "unsigned int", 0, 4), ("tail", "unsigned int", 4, 4),
        ("junk", "unsigned int", 8, 4), ("pivot", "unsigned int", 12, 4),
        ("end", "unsigned int", 16, 4), ("units", "fptu_unit[1]", 20, 4)]),
    "fptu_ro": (16, 8, [
        ("units", "fptu_unit *", 0, 8), ("total_bytes", "size_t", 8, 8)]),
    "fptu_time": (8, 1, [
        ("fixedpoint", "uint64_t", 0, 8), ("fractional", "uint32_t", 0, 4),
        ("utc", "uint32_t", 4, 4)]),
    "fptu_unit": (4, 1, [
        ("field", "fptu_field", 0, 4), ("varlen", "fptu_varlen", 0, 4),
        ("data", "uint32_t", 0, 4)]),
    "fptu_field": (4, 1, [
        ("ct", "uint16_t", 0, 2), ("offset", "uint16_t", 2, 2),
        ("header", "uint32_t", 0, 4), ("body", "uint32_t[1]", 0, 4)]),
    "fptu_varlen": (4, 1, [
        ("brutto", "uint16_t", 0, 2), ("opaque_bytes", "uint16_t", 2, 2),
        ("array_length", "uint16_t", 2, 2), ("tuple_items", "uint16_t", 2, 2),
        ("flat", "uint32_t", 0, 4)]),
    # Declared with its members so that it can be passed by value.
    "struct iovec": (16, 8, [
        ("iov_base", "void *", 0, 8), ("iov_len", "size_t", 8, 8)]),
}

# The node records of fpta_filter: member -> [(name, C type, offset)].
FILTER_NODES = {
    "node_or": [("a", "fpta_filter *", 0), ("b", "fpta_filter *", 8)],
    "node_and": [("a", "fpta_filter *", 0), ("b", "fpta_filter *", 8)],
    "node_fncol": [("column_id", "fpta_name *", 0),
                   ("predicate", "_Bool(*)(fptu_field *, void *)", 8),
                   ("arg", "void *", 16)],
    "node_fnrow": [("predicate", "_Bool(*)(fptu_ro *, void *, void *)", 0),
                   ("context", "void *", 8), ("arg", "void *", 16)],
    "node_cmp": [("left_id", "fpta_name *", 0),
                 ("right_value", "fpta_value", 8)],
}

# Record flags: union 0x01, fully declared 0x02, packed 0x04, opaque 0x10.
RECORD_FLAGS = {
    "fpta_cursor": 0x10, "fpta_db": 0x10, "fpta_txn": 0x10,
    "fpta_column_set": 0x04, "fpta_filter": 0x04, "fpta_name": 0x04,
    "fpta_value": 0x04, "fpta_table_stat": 0x06,
    "fptu_field": 0x05, "fptu_ro": 0x05, "fptu_time": 0x05,
    "fptu_varlen": 0x05, "fptu_unit": 0x07,
    # Declared with "...;" so that the compiled layout is published: fully
    # declared, the backend's packed check rejects their alignment (fptu_rw)
    # and first offset (fpta_schema_info).
    "fptu_rw": 0x04, "fpta_schema_info": 0x04,
    # Its members are declared so that it can be passed by value, with
    # "...;" because the system's struct iovec is aligned to 8.
    "iovec": 0x04,
}
NODE_RECORD_FLAGS = 0x06
