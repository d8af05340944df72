"""A short engine session through an installed _morvane: opens a database in
a temporary directory, creates a table, inserts a row and reads it back.

Prints the file the module was loaded from, then the file libfpta was loaded
from, so that the caller can check they are the installed ones.
"""
import sys
import tempfile

import _morvane
from _morvane import ffi, lib

from loaded_library import libfpta_file


def check(status, what):
    if status != lib.FPTA_SUCCESS:
        sys.exit(f"{what}: {ffi.string(lib.fpta_strerror(status)).decode()}")


def session(directory):
    db = ffi.new("fpta_db **")
    check(lib.fpta_db_open(f"{directory}/items.fpta".encode(), lib.fpta_sync,
                           lib.fpta_regime_default, 0o644, 1, True, db),
          "open")
    columns = ffi.new("fpta_column_set *")
    lib.fpta_column_set_init(columns)
    check(lib.fpta_column_describe(b"id", lib.fptu_uint64,
                                   lib.fpta_primary_unique_ordered_obverse,
                                   columns), "describe id")
    check(lib.fpta_column_describe(b"name", lib.fptu_cstr,
                                   lib.fpta_index_none, columns),
          "describe name")
    txn = ffi.new("fpta_txn **")
    check(lib.fpta_transaction_begin(db[0], lib.fpta_schema, txn), "begin")
    check(lib.fpta_table_create(txn[0], b"items", columns), "create")
    check(lib.fpta_transaction_end(txn[0], False), "commit schema")

    table, key = ffi.new("fpta_name *"), ffi.new("fpta_name *")
    check(lib.fpta_table_init(table, b"items"), "table name")
    check(lib.fpta_column_init(table, key, b"id"), "column name")
    row = ffi.gc(lib.fptu_alloc(2, 32), lib.free)
    check(lib.fptu_insert_uint64(row, 0, 42), "field id")
    check(lib.fptu_insert_string(row, 1, b"anchor", 6), "field name")
    check(lib.fpta_transaction_begin(db[0], lib.fpta_write, txn), "begin")
    check(lib.fpta_put(txn[0], table, lib.fptu_take_noshrink(row),
                       lib.fpta_insert), "insert")
    check(lib.fpta_transaction_end(txn[0], False), "commit row")

    found = ffi.new("fptu_ro *")
    check(lib.fpta_transaction_begin(db[0], lib.fpta_read, txn), "begin")
    check(lib.fpta_get(txn[0], key, ffi.new("fpta_value *",
                                            lib.fpta_value_uint(42)), found),
          "get")
    name = ffi.new("fpta_name *")
    check(lib.fpta_column_init(table, name, b"name"), "column name")
    check(lib.fpta_name_refresh_couple(txn[0], table, name), "refresh")
    value = ffi.new("fpta_value *")
    check(lib.fpta_get_column(found[0], name, value), "read name")
    text = ffi.unpack(ffi.cast("char *", value.str), value.binary_length)
    check(lib.fpta_transaction_end(txn[0], False), "end read")
    check(lib.fpta_db_close(db[0]), "close")
    if text != b"anchor":
        sys.exit(f"read back {text!r} instead of b'anchor'")


with tempfile.TemporaryDirectory() as directory:
    session(directory)
print(_morvane.__file__)
print(libfpta_file())
