"""Helpers that keep the engine's tests short.

Rows are dicts {column number: value}, values as Python sees them: ints for
the integer kinds and datetimes (the fixed-point word), floats, bytes for
strings, opaque values, the 96..256-bit kinds and nested tuples (the tuple's
read-only image). Pointer arguments are always ffi.new objects.
"""
import contextlib
import os
import struct

from _morvane import ffi, lib

OK = lib.FPTA_SUCCESS
NODATA = lib.FPTA_NODATA
NOTFOUND = lib.FPTA_NOTFOUND
EINVAL = lib.FPTA_EINVAL
EEXIST = lib.FPTA_EEXIST
ETYPE, ECOLUMN, ENOKEY, ETXNFAILED, EKEYMISMATCH = 5004, 5005, 5006, 5007, 5008
MDB_MAP_FULL = -30792
REMOVED_COLUMN = 0x7FF

PK = lib.fpta_primary_unique_ordered_obverse
NOINDEX = lib.fpta_index_none

SUFFIX = {getattr(lib, "fptu_" + kind): kind for kind in (
    "uint16 int32 uint32 fp32 int64 uint64 fp64 datetime 96 128 160 256 "
    "opaque nested").split()}
SUFFIX[lib.fptu_cstr] = "string"

# Bytes handed to fpta_value constructors, which keep the pointer: kept for
# the life of the process, one buffer per distinct value.
_buffers = {}


def _kept(data):
    if data not in _buffers:
        _buffers[data] = ffi.new("char[]", data)
    return _buffers[data]


uint, sint, fp = lib.fpta_value_uint, lib.fpta_value_sint, lib.fpta_value_float


def stamp(x):
    return lib.fpta_value_datetime({"fixedpoint": x})


def text(data):
    return lib.fpta_value_string(_kept(data), len(data))


def blob(data):
    return lib.fpta_value_binary(_kept(data), len(data))


# The kind of value that naturally matches a column type (blob otherwise).
VALUE_OF = {lib.fptu_uint16: uint, lib.fptu_uint32: uint,
            lib.fptu_uint64: uint, lib.fptu_int32: sint, lib.fptu_int64: sint,
            lib.fptu_fp32: fp, lib.fptu_fp64: fp, lib.fptu_datetime: stamp,
            lib.fptu_cstr: text}


