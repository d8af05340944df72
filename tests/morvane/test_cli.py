"""python3 -m morvane FILE COMMAND, run as a user runs it: a process of its
own, its standard output compared byte for byte, its one error line and its
status; `check` against index faults planted in the file's LMDB stores
(the engine itself never writes one)."""
import datetime
import os
import pty
import struct
import subprocess
import sys
from pathlib import Path

import lmdb
import pytest

import morvane
from conftest import ORDERS
from morvane import Column

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "engine"))
import engine  # noqa: E402  (the raw module's helpers, shared with the engine's tests)

UTC = datetime.timezone.utc

EVERY_TYPE = [
    Column("id", "uint64", index="primary"),
    Column("u16", "uint16"),
    Column("i32", "int32"),
    Column("u32", "uint32"),
    Column("i64", "int64"),
    Column("f32", "float32"),
    Column("f64", "float64"),
    Column("at", "datetime", index="secondary", unique=False),
    Column("text", "str", index="secondary", unique=False, nullable=True),
    Column("blob", "bytes", nullable=True),
    Column("b96", "b96"),
    Column("b128", "b128"),
    Column("b160", "b160"),
    Column("b256", "b256"),
]
EVERY_ROWS = [
    (0, 0, -2**31, 0, -2**63, -3.4028234663852886e38, 5e-324, datetime.datetime(1970, 1, 1, tzinfo=UTC),
     "", b"", bytes(12), bytes(16), bytes(20), bytes(32)),
    (2**64 - 1, 2**16 - 1, 2**31 - 1, 2**32 - 1, 2**63 - 1, 1.401298464324817e-45, float("inf"),
     datetime.datetime(2106, 2, 7, 6, 28, 15, 999999, tzinfo=UTC), 'a\x00b "q" \\ naïve ☃ 𝄞\n\t',
     bytes(range(256)), b"\xff" * 12, b"\xfe" * 16, b"\xfd" * 20, b"\xfc" * 32),
    (7, 1, -1, 1, -1, 0.5, -1.5e300,
     datetime.datetime(2024, 3, 5, 8, 7, 8, 123, tzinfo=datetime.timezone(datetime.timedelta(hours=2))),
     None, None, b"0123456789ab", b"0123456789abcdef", b"0123456789abcdefghij", b"x" * 32),
]
# The first row as dump writes it: the documented text forms, byte for byte.
FIRST_ROW_LINE = (
    '{"id":0,"u16":0,"i32":-2147483648,"u32":0,"i64":-9223372036854775808,"f32":-3.4028234663852886e+38,'
    '"f64":5e-324,"at":"1970-01-01T00:00:00.000000Z","text":"","blob":"","b96":"000000000000000000000000",'
    '"b128":"00000000000000000000000000000000","b160":"0000000000000000000000000000000000000000",'
    '"b256":"0000000000000000000000000000000000000000000000000000000000000000"}\n').encode()

ORDERS_SCHEMA = b"""orders
  id        uint64    primary unique
  customer  str       secondary with duplicates
  created   datetime  secondary with duplicates
  amount    float64
  note      str       nullable
"""
ORDERS_LINES = (b'{"id":1,"customer":"ann","created":"2024-03-01T09:00:00.000000Z","amount":12.5,"note":null}\n'
                b'{"id":2,"customer":"bob","created":"2024-03-01T10:30:00.250000Z","amount":7.0,"note":"gift"}\n')
GOOD_LINE = b'{"id":3,"customer":"cem","created":"2024-03-02T00:00:00Z","amount":1}\n'


def run(*arguments, stdin=b""):
    """(status, standard output, standard error) of the command line."""
    done = subprocess.run([sys.executable, "-m", "morvane", *map(str, arguments)], input=stdin,
                          capture_output=True, timeout=60)
    return done.returncode, done.stdout, done.stderr.decode()


def make_database(path, tables):
    """A database file holding the tables {name: (columns, rows)}."""
    with morvane.open(path) as db:
        with db.schema() as txn:
            for name, (columns, _) in tables.items():
                txn.create_table(name, columns)
        with db.write() as txn:
            for name, (_, rows) in tables.items():
                txn.table(name).insert_many(rows)
    return path


