"""A table of shop items through _morvane, from opening the database file to
reading the rows back after it was closed.

    PYTHONPATH=build/binding /usr/bin/python3 examples/rows.py

Every call returns a status code (0 is FPTA_SUCCESS); check() stops on any
other. Arguments the library reads or writes through a pointer (handles,
names, rows, values) are ffi.new objects, which live as long as the Python
variable holding them.
"""
import os
import tempfile

from _morvane import ffi, lib


def check(status, what):
    if status != lib.FPTA_SUCCESS:
        raise SystemExit(f"{what}: {ffi.string(lib.fpta_strerror(status)).decode()} ({status})")


def text(value):
    """A fpta_value of a string column as Python str."""
    return ffi.unpack(ffi.cast("char *", value.str), value.binary_length).decode()


ITEMS = [  # id, name, shelf, price
    (1, "anchor", 3, 12.50),
    (2, "bucket", 2, 4.20),
    (3, "compass", 3, 8.90),
    (4, "duffel", 1, 19.00),
    (5, "lantern", 3, 6.75),
    (6, "mallet", 2, 9.10),
]

directory = tempfile.mkdtemp(prefix="morvane-example-")
path = os.path.join(directory, "shop.fpta").encode()

# Open (create) the database file; beside it LMDB keeps "shop.fpta-lock".
# fpta_sync: a commit is on disk when fpta_transaction_end returns.
# 64: the file may grow to 64 MiB. True: schema transactions are allowed.
db = ffi.new("fpta_db **")
check(lib.fpta_db_open(path, lib.fpta_sync, lib.fpta_regime_default, 0o644, 64, True, db), "open")
print("opened", path.decode())

# The table: column numbers are the positions the columns are described at,
# so id is 0, name 1, shelf 2, price 3. shelf has a secondary ordered index
# that allows duplicates (several items per shelf).
columns = ffi.new("fpta_column_set *")
lib.fpta_column_set_init(columns)
check(lib.fpta_column_describe(b"id", lib.fptu_uint64, lib.fpta_primary_unique_ordered_obverse, columns), "id")
check(lib.fpta_column_describe(b"name", lib.fptu_cstr, lib.fpta_index_none, columns), "name")
check(lib.fpta_column_describe(b"shelf", lib.fptu_int32, lib.fpta_secondary_withdups_ordered_obverse, columns), "shelf")
check(lib.fpta_column_describe(b"price", lib.fptu_fp64, lib.fpta_index_none, columns), "price")

txn = ffi.new("fpta_txn **")
check(lib.fpta_transaction_begin(db[0], lib.fpta_schema, txn), "begin schema")
check(lib.fpta_table_create(txn[0], b"items", columns), "create")
check(lib.fpta_transaction_end(txn[0], False), "commit schema")
print("created table items (id, name, shelf, price), shelf indexed")

# Names of the table and its columns. Each function that takes a name with a
# transaction resolves it; fpta_upsert_column and fpta_get_column take no
# transaction, so the names are refreshed in one before they are used there.
table = ffi.new("fpta_name *")
check(lib.fpta_table_init(table, b"items"), "table name")
col = {}
for name in ("id", "name", "shelf", "price"):
    col[name] = ffi.new("fpta_name *")
    check(lib.fpta_column_init(table, col[name], name.encode()), name)


def refresh_names(txn):
    for name in col:
        check(lib.fpta_name_refresh_couple(txn, table, col[name]), "refresh " + name)


def describe(row):
    """An item row as a line of text (fpta_get_column reads one column)."""
    value = ffi.new("fpta_value *")
    parts = []
    for name in col:
        check(lib.fpta_get_column(row, col[name], value), "get " + name)
        if value.type == lib.fpta_string:
            parts.append(f"{name}={text(value)}")
        elif value.type == lib.fpta_float_point:
            parts.append(f"{name}={value.fp:.2f}")
        elif value.type == lib.fpta_signed_int:
            parts.append(f"{name}={value.sint}")
        else:
            parts.append(f"{name}={value.uint}")
    return " ".join(parts)


# Insert the rows in one write transaction. A row is a tuple: build it with
# fpta_upsert_column (which converts the value to the column's type and
# replaces the column's field, so one tuple serves every row) and hand its
# read-only view to fpta_insert_row, which copies the row.
check(lib.fpta_transaction_begin(db[0], lib.fpta_write, txn), "begin write")
refresh_names(txn[0])
tuple_ = ffi.gc(lib.fptu_alloc(4, 64), lib.free)
for item_id, name, shelf, price in ITEMS:
    raw = name.encode()
    check(lib.fpta_upsert_column(tuple_, col["id"], lib.fpta_value_uint(item_id)), "id")
    check(lib.fpta_upsert_column(tuple_, col["name"], lib.fpta_value_string(raw, len(raw))), "name")
    check(lib.fpta_upsert_column(tuple_, col["shelf"], lib.fpta_value_sint(shelf)), "shelf")
    check(lib.fpta_upsert_column(tuple_, col["price"], lib.fpta_value_float(price)), "price")
    check(lib.fpta_insert_row(txn[0], table, lib.fptu_take_noshrink(tuple_)), "insert")