def single(x):
    """x rounded to single precision, as an fp32 field holds it."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


COMPARISON = {name: getattr(lib, "fpta_node_" + name)
              for name in ("lt", "gt", "le", "ge", "eq", "ne")}


def holds(tree, row):
    """What a filter tree (see Filters.tree) says of a row, worked out in
    Python: a row without the column fails every comparison."""
    op, *args = tree
    if op == "not":
        return not holds(args[0], row)
    if op in ("and", "or"):
        return (all if op == "and" else any)(holds(a, row) for a in args)
    column, y = args
    x = row.get(column)
    return x is not None and {"lt": x < y, "gt": x > y, "le": x <= y,
                              "ge": x >= y, "eq": x == y, "ne": x != y}[op]


def pointed(data, length):
    return ffi.unpack(ffi.cast("char *", data), length)


def python(value):
    """An fpta_value as a Python value (bytes copied out)."""
    if value.type in (lib.fpta_string, lib.fpta_binary):
        return pointed(value.binary_data, value.binary_length)
    if value.type == lib.fpta_datetime:
        return value.datetime.fixedpoint
    member = {lib.fpta_signed_int: "sint", lib.fpta_unsigned_int: "uint",
              lib.fpta_float_point: "fp"}.get(value.type)
    assert member or value.type == lib.fpta_null, value.type
    return getattr(value, member) if member else None


def name_fields(name):
    """(shove, version, number) of an fpta_name, which the module keeps
    opaque: read at the offsets fpta.h fixes."""
    shove, version, _, number = struct.unpack("<QQQI", ffi.buffer(name)[:])
    return shove, version, number


def fields(ro):
    """The live fields of a row (fptu_ro) via fpta_field2value."""
    found = {}
    items = ro.units[0].varlen.tuple_items if ro.total_bytes else 0
    for header in range(1, items + 1):
        column = ro.units[header].field.ct >> 5
        if column != REMOVED_COLUMN:
            assert column not in found, f"two fields of column {column}"
            found[column] = python(lib.fpta_field2value(ro.units + header))
    return found


def add_field(rw, column, ftype, value, verb="upsert"):
    build = getattr(lib, f"fptu_{verb}_{SUFFIX[ftype]}")
    if ftype == lib.fptu_datetime:
        return build(rw, column, {"fixedpoint": value})
    if ftype in (lib.fptu_cstr, lib.fptu_opaque):
        return build(rw, column, value, len(value))
    if ftype == lib.fptu_nested:
        source = ffi.from_buffer(value)
        return build(rw, column, {"units": ffi.cast("fptu_unit *", source),
                                  "total_bytes": len(value)})
    return build(rw, column, value)


def data_bytes(ftype, value):
    """Bytes the data of a field takes in a tuple."""
    if ftype == lib.fptu_uint16:
        return 0
    if ftype in (lib.fptu_int32, lib.fptu_uint32, lib.fptu_fp32):
        return 4
    if not isinstance(value, bytes):
        return 8
    if ftype in (lib.fptu_cstr, lib.fptu_opaque):
        return 4 + (len(value) + (ftype == lib.fptu_cstr) + 3) // 4 * 4
    return len(value)


class Row:
    """A tuple built field by field from (column, type, value) triples, with
    room for a few more fields within the largest size a row may have.

    .ro is a view into the tuple (fptu_take_noshrink): valid while this
    object lives and the tuple is not changed.
    """

    def __init__(self, triples=()):
        triples = list(triples)
        used = len(triples) + sum(data_bytes(t, v) for _, t, v in triples) // 4
        spare = max(0, min(64, lib.fpta_max_row_bytes // 4 - 1 - used)) // 2
        self.rw = ffi.gc(lib.fptu_alloc(len(triples) + spare,
                                        4 * (used - len(triples) + spare)),
                         lib.free)
        assert self.rw != ffi.NULL
        for column, ftype, value in triples:
            self.add(column, ftype, value)

    def add(self, column, ftype, value, verb="upsert"):
        assert add_field(self.rw, column, ftype, value, verb) == OK

    @property
    def ro(self):
        return lib.fptu_take_noshrink(self.rw)

    @property
    def image(self):
        """The bytes of the read-only form, copied out."""
        ro = self.ro
        return pointed(ro.units, ro.total_bytes)


class Table:
    """A table's description and its names.

    columns: (name, fptu type, index type) in column-set order; a composite
    index gives a tuple of the part numbers in place of the type. col[n] is
    the fpta_name of column number n.
    """

    def __init__(self, name, columns):
        self.name = name.encode()
        self.columns = columns
        self.id = ffi.new("fpta_name *")
        assert lib.fpta_table_init(self.id, self.name) == OK
        self.col = []
        for column_name, _, _ in columns:
            self.col.append(ffi.new("fpta_name *"))
            assert lib.fpta_column_init(self.id, self.col[-1],
                                        column_name.encode()) == OK

    def column_set(self):
        described = ffi.new("fpta_column_set *")
        lib.fpta_column_set_init(described)
        for name, ftype, index in self.columns:
            if isinstance(ftype, tuple):
                parts = [_kept(self.columns[p][0].encode()) for p in ftype]
                status = lib.fpta_describe_composite_index(
                    name.encode(), index, described,
                    ffi.new("const char *[]", parts), len(parts))
            else:
                status = lib.fpta_column_describe(name.encode(), ftype, index,
                                                  described)
            assert status == OK
        return described

    def type(self, column):
        return self.columns[column][1]

    def row(self, values):
        return Row((n, self.type(n), v) for n, v in values.items())

    def value(self, column, x):
        """x as a value of the column; a composite takes {part: value}."""
        if isinstance(self.type(column), tuple):
            return blob(self.row(x).image)
        return VALUE_OF.get(self.type(column), blob)(x)

    def bound(self, column, x, default):
        if x is None:
            return default
        return x if isinstance(x, ffi.CData) else self.value(column, x)


def child_environment():
    """The environment of a child Python process that imports this module."""
    return dict(os.environ, PYTHONPATH=os.pathsep.join(
        [os.path.dirname(__file__), os.environ.get("PYTHONPATH", "")]))


def open_db(path, durability=lib.fpta_weak, regime=0, mode=0o644,
            megabytes=0, alterable=True):
    """(status, handle) of fpta_db_open."""
    out = ffi.new("fpta_db **")
    status = lib.fpta_db_open(str(path).encode(), durability, regime, mode,
                              megabytes, alterable, out)
    return status, out[0]


class Database:
    def __init__(self, path, **options):
        self.path, self.options = path, options
        status, self.handle = open_db(path, **options)
        assert status == OK

    def begin(self, level=lib.fpta_write):
        out = ffi.new("fpta_txn **")
        assert lib.fpta_transaction_begin(self.handle, level, out) == OK
        return Txn(out[0])

    @contextlib.contextmanager
    def txn(self, level=lib.fpta_write):
        """Commits when the block ends, aborts when it raises."""
        txn = self.begin(level)
        try:
            yield txn
        except BaseException:
            txn.end(abort=True)
            raise
        assert txn.end() == OK

    def read(self):
        return self.txn(lib.fpta_read)

    def write(self):
        return self.txn(lib.fpta_write)

    def schema(self):
        return self.txn(lib.fpta_schema)

    def create(self, name, columns, rows=()):
        table = Table(name, columns)
        with self.schema() as txn:
            assert lib.fpta_table_create(txn.handle, table.name,
                                         table.column_set()) == OK
        with self.write() as txn:
            txn.insert(table, *rows)
        return table

    def close(self):
        status = lib.fpta_db_close(self.handle)
        if status == OK:
            self.handle = None
        return status

    def reopen(self):
        assert self.close() == OK
        self.__init__(self.path, **self.options)


class Txn:
    def __init__(self, handle):
        self.handle = handle

    def end(self, abort=False):
        return lib.fpta_transaction_end(self.handle, abort)

    def refresh(self, table):
        """Resolves the table's names, as the calls without a transaction
        (fpta_get_column, fpta_upsert_column...) need."""
        for column in table.col:
            assert lib.fpta_name_refresh_couple(self.handle, table.id,
                                                column) == OK

    def put(self, table, row, op=lib.fpta_insert):
        """row: a dict or a Row; a dict's Row lives until the call returns,
        as the view .ro needs."""
        row = table.row(row) if isinstance(row, dict) else row
        return lib.fpta_put(self.handle, table.id, row.ro, op)

    def delete(self, table, row):
        row = table.row(row) if isinstance(row, dict) else row
        return lib.fpta_delete(self.handle, table.id, row.ro)

    def insert(self, table, *rows):
        for row in rows:
            assert self.put(table, row) == OK, row

    def find(self, table, column, x):
        """(status, fptu_ro pointer) of fpta_get by a column's value: the
        row itself, in the database's memory."""
        key = ffi.new("fpta_value *", table.value(column, x))
        out = ffi.new("fptu_ro *")
        return lib.fpta_get(self.handle, table.col[column], key, out), out

    def get(self, table, column, x):
        """(status, row dict or None) of fpta_get by a column's value."""
        status, out = self.find(table, column, x)
        return status, fields(out[0]) if status == OK else None

    def info(self, table):
        count, stat = ffi.new("size_t *"), ffi.new("fpta_table_stat *")
        status = lib.fpta_table_info(self.handle, table.id, count, stat)
        return status, count[0], stat

    def count(self, table):
        status, count, stat = self.info(table)
        assert (status, stat.row_count) == (OK, count)
        return count

    def sequence(self, table, increment):
        old = ffi.new("uint64_t *")
        status = lib.fpta_table_sequence(self.handle, table.id, old, increment)
        return status, old[0]

    def open_cursor(self, table, column=0, low=None, high=None,
                    where=ffi.NULL, options=lib.fpta_ascending):
        """(status, Cursor or None); low and high are Python values of the
        column, fpta_values, or None for an open end."""
        out = ffi.new("fpta_cursor **")
        status = lib.fpta_cursor_open(
            self.handle, table.col[column],
            table.bound(column, low, lib.fpta_value_begin()),
            table.bound(column, high, lib.fpta_value_end()), where, options,
            out)
        return status, Cursor(out[0]) if status == OK else None

    def cursor(self, *args, **kwargs):
        status, cursor = self.open_cursor(*args, **kwargs)
        assert status == OK
        return cursor

    def rows(self, *args, **kwargs):
        """Every row a new cursor visits, in its order."""
        with self.cursor(*args, **kwargs) as cursor:
            return cursor.rest()


