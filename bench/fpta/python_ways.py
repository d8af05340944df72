"""One measurement from Python for bench/fpta/run: the engine through _morvane,
or Python's own sqlite3, on ROWS rows of the benchmark table in a fresh
directory.

Usage: python_ways.py module|sqlite ROWS DIR [MODULE_DIR]
MODULE_DIR (for module) is where the built _morvane lies. Prints one JSON
object of seconds per step (insert, lookup, scan, filtered_scan); exits with
a message naming the failed call otherwise.

The rows are those of engine_bench.cc, and are made before any clock starts.
Each timed loop binds what it calls to locals and creates its ffi objects
before it starts, so that a row costs the calls and little else.
"""
import json
import sqlite3
import sys
import time

KEY_MULTIPLIER = 0x9E3779B97F4A7C15
KEY_MASK = (1 << 63) - 1
NAME_BYTES = 15
LOOKUP_STRIDE = 7919
FILTER_THRESHOLD = 0.5


class Rows:
    """The table's rows in insertion order, the keys in lookup order, and the
    count and key sum each scan must give."""

    def __init__(self, count):
        self.keys = [(i + 1) * KEY_MULTIPLIER & KEY_MASK for i in range(count)]
        self.names = [b"name-%010d" % (i % 10_000_000_000) for i in range(count)]
        self.floats = [(key % 1000) / 1000.0 for key in self.keys]
        self.groups = [i % 1000 - 500 for i in range(count)]
        # Made afresh in lookup order rather than taken from keys: objects
        # scattered in memory would charge each lookup a cache miss of Python's.
        self.lookup_keys = [(step * LOOKUP_STRIDE % count + 1) * KEY_MULTIPLIER & KEY_MASK for step in range(count)]
        passing = [key for key, fp in zip(self.keys, self.floats) if fp > FILTER_THRESHOLD]
        self.scanned = {False: sorted(self.keys), True: sorted(passing)}

    def check_scan(self, filtered, keys, last_key):
        """Fails unless keys are the keys a scan must find, in order, and the
        timed walk's last key is the last of them."""
        expected = self.scanned[filtered]
        if keys != expected or last_key != (expected[-1] if expected else None):
            fail("filtered scan" if filtered else "scan",
                 f"{len(keys)} keys, the last {last_key}; inserted: {len(expected)} keys in order")


def fail(call, text):
    sys.exit(f"python_ways: {call}: {text}")


def measure(way):
    """Seconds per step of a freshly made way, closed afterwards."""
    figures = {"insert": way.insert(), "lookup": way.lookup(), "scan": way.scan(False),
               "filtered_scan": way.scan(True)}
    way.close()
    return figures


