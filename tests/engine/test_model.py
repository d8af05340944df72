"""The randomized model test: random operations applied to the engine and to
a plain Python model of the same tables, every result compared.

Writes, deletes, lookups, scans forwards and backwards over ranges with
filters, counts, deletes through cursors, sequences, commits and aborts,
snapshot readers, and closing and reopening the database between rounds.

CI runs a fixed seed. For a longer run give another seed and more operations:

    PYTHONPATH=build/binding /usr/bin/python3 -m pytest -q \\
        tests/engine/test_model.py --engine-seed 7 --engine-ops 200000

A failure names the seed and the step; the same seed replays it exactly.
"""
import random

from engine import (COMPARISON, EEXIST, NODATA, NOINDEX, NOTFOUND, OK, PK,
                    Database, Filters, ffi, holds, lib)

TAGS = [b"a", b"ab", b"abc", b"b", b"ba", b"c", b"t" * 300]
WEIGHTS = [-1e10, -1.5, 0.0, 1e-10, 2.25, 7.0]


def user(rng):
    row = {0: rng.randrange(60), 2: rng.randrange(-30, 31)}
    if rng.random() < 0.85:
        row[1] = rng.choice(TAGS)
    if rng.random() < 0.5:
        row[3] = rng.randbytes(rng.choice([0, 7, 20, 3000]))
    return row


def nulls_first(value):
    return (value is not None, value or b"")


def word(rng):
    """Short words, and words longer than a key may be whose reversed key
    (the index is reverse) differs from every other within its first bytes:
    their order is exact too."""
    if rng.random() < 0.8:
        key = bytes(rng.choice(b"abz") for _ in range(rng.randrange(1, 5)))
    else:
        key = b"z" * 500 + bytes(rng.choice(b"ab")
                                 for _ in range(rng.randrange(1, 4)))
    row = {0: key, 2: rng.randrange(6)}
    if rng.random() < 0.7:
        row[1] = rng.choice(WEIGHTS)
    return row


class Spec:
    """A table of the model: its columns, a random row, the order key of
    each ordered column, its unique secondary columns, its unordered index
    columns and the columns a filter compares."""

    def __init__(self, columns, make, order, unique, unordered, filtered):
        self.columns, self.make, self.order = columns, make, order
        self.unique, self.unordered = unique, unordered
        self.filtered = filtered


SPECS = {
    "users": Spec(
        [("id", lib.fptu_uint64, PK),
         ("tag", lib.fptu_cstr,
          lib.fpta_secondary_withdups_ordered_obverse_nullable),
         ("score", lib.fptu_int64, lib.fpta_secondary_unique_ordered_obverse),
         ("note", lib.fptu_opaque, NOINDEX)],
        user, {0: lambda v: v, 1: nulls_first, 2: lambda v: v}, {2}, set(),
        [0, 1, 2]),
    "words": Spec(
        [("word", lib.fptu_cstr, lib.fpta_primary_unique_ordered_reverse),
         ("weight", lib.fptu_fp64, NOINDEX),
         ("bucket", lib.fptu_uint32, lib.fpta_secondary_withdups_unordered)],
        word, {0: lambda v: v[::-1]}, set(), {2}, [1, 2]),
}


def canonical(rows):
    return sorted(repr(sorted(row.items())) for row in rows)


