"""What reached the library, family by family, as its recorder wrote it down.

Arguments written "$name" stand for pointer objects made by the fixture; in
the expected text they become the addresses the library must have received.
"""
import re

import pytest

from recorder import address

U32_MAX = 2**32 - 1
U64_MAX = 2**64 - 1
ROW = {"units": "$units", "total_bytes": 16}
ROW_TEXT = "{units=$units,total_bytes=16}"

CALLS = [
    # Database, transactions and status texts.
    ("fpta_db_open", ["$text", 3, 8, 0o640, U64_MAX, True, "$db_out"],
     f"$text, 3, 8, 416, {U64_MAX}, 1, $db_out"),
    ("fpta_db_close", [None], "null"),
    ("fpta_transaction_begin", [None, 3, "$txn_out"], "null, 3, $txn_out"),
    ("fpta_transaction_end", [None, False], "null, 0"),
    ("fpta_strerror", [-30798], "-30798"),
    # Schema and names.
    ("fpta_column_describe", ["$text", -1, 992, "$set"], "$text, -1, 992, $set"),
    ("fpta_describe_composite_index", ["$text", 480, "$set", "$names", U64_MAX],
     f"$text, 480, $set, $names, {U64_MAX}"),
    ("fpta_table_create", [None, "$text", "$set"], "null, $text, $set"),
    ("fpta_table_drop", [None, "$text"], "null, $text"),
    ("fpta_table_clear", [None, "$name", True], "null, $name, 1"),
    ("fpta_table_info", [None, "$name", "$size", "$stat"],
     "null, $name, $size, $stat"),
    ("fpta_table_sequence", [None, "$name", "$u64", U64_MAX],
     f"null, $name, $u64, {U64_MAX}"),
    ("fpta_table_init", ["$name", "$text"], "$name, $text"),
    ("fpta_column_init", ["$name", "$column", "$text"], "$name, $column, $text"),
    ("fpta_name_refresh", [None, "$name"], "null, $name"),
    ("fpta_name_refresh_couple", [None, "$name", "$column"],
     "null, $name, $column"),
    ("fpta_name_destroy", ["$column"], "$column"),
    # Rows.
    ("fpta_put", [None, "$name", ROW, 2], f"null, $name, {ROW_TEXT}, 2"),
    ("fpta_validate_put", [None, "$name", ROW, 1], f"null, $name, {ROW_TEXT}, 1"),
    ("fpta_delete", [None, "$name", ROW], f"null, $name, {ROW_TEXT}"),
    ("fpta_get", [None, "$column", "$value", "$row"],
     "null, $column, $value, $row"),
    ("fpta_get_column", [ROW, "$column", "$value"], f"{ROW_TEXT}, $column, $value"),
    ("fpta_get_column2buffer", [ROW, "$column", "$value", "$buffer", 64],
     f"{ROW_TEXT}, $column, $value, $buffer, 64"),
    ("fpta_upsert_column",
     ["$rw", "$column", {"type": 2, "binary_length": 7, "uint": 0x1122334455667788}],
     "$rw, $column, {type=2,length=7,payload=0x1122334455667788}"),
    ("fpta_field2value", ["$units"], "$units"),
    # Cursors.
    ("fpta_cursor_open",
     [None, "$column", {"type": 8, "binary_length": U32_MAX},
      {"type": 1, "binary_length": U32_MAX, "sint": -2}, "$filter", 6,
      "$cursor_out"],
     f"null, $column, {{type=8,length={U32_MAX},payload=0x0000000000000000}}, "
     f"{{type=1,length={U32_MAX},payload=0xfffffffffffffffe}}, $filter, 6, "
     "$cursor_out"),
    ("fpta_cursor_close", [None], "null"),
    ("fpta_cursor_move", [None, 9], "null, 9"),
    ("fpta_cursor_eof", [None], "null"),
    ("fpta_cursor_get", [None, "$row"], "null, $row"),
    ("fpta_cursor_update", [None, ROW], f"null, {ROW_TEXT}"),
    ("fpta_cursor_delete", [None], "null"),
    ("fpta_cursor_count", [None, "$size", 7], "null, $size, 7"),
    # Tuples.
    ("fptu_insert_uint16", ["$rw", 1, U32_MAX], f"$rw, 1, {U32_MAX}"),
    ("fptu_upsert_uint16", ["$rw", 1, U64_MAX], f"$rw, 1, {U64_MAX}"),
    ("fptu_insert_int32", ["$rw", 1, -2**31], f"$rw, 1, {-2**31}"),
    ("fptu_upsert_int32", ["$rw", 1, -2**63], f"$rw, 1, {-2**63}"),
    ("fptu_upsert_int64", ["$rw", 1, -2**63], f"$rw, 1, {-2**63}"),
    ("fptu_insert_datetime", ["$rw", 1, {"fixedpoint": U64_MAX}],
     f"$rw, 1, {U64_MAX}"),
    ("fptu_upsert_datetime", ["$rw", 1, {"utc": 1, "fractional": 2}],
     f"$rw, 1, {2**32 + 2}"),
    ("fptu_insert_96", ["$rw", 1, "$buffer"], "$rw, 1, $buffer"),
    ("fptu_upsert_256", ["$rw", 1, "$buffer"], "$rw, 1, $buffer"),
    ("fptu_insert_string", ["$rw", 1, "$text", 3], "$rw, 1, $text, 3"),
    ("fptu_upsert_opaque", ["$rw", 1, "$buffer", U64_MAX],
     f"$rw, 1, $buffer, {U64_MAX}"),
    ("fptu_insert_opaque_iov", ["$rw", 1, {"iov_base": "$buffer", "iov_len": 64}],
     "$rw, 1, {base=$buffer,len=64}"),
    ("fptu_upsert_opaque_iov", ["$rw", 1, {"iov_len": U64_MAX}],
     f"$rw, 1, {{base=null,len={U64_MAX}}}"),
    ("fptu_upsert_nested", ["$rw", 1, ROW], f"$rw, 1, {ROW_TEXT}"),
    ("fptu_upsert_null", ["$rw", U32_MAX], f"$rw, {U32_MAX}"),
    ("fptu_space", [U64_MAX, 0], f"{U64_MAX}, 0"),
    ("fptu_fetch", [ROW, "$buffer", 64, U32_MAX],
     f"{ROW_TEXT}, $buffer, 64, {U32_MAX}"),
    ("fptu_take_noshrink", ["$rw"], "$rw"),
    ("fptu_check", ["$rw"], "$rw"),
]