# A taken primary key is refused, and the transaction goes on.
status = lib.fpta_insert_row(txn[0], table, lib.fptu_take_noshrink(tuple_))
print("inserting id 6 again:", ffi.string(lib.fpta_strerror(status)).decode())
check(lib.fpta_transaction_end(txn[0], False), "commit rows")
print(f"inserted {len(ITEMS)} rows")


# A row predicate written in Python: keeps items whose name has an "a".
# It is called for each row the cursor visits, with the row (fptu_ro *),
# and must stay alive while the cursor is open.
@ffi.callback("_Bool(*)(const fptu_ro *, void *, void *)")
def has_an_a(row, context, arg):
    value = ffi.new("fpta_value *")
    return lib.fpta_get_column(row[0], col["name"], value) == lib.FPTA_SUCCESS and "a" in text(value)


# Scan shelves 2 up to (not including) 4, ascending by shelf, keeping rows
# with price < 10.0 that also pass the Python predicate. The filter is an
# "and" of a comparison node and a row-predicate node.
check(lib.fpta_transaction_begin(db[0], lib.fpta_read, txn), "begin read")
refresh_names(txn[0])
cheap = ffi.new("fpta_filter *", {"type": lib.fpta_node_lt})
cheap.node_cmp.left_id = col["price"]
cheap.node_cmp.right_value = lib.fpta_value_float(10.0)
python_test = ffi.new("fpta_filter *", {"type": lib.fpta_node_fnrow})
python_test.node_fnrow.predicate = has_an_a
both = ffi.new("fpta_filter *", {"type": lib.fpta_node_and})
both.node_and.a = cheap
both.node_and.b = python_test

cursor = ffi.new("fpta_cursor **")
check(lib.fpta_cursor_open(txn[0], col["shelf"], lib.fpta_value_sint(2), lib.fpta_value_sint(4),
                           both, lib.fpta_ascending, cursor), "cursor open")
print("shelves 2..3, price < 10, name with an 'a':")
row = ffi.new("fptu_ro *")
# After opening, the cursor stands on the first row (or at the end).
while lib.fpta_cursor_eof(cursor[0]) == 0:
    check(lib.fpta_cursor_get(cursor[0], row), "cursor get")
    print("  ", describe(row[0]))
    status = lib.fpta_cursor_move(cursor[0], lib.fpta_next)
    if status != lib.FPTA_NODATA:  # NODATA: moved past the last row
        check(status, "cursor move")
check(lib.fpta_cursor_close(cursor[0]), "cursor close")
check(lib.fpta_transaction_end(txn[0], False), "end read")

# Update: find item 3 by its primary key, copy the row into a tuple of our
# own (the found row points into the database and is read-only), change the
# price and put it back. Then delete item 4.
check(lib.fpta_transaction_begin(db[0], lib.fpta_write, txn), "begin write")
refresh_names(txn[0])
key = ffi.new("fpta_value *", lib.fpta_value_uint(3))
check(lib.fpta_get(txn[0], col["id"], key, row), "get id 3")
buffer = ffi.new("uint32_t[]", lib.fptu_space(8, 256) // 4)
copy = lib.fptu_fetch(row[0], buffer, ffi.sizeof(buffer), 4)
assert copy != ffi.NULL
check(lib.fpta_upsert_column(copy, col["price"], lib.fpta_value_float(7.95)), "price")
check(lib.fpta_put(txn[0], table, lib.fptu_take_noshrink(copy), lib.fpta_update), "update")
print("updated id 3: price 7.95")

key[0] = lib.fpta_value_uint(4)
check(lib.fpta_get(txn[0], col["id"], key, row), "get id 4")
check(lib.fpta_delete(txn[0], table, row[0]), "delete")
print("deleted id 4")
check(lib.fpta_transaction_end(txn[0], False), "commit changes")

check(lib.fpta_db_close(db[0]), "close")
print("closed")

# Reopen read-only and read everything back in primary key order.
check(lib.fpta_db_open(path, lib.fpta_readonly, lib.fpta_regime_default, 0, 0, False, db), "reopen")
check(lib.fpta_transaction_begin(db[0], lib.fpta_read, txn), "begin read")
refresh_names(txn[0])
count = ffi.new("size_t *")
check(lib.fpta_table_info(txn[0], table, count, ffi.NULL), "info")
print(f"reopened read-only: {count[0]} rows")
check(lib.fpta_cursor_open(txn[0], col["id"], lib.fpta_value_begin(), lib.fpta_value_end(),
                           ffi.NULL, lib.fpta_ascending, cursor), "cursor open")
while lib.fpta_cursor_eof(cursor[0]) == 0:
    check(lib.fpta_cursor_get(cursor[0], row), "cursor get")
    print("  ", describe(row[0]))
    lib.fpta_cursor_move(cursor[0], lib.fpta_next)
check(lib.fpta_cursor_close(cursor[0]), "cursor close")
check(lib.fpta_transaction_end(txn[0], False), "end read")
check(lib.fpta_db_close(db[0]), "close")

for name in os.listdir(directory):
    os.remove(os.path.join(directory, name))
os.rmdir(directory)