class ModuleWay:
    """The engine through _morvane, the database opened with fpta_sync."""

    def __init__(self, rows, directory, module_dir):
        sys.path.insert(0, module_dir)
        from _morvane import ffi, lib
        self.ffi, self.lib, self.rows = ffi, lib, rows
        db = ffi.new("fpta_db **")
        self.check(lib.fpta_db_open(f"{directory}/bench.fpta".encode(), lib.fpta_sync, lib.fpta_regime_default,
                                    0o644, 0, True, db), "fpta_db_open")
        self.db = db[0]
        self.table = ffi.new("fpta_name *")
        self.check(lib.fpta_table_init(self.table, b"bench"), "fpta_table_init")
        self.columns = [ffi.new("fpta_name *") for _ in range(4)]
        for column, name in zip(self.columns, (b"key", b"name", b"fp", b"grp")):
            self.check(lib.fpta_column_init(self.table, column, name), "fpta_column_init")
        self.create_table()

    def check(self, status, call):
        if status != self.lib.FPTA_SUCCESS:
            fail(call, self.ffi.string(self.lib.fpta_strerror(status)).decode())

    def begin(self, level):
        """A transaction, with the names resolved against its schema."""
        txn = self.ffi.new("fpta_txn **")
        self.check(self.lib.fpta_transaction_begin(self.db, level, txn), "fpta_transaction_begin")
        if level == self.lib.fpta_schema:
            return txn[0]
        for column in self.columns:
            self.check(self.lib.fpta_name_refresh_couple(txn[0], self.table, column), "fpta_name_refresh_couple")
        return txn[0]

    def end(self, txn, abort):
        self.check(self.lib.fpta_transaction_end(txn, abort), "fpta_transaction_end")

    def create_table(self):
        ffi, lib = self.ffi, self.lib
        columns = ffi.new("fpta_column_set *")
        lib.fpta_column_set_init(columns)
        for name, kind, index in ((b"key", lib.fptu_uint64, lib.fpta_primary_unique_ordered_obverse),
                                  (b"name", lib.fptu_cstr, lib.fpta_index_none),
                                  (b"fp", lib.fptu_fp64, lib.fpta_index_none),
                                  (b"grp", lib.fptu_int64, lib.fpta_secondary_withdups_ordered_obverse)):
            self.check(lib.fpta_column_describe(name, kind, index, columns), "fpta_column_describe")
        txn = self.begin(lib.fpta_schema)
        self.check(lib.fpta_table_create(txn, b"bench", columns), "fpta_table_create")
        self.end(txn, False)

    def insert(self):
        lib, table = self.lib, self.table
        upsert_uint64, upsert_string = lib.fptu_upsert_uint64, lib.fptu_upsert_string
        upsert_fp64, upsert_int64 = lib.fptu_upsert_fp64, lib.fptu_upsert_int64
        take, put, insert = lib.fptu_take_noshrink, lib.fpta_put, lib.fpta_insert
        rows = list(zip(self.rows.keys, self.rows.names, self.rows.floats, self.rows.groups))
        row = lib.fptu_alloc(4, 48)
        start = time.perf_counter()
        txn = self.begin(lib.fpta_write)
        # A column's number in rows is its position in the column set (the
        # module keeps fpta_name opaque, so the number is not read from it).
        key_column, name_column, fp_column, group_column = range(4)
        # Every row's fields have the sizes of the last row's, so each upsert
        # overwrites in place; a failed one would show in the scans' tallies.
        for key, name, fp, group in rows:
            upsert_uint64(row, key_column, key)
            upsert_string(row, name_column, name, NAME_BYTES)
            upsert_fp64(row, fp_column, fp)
            upsert_int64(row, group_column, group)
            status = put(txn, table, take(row), insert)
            if status:
                self.check(status, "fpta_put")
        self.end(txn, False)
        seconds = time.perf_counter() - start
        lib.free(row)
        return seconds

    def lookup(self):
        ffi, lib = self.ffi, self.lib
        get, key_column = lib.fpta_get, self.columns[0]
        value, row = ffi.new("fpta_value *", lib.fpta_value_uint(0)), ffi.new("fptu_ro *")
        lookup_keys = self.rows.lookup_keys
        start = time.perf_counter()
        txn = self.begin(lib.fpta_read)
        for key in lookup_keys:
            value.uint = key
            status = get(txn, key_column, value, row)
            if status:
                self.check(status, "fpta_get")
        self.end(txn, True)
        return time.perf_counter() - start

    def scan(self, filtered):
        """Seconds of a timed walk that reads each row's key, checked against
        the rows inserted by an untimed walk that gathers the keys."""
        seconds, last_key = self.walk(filtered, None)
        _, keys = self.walk(filtered, [])
        self.rows.check_scan(filtered, keys, last_key)
        return seconds

    def walk(self, filtered, keys):
        """Walks the rows in key order (only those with fp above the threshold
        when filtered), appending each key to keys, or only keeping the last
        one when keys is None. Gives the seconds and keys (or the last key)."""
        ffi, lib = self.ffi, self.lib
        cursor_get, get_column, move = lib.fpta_cursor_get, lib.fpta_get_column, lib.fpta_cursor_move
        key_column, next_row = self.columns[0], lib.fpta_next
        cursor_out, row, value = ffi.new("fpta_cursor **"), ffi.new("fptu_ro *"), ffi.new("fpta_value *")
        row_value = row[0]  # refers to *row: passing it hands over what fpta_cursor_get put there
        filter_tree = ffi.NULL
        if filtered:
            filter_tree = ffi.new("fpta_filter *")
            filter_tree.type = lib.fpta_node_gt
            filter_tree.node_cmp.left_id = self.columns[2]
            filter_tree.node_cmp.right_value = lib.fpta_value_float(FILTER_THRESHOLD)
        start = time.perf_counter()
        txn = self.begin(lib.fpta_read)
        self.check(lib.fpta_cursor_open(txn, key_column, lib.fpta_value_begin(), lib.fpta_value_end(), filter_tree,
                                        lib.fpta_ascending, cursor_out), "fpta_cursor_open")
        cursor = cursor_out[0]
        last_key = None
        status = cursor_get(cursor, row)
        if keys is None:
            while not status:
                get_column(row_value, key_column, value)
                last_key = value.uint
                status = move(cursor, next_row) or cursor_get(cursor, row)
        else:
            append = keys.append
            while not status:
                get_column(row_value, key_column, value)
                append(value.uint)
                status = move(cursor, next_row) or cursor_get(cursor, row)
        if status != lib.FPTA_NODATA:
            self.check(status, "fpta_cursor_move or fpta_cursor_get")
        self.check(lib.fpta_cursor_close(cursor), "fpta_cursor_close")
        self.end(txn, True)
        return time.perf_counter() - start, last_key if keys is None else keys

    def close(self):
        self.check(self.lib.fpta_db_close(self.db), "fpta_db_close")