def read_rows(path, name):
    with morvane.open(path, readonly=True) as db, db.read() as txn:
        return [dict(row) for row in txn.table(name).scan()]


@pytest.fixture
def shop_file(tmp_path):
    """A file with the orders table (two rows, as ORDERS_LINES) and the
    every-type table (empty)."""
    return make_database(tmp_path / "shop.fpta", {
        "orders": (ORDERS, [(1, "ann", datetime.datetime(2024, 3, 1, 9, tzinfo=UTC), 12.5, None),
                            (2, "bob", datetime.datetime(2024, 3, 1, 10, 30, 0, 250000, tzinfo=UTC), 7.0, "gift")]),
        "every": (EVERY_TYPE, []),
    })


def test_dump_then_load_gives_every_type_back_exactly(tmp_path):
    source = make_database(tmp_path / "source.fpta", {"every": (EVERY_TYPE, EVERY_ROWS)})
    copy = make_database(tmp_path / "copy.fpta", {"every": (EVERY_TYPE, [])})
    status, dumped, errors = run(source, "dump", "every")
    assert (status, errors) == (0, "")
    assert dumped.splitlines(keepends=True)[0] == FIRST_ROW_LINE
    assert run(copy, "load", "every", stdin=dumped) == (0, b"", "")
    assert run(copy, "dump", "every") == (0, dumped, "")
    expected = [dict(zip((column.name for column in EVERY_TYPE), row)) for row in sorted(EVERY_ROWS)]
    assert read_rows(copy, "every") == read_rows(source, "every") == expected


def test_listing_and_healthy_check(shop_file):
    assert run(shop_file, "tables") == (0, b"every\norders\n", "")
    assert run(shop_file, "schema", "ORDERS") == (0, ORDERS_SCHEMA, "")
    status, schema, _ = run(shop_file, "schema")
    assert status == 0 and schema.endswith(b"\n\n" + ORDERS_SCHEMA) and schema.startswith(b"every\n  id ")
    assert run(shop_file, "dump", "orders") == (0, ORDERS_LINES, "")
    assert run(shop_file, "check") == (0, b"", "")
    status, stats, errors = run(shop_file, "stats")
    lines = [line.split() for line in stats.decode().splitlines()]
    assert (status, errors) == (0, "")
    assert [line[:2] for line in lines] == [["table", "rows"], ["every", "0"], ["orders", "2"]]


@pytest.mark.parametrize("arguments, stdin, error", [
    (("{db}",), b"", "the following arguments are required: COMMAND"),
    (("{db}", "frob"), b"",
     "argument COMMAND: invalid choice: 'frob' (choose from 'tables', 'schema', 'dump', 'load', 'check', 'stats')"),
    (("{db}", "dump"), b"", "the following arguments are required: TABLE"),
    (("{db}", "dump", "nope"), b"", "no table named nope"),
    (("{db}", "schema", "nope"), b"", "no table named nope"),
    (("{db}", "load", "nope"), GOOD_LINE, "no table named nope"),
    (("{db}", "load", "orders"), GOOD_LINE + b'{"id":\n', "line 2, column 7: Expecting value"),
    (("{db}", "load", "orders"), GOOD_LINE + b"\n[1, 2]\n", "line 3: an array of 2 values for 5 columns"),
    (("{db}", "load", "orders"), b'"row"\n', "line 1: a row is a JSON object or array, not a string"),
    (("{db}", "load", "orders"), b'{"id":4,"customer":"x","created":"2024-03-01T09:00:00","amount":1}\n',
     "line 1: column created: datetime '2024-03-01T09:00:00' has no time zone"),
    (("{db}", "load", "orders"), b'{"id":4,"customer":"x","created":1,"amount":1}\n',
     "line 1: column created: a datetime is an ISO 8601 string, not a number"),
    (("{db}", "load", "every"), b'{"id":4,"blob":"0g"}\n', "line 1: column blob: '0g' is not a string of hexadecimal digit pairs"),
    (("{db}", "load", "every"), b'{"id":4,"b96":true}\n',
     "line 1: column b96: a binary value is a string of hexadecimal digits, not a boolean"),
])
def test_errors_are_one_line_and_status_1_and_change_nothing(shop_file, arguments, stdin, error):
    assert run(*(argument.format(db=shop_file) for argument in arguments), stdin=stdin) == (1, b"", f"Error: {error}\n")
    assert run(shop_file, "dump", "orders") == (0, ORDERS_LINES, "")