class Cursor:
    def __init__(self, handle):
        self.handle = handle

    def __enter__(self):
        return self

    def __exit__(self, *_):
        assert self.close() == OK

    def close(self):
        return lib.fpta_cursor_close(self.handle)

    def move(self, op):
        return lib.fpta_cursor_move(self.handle, op)

    def eof(self):
        return lib.fpta_cursor_eof(self.handle)

    def get(self):
        out = ffi.new("fptu_ro *")
        status = lib.fpta_cursor_get(self.handle, out)
        return status, fields(out[0]) if status == OK else None

    def row(self):
        status, row = self.get()
        assert status == OK
        return row

    def count(self, limit):
        """(status, count) of fpta_cursor_count."""
        count = ffi.new("size_t *")
        status = lib.fpta_cursor_count(self.handle, count, limit)
        return status, count[0]

    def update(self, table, row):
        row = table.row(row)
        return lib.fpta_cursor_update(self.handle, row.ro)

    def rest(self, step=lib.fpta_next):
        """The row the cursor stands on and every one after it."""
        found = []
        while not self.eof():
            found.append(self.row())
            assert self.move(step) in (OK, NODATA)
            assert len(found) <= 1_000_000
        return found


class Filters:
    """Makes filter nodes; keeps them and their callbacks alive."""

    def __init__(self):
        self.kept = []

    def node(self, kind, member=None, **fields):
        made = ffi.new("fpta_filter *")
        made.type = kind
        for name, value in fields.items():
            setattr(getattr(made, member), name, value)
        self.kept.append(made)
        return made

    def tree(self, table, tree):
        """The nodes of a tree written as tuples: ("not", a), ("and", a, b),
        ("or", a, b) or (comparison, column number, Python value)."""
        op, *args = tree
        if op == "not":
            return self.not_(self.tree(table, args[0]))
        if op in ("and", "or"):
            return getattr(self, op + "_")(*(self.tree(table, a)
                                             for a in args))
        column, x = args
        return self.cmp(COMPARISON[op], table.col[column],
                        table.value(column, x))

    def cmp(self, kind, column, value):
        return self.node(kind, "node_cmp", left_id=column, right_value=value)

    def not_(self, a):
        made = self.node(lib.fpta_node_not)
        made.node_not = a
        return made

    def and_(self, a, b):
        return self.node(lib.fpta_node_and, "node_and", a=a, b=b)

    def or_(self, a, b):
        return self.node(lib.fpta_node_or, "node_or", a=a, b=b)

    def fncol(self, column, predicate, arg=ffi.NULL):
        """predicate(fptu_field pointer or null, arg) -> bool, in Python."""
        self.kept.append(ffi.callback("_Bool(*)(const fptu_field *, void *)",
                                      predicate))
        return self.node(lib.fpta_node_fncol, "node_fncol", column_id=column,
                         predicate=self.kept[-1], arg=arg)

    def fnrow(self, predicate, context=ffi.NULL, arg=ffi.NULL):
        """predicate(fptu_ro pointer, context, arg) -> bool, in Python."""
        self.kept.append(ffi.callback(
            "_Bool(*)(const fptu_ro *, void *, void *)", predicate))
        return self.node(lib.fpta_node_fnrow, "node_fnrow",
                         predicate=self.kept[-1], context=context, arg=arg)