class SqliteWay:
    """Python's sqlite3: a database file, the default journal, synchronous=FULL,
    the same columns, an index on the integer column, one execute per row."""

    def __init__(self, rows, directory):
        self.rows = rows
        self.connection = sqlite3.connect(f"{directory}/bench.sqlite", isolation_level=None)
        self.cursor = self.connection.cursor()
        self.cursor.execute("PRAGMA synchronous=FULL")
        self.cursor.execute("CREATE TABLE bench (key INTEGER PRIMARY KEY, name TEXT NOT NULL, fp REAL NOT NULL,"
                            " grp INTEGER NOT NULL)")
        self.cursor.execute("CREATE INDEX bench_grp ON bench (grp)")

    def insert(self):
        execute = self.cursor.execute
        rows = list(zip(self.rows.keys, (name.decode() for name in self.rows.names), self.rows.floats,
                        self.rows.groups))
        start = time.perf_counter()
        execute("BEGIN")
        for row in rows:
            execute("INSERT INTO bench VALUES (?, ?, ?, ?)", row)
        execute("COMMIT")
        return time.perf_counter() - start

    def lookup(self):
        execute = self.cursor.execute
        parameters = [(key,) for key in self.rows.lookup_keys]
        start = time.perf_counter()
        execute("BEGIN")
        for key in parameters:
            if execute("SELECT key FROM bench WHERE key = ?", key).fetchone() is None:
                fail("SELECT", f"no row of key {key[0]}")
        execute("COMMIT")
        return time.perf_counter() - start

    def scan(self, filtered):
        """Seconds of a timed walk that reads each row's key, checked against
        the rows inserted by an untimed one that gathers the keys."""
        query = "SELECT key FROM bench ORDER BY key"
        if filtered:
            query = f"SELECT key FROM bench WHERE fp > {FILTER_THRESHOLD} ORDER BY key"
        start = time.perf_counter()
        last_key = None
        for (last_key,) in self.cursor.execute(query):
            pass
        seconds = time.perf_counter() - start
        self.rows.check_scan(filtered, [key for (key,) in self.cursor.execute(query)], last_key)
        return seconds

    def close(self):
        self.connection.close()


def main():
    if len(sys.argv) not in (4, 5) or sys.argv[1] not in ("module", "sqlite"):
        sys.exit(__doc__)
    way, count, directory = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    rows = Rows(count)
    if way == "module":
        if len(sys.argv) != 5:
            sys.exit(__doc__)
        way = ModuleWay(rows, directory, sys.argv[4])
    else:
        way = SqliteWay(rows, directory)
    print(json.dumps(measure(way)))


if __name__ == "__main__":
    main()