def test_load_takes_arrays_in_column_order_and_skips_empty_lines(shop_file):
    lines = b'\n[3, "cem", "2024-03-02T01:00:00+01:00", 1, "x"]\n  \n'
    assert run(shop_file, "load", "orders", stdin=lines) == (0, b"", "")
    added = b'{"id":3,"customer":"cem","created":"2024-03-02T00:00:00.000000Z","amount":1.0,"note":"x"}\n'
    assert run(shop_file, "dump", "orders") == (0, ORDERS_LINES + added, "")


@pytest.mark.parametrize("line, text", [
    (b'{"id":1,"customer":"x","created":"2024-03-01T09:00:00Z","amount":1}', "File exists"),
    (b'{"id":4,"customer":"x","created":"2024-03-01T09:00:00Z"}', None),
    (b'{"id":4,"customer":"x","created":"2024-03-01T09:00:00Z","amount":1,"colour":"red"}', None),
    (b'{"id":-4,"customer":"x","created":"2024-03-01T09:00:00Z","amount":1}', None),
])
def test_a_row_the_package_refuses_names_its_line_and_stores_nothing(shop_file, line, text):
    status, out, errors = run(shop_file, "load", "orders", stdin=GOOD_LINE + line + b"\n")
    assert (status, out) == (1, b"") and errors.startswith("Error: line 2: ") and errors.count("\n") == 1
    assert text is None or text in errors
    assert run(shop_file, "dump", "orders") == (0, ORDERS_LINES, "")


@pytest.mark.parametrize("command", ["tables", "schema", "dump", "check", "stats", "load"])
def test_no_command_creates_a_missing_file(tmp_path, command):
    missing = tmp_path / "missing.fpta"
    arguments = [command, "orders"] if command in ("dump", "load") else [command]
    assert run(missing, *arguments) == (1, b"", f"Error: {missing}: no such database file\n")
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("kind", ["directory", "text file"])
def test_a_path_that_is_no_database_is_an_error_and_leaves_nothing(tmp_path, kind):
    path = tmp_path / "x"
    path.mkdir() if kind == "directory" else path.write_text("hello\n")
    status, out, errors = run(path, "tables")
    assert (status, out) == (1, b"") and errors.startswith(f"Error: {path}: ") and errors.count("\n") == 1
    assert [entry.name for entry in tmp_path.iterdir()] == ["x"]


def test_a_failed_write_of_standard_output_is_an_error(shop_file):
    with open("/dev/full", "wb") as full:
        done = subprocess.run([sys.executable, "-m", "morvane", str(shop_file), "dump", "orders"], stdout=full,
                              stderr=subprocess.PIPE, timeout=60)
    assert (done.returncode, done.stderr) == (1, b"Error: cannot write standard output: No space left on device\n")


def run_on_terminal(*arguments, stdin=b""):
    """(status, standard output, what was written to the terminal) of the
    command line with its standard error on a pseudo-terminal."""
    master, slave = pty.openpty()
    try:
        with subprocess.Popen([sys.executable, "-m", "morvane", *map(str, arguments)], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=slave) as process:
            os.close(slave)
            slave = None
            out, _ = process.communicate(stdin, timeout=60)
        shown = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # EIO: the child's end is closed and everything read
                break
            if not chunk:
                break
            shown += chunk
        return process.returncode, out, shown
    finally:
        os.close(master)
        if slave is not None:
            os.close(slave)