@pytest.fixture
def pointers(ffi):
    return {
        "text": ffi.new("char[]", b"abc"), "db_out": ffi.new("fpta_db **"),
        "txn_out": ffi.new("fpta_txn **"),
        "cursor_out": ffi.new("fpta_cursor **"),
        "name": ffi.new("fpta_name *"), "column": ffi.new("fpta_name *"),
        "set": ffi.new("fpta_column_set *"), "names": ffi.new("char *[2]"),
        "size": ffi.new("size_t *"), "u64": ffi.new("uint64_t *"),
        "stat": ffi.new("fpta_table_stat *"), "value": ffi.new("fpta_value *"),
        "row": ffi.new("fptu_ro *"), "units": ffi.new("fptu_unit[4]"),
        "buffer": ffi.new("char[64]"), "rw": ffi.new("fptu_rw *"),
        "filter": ffi.new("fpta_filter *"),
    }


def resolve(ffi, pointers, argument):
    if isinstance(argument, dict):
        return {key: resolve(ffi, pointers, item)
                for key, item in argument.items()}
    if argument is None:
        return ffi.NULL
    if isinstance(argument, str):
        return pointers[argument[1:]]
    return argument


def test_every_library_function_is_covered(lib):
    computed = {"fpta_insert_row", "fpta_column_set_init", "fptu_alloc", "free"}
    covered = {function for function, _, _ in CALLS}
    tuple_builders = {name for name in dir(lib)
                      if re.match(r"fptu_(insert|upsert)_", name)}
    # The remaining tuple builders share these conversions; test_tuples.py
    # reads every one of them back out of a tuple.
    listed = {name for name in dir(lib) if callable(getattr(lib, name))
              and not name.startswith("fpta_value_")}
    assert listed - covered - computed - tuple_builders == {
        "fpta_describe_composite_index_va"}


@pytest.mark.parametrize("function, arguments, recorded", CALLS)
def test_arrival(ffi, lib, recorder, pointers, function, arguments, recorded):
    getattr(lib, function)(*(resolve(ffi, pointers, argument)
                             for argument in arguments))
    expected = re.sub(r"\$(\w+)",
                      lambda match: address(ffi, pointers[match.group(1)]),
                      recorded)
    assert recorder.last_call() == f"{function}({expected})"