class Run:
    def __init__(self, path, seed):
        self.rng = random.Random(seed)
        self.db = Database(path)
        self.tables = {name: self.db.create(name, spec.columns)
                       for name, spec in SPECS.items()}
        self.committed = {name: ({}, 0) for name in SPECS}
        self.rows = {name: {} for name in SPECS}
        self.sequences = {name: 0 for name in SPECS}
        self.txn = self.db.begin()

    def pick(self):
        name = self.rng.choice(sorted(SPECS))
        return SPECS[name], self.tables[name], self.rows[name], name

    def put(self):
        spec, table, rows, _ = self.pick()
        row = spec.make(self.rng)
        op = self.rng.choice(["insert", "update", "upsert"])
        exists = row[0] in rows
        taken = any(other[c] == row[c] for c in spec.unique
                    for key, other in rows.items() if key != row[0])
        expected = {"insert": {EEXIST if exists or taken else OK},
                    "update": ({EEXIST if taken else OK} if exists else
                               {NOTFOUND} | ({EEXIST} if taken else set())),
                    "upsert": {EEXIST if taken else OK}}[op]
        status = self.txn.put(table, row, getattr(lib, f"fpta_{op}"))
        assert status in expected, (op, row, status)
        if status == OK:
            rows[row[0]] = row

    def delete(self):
        spec, table, rows, _ = self.pick()
        if rows and self.rng.random() < 0.7:
            row = dict(self.rng.choice(list(rows.values())))
            if self.rng.random() < 0.3:
                row[2] = spec.make(self.rng)[2]
        else:
            row = spec.make(self.rng)
        expected = OK if rows.get(row[0]) == row else NOTFOUND
        status = self.txn.delete(table, row)
        assert status == expected, (row, status)
        if status == OK:
            del rows[row[0]]

    def get(self):
        spec, table, rows, _ = self.pick()
        column = self.rng.choice([0, *spec.unique])
        key = spec.make(self.rng)[column]
        found = [row for row in rows.values() if row[column] == key]
        expected = (OK, found[0]) if found else (NOTFOUND, None)
        assert self.txn.get(table, column, key) == expected

    def scan_arguments(self, descending=False):
        """A random cursor: table, column, range, filter, whether the index
        is ordered, and the rows the model says it selects, in index order.
        The Filters that own the filter nodes come along."""
        spec, table, rows, _ = self.pick()
        column = self.rng.choice([*spec.order, *spec.unordered])
        low = high = None
        selected = list(rows.values())
        if column in spec.order:
            key = spec.order[column]
            low, high = (self.bound(spec, column) for _ in range(2))
            selected = [r for r in selected
                        if (low is None or key(r.get(column)) >= key(low))
                        and (high is None or key(r.get(column)) < key(high))]
            # equal keys in the order of their rows' primary keys
            selected.sort(key=lambda r: (key(r.get(column)),
                                         spec.order[0](r[0])))
        filters, where = Filters(), ffi.NULL
        if self.rng.random() < 0.5:
            tree = self.filter_tree(spec, 2)
            where = filters.tree(table, tree)
            selected = [r for r in selected if holds(tree, r)]
        options = lib.fpta_unsorted
        if column in spec.order:
            options = lib.fpta_descending if descending else lib.fpta_ascending
        cursor = self.txn.cursor(table, column, low, high, where, options)
        return cursor, filters, selected, column in spec.order

    def filter_tree(self, spec, depth):
        op = self.rng.choice(["not", "and", "or"] + ["cmp"] * 3)
        if depth == 0 or op == "cmp":
            column = self.rng.choice(spec.filtered)
            return (self.rng.choice(sorted(COMPARISON)), column,
                    self.value(spec, column))
        return (op, *(self.filter_tree(spec, depth - 1)
                      for _ in range(1 if op == "not" else 2)))

    def value(self, spec, column):
        """A random value of the column (never an absent one)."""
        row = spec.make(self.rng)
        return row[column] if column in row else self.value(spec, column)

    def bound(self, spec, column):
        return self.value(spec, column) if self.rng.random() < 0.6 else None

    def scan(self):
        way = self.rng.choice(["next", "prev", "descending"])
        cursor, _, expected, order = self.scan_arguments(
            way == "descending")
        with cursor:
            if way == "prev":
                assert cursor.move(lib.fpta_last) == (OK if expected
                                                      else NODATA)
                got = cursor.rest(lib.fpta_prev)[::-1]
            else:
                got = cursor.rest()
        if way == "descending" and order:
            got.reverse()
        if order:
            assert got == expected
        assert canonical(got) == canonical(expected)

    def count(self):
        cursor, _, expected, _ = self.scan_arguments()
        limit = self.rng.randrange(80)
        with cursor:
            assert cursor.count(limit) == (OK, min(limit, len(expected)))

    def cursor_delete(self):
        table, rows = self.tables["users"], self.rows["users"]
        low = self.rng.randrange(60)
        after = sorted(k for k in rows if k >= low)
        with self.txn.cursor(table, 0, low) as cursor:
            if not after:
                assert cursor.eof() != 0
                return
            assert cursor.row() == rows[after[0]]
            assert lib.fpta_cursor_delete(cursor.handle) == OK
            del rows[after[0]]
            if len(after) > 1:
                assert cursor.row() == rows[after[1]]
            else:
                assert cursor.eof() != 0

    def cursor_update(self):
        spec, table, rows = SPECS["users"], self.tables["users"], \
            self.rows["users"]
        with self.txn.cursor(table, 0, self.rng.randrange(60)) as cursor:
            if cursor.eof():
                return
            row = {**spec.make(self.rng), 0: cursor.row()[0]}
            taken = any(other[2] == row[2] for other in rows.values()
                        if other[0] != row[0])
            status = cursor.update(table, row)
            assert status == (EEXIST if taken else OK), (row, status)
            if status == OK:
                rows[row[0]] = row
            assert cursor.row() == rows[row[0]]

    def sequence(self):
        _, table, _, name = self.pick()
        increment = self.rng.randrange(4)
        assert self.txn.sequence(table, increment) == (OK,
                                                       self.sequences[name])
        self.sequences[name] += increment

    def info(self):
        _, table, rows, _ = self.pick()
        assert self.txn.count(table) == len(rows)

    def end(self, begin=True):
        abort = self.rng.random() < 0.3
        assert self.txn.end(abort=abort) == OK
        for name in SPECS:
            if abort:
                rows, self.sequences[name] = self.committed[name]
                self.rows[name] = dict(rows)
            else:
                self.committed[name] = (dict(self.rows[name]),
                                        self.sequences[name])
        if begin:
            self.txn = self.db.begin()

    def snapshot(self):
        with self.db.read() as reader:
            for name, table in self.tables.items():
                assert canonical(reader.rows(table)) == \
                    canonical(self.committed[name][0].values())

    def reopen(self):
        self.end(begin=False)
        self.db.reopen()
        self.snapshot()
        self.txn = self.db.begin()


WEIGHTED = [("put", 30), ("delete", 8), ("get", 10), ("scan", 12),
            ("count", 4), ("cursor_delete", 3), ("cursor_update", 3),
            ("sequence", 3), ("info", 3),
            ("end", 3), ("snapshot", 1)]


def test_model(tmp_path, request):
    seed = request.config.getoption("--engine-seed")
    operations = request.config.getoption("--engine-ops")
    run = Run(tmp_path / "db", seed)
    names = [name for name, _ in WEIGHTED]
    weights = [weight for _, weight in WEIGHTED]
    for step in range(operations):
        name = "reopen" if step % 500 == 499 else \
            run.rng.choices(names, weights)[0]
        try:
            getattr(run, name)()
        except AssertionError as failure:
            raise AssertionError(
                f"seed {seed}, step {step}, {name}: {failure}") from failure
    run.end(begin=False)
    run.db.reopen()
    run.snapshot()
    assert run.db.close() == OK