@pytest.mark.parametrize("terminal", [False, True])
def test_a_long_load_and_check_show_progress_only_on_a_terminal(shop_file, terminal):
    lines = b"".join(b'{"id":%d,"customer":"c%d","created":"2024-03-02T00:00:00+01:00","amount":%d}\n' % (i, i % 7, i)
                     for i in range(10, 5010))
    if terminal:
        status, out, shown = run_on_terminal(shop_file, "load", "orders", stdin=lines)
        assert (status, out) == (0, b"") and b"\rloading orders: 5,000 rows" in shown
        assert shown.endswith(b"\r\x1b[K")
        status, out, shown = run_on_terminal(shop_file, "check")
        assert (status, out) == (0, b"") and b"\rchecking orders: 4,096 rows" in shown
    else:
        assert run(shop_file, "load", "orders", stdin=lines) == (0, b"", "")
    rows = read_rows(shop_file, "orders")
    assert len(rows) == 5002 and rows[-1]["created"] == datetime.datetime(2024, 3, 1, 23, tzinfo=UTC)


# check against planted faults. The file is written through the raw module;
# the faults go straight into its index stores through python3-lmdb. The
# unique primary key's index entries refer to rows by the 8-byte big-endian
# key; a string key is 0x01 and its bytes.
def pk(number):
    return struct.pack(">Q", number)


PLANTED = {
    "an entry removed": ("customer", lambda index: index.delete(b"\x01ann", pk(1)),
                         ["table orders: row 0000000000000001: missing from index customer"]),
    "an entry for no row": ("customer", lambda index: index.put(b"\x01ann", pk(9)),
                            ["table orders: index customer, entry 01616e6e: leads to no row"]),
    "an entry under another key": ("customer", lambda index: index.put(b"\x01zed", pk(1)),
                                   ["table orders: index customer, entry 017a6564: not the key of the row it leads to"]),
    "a unique entry turned to another row": (
        "code", lambda index: index.put(b"\x01A1", pk(2)),
        ["table orders: row 0000000000000001: missing from index code",
         "table orders: index code, entry 014131: not the key of the row it leads to"]),
}
RAW_ROWS = [(1, b"A1", b"ann"), (2, b"B2", b"bob"), (3, b"C3", b"ann")]


class IndexStore:
    """One LMDB store of the file, in a write transaction."""

    def __init__(self, txn, store):
        self.txn, self.store = txn, store

    def put(self, key, value):
        assert self.txn.put(key, value, db=self.store)

    def delete(self, key, value):
        assert self.txn.delete(key, value, db=self.store)


def index_store_keys(txn, env):
    """{frozenset of keys: store} of the file's index stores."""
    names = [name for name, _ in txn.cursor() if name.startswith(b"fpta.index.")]
    stores = [env.open_db(name, txn=txn, create=False) for name in names]
    return {frozenset(key for key, _ in txn.cursor(db=store)): store for store in stores}


@pytest.mark.parametrize("fault", PLANTED)
def test_check_finds_faults_planted_in_the_indexes(tmp_path, fault):
    path = tmp_path / "raw.fpta"
    database = engine.Database(path)
    table = database.create("orders", [
        ("id", engine.lib.fptu_uint64, engine.PK),
        ("code", engine.lib.fptu_cstr, engine.lib.fpta_secondary_unique_ordered_obverse),
        ("customer", engine.lib.fptu_cstr, engine.lib.fpta_secondary_withdups_ordered_obverse),
    ], [{0: key, 1: code, 2: customer} for key, code, customer in RAW_ROWS])
    assert table is not None and database.close() == engine.OK
    assert run(path, "check") == (0, b"", "")

    column, plant, faults = PLANTED[fault]
    env = lmdb.open(str(path), subdir=False, max_dbs=32)
    try:
        with env.begin(write=True) as txn:
            stores = index_store_keys(txn, env)
            keys = {"code": {b"\x01" + code for _, code, _ in RAW_ROWS},
                    "customer": {b"\x01" + customer for _, _, customer in RAW_ROWS}}[column]
            plant(IndexStore(txn, stores[frozenset(keys)]))
    finally:
        env.close()
    assert run(path, "check") == (1, "".join(line + "\n" for line in faults).encode(), "")
