"""The package and the raw module on one file: seeded random batches of
inserts, updates, upserts, deletes and gets, each batch through one of the
two in a write transaction, every outcome checked against a dict model, and
after each batch the whole table read back through the other one, in the
order of its primary and of its secondary index."""
import random
import sys
from pathlib import Path

import pytest

import morvane
from morvane import Column

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "engine"))
import engine  # noqa: E402  (the raw module's helpers, shared with the engine's tests)
from engine import lib  # noqa: E402

COLUMNS = [
    Column("id", "uint64", index="primary"),
    Column("customer", "str", index="secondary", unique=False),
    Column("amount", "int64"),
    Column("price", "float64"),
    Column("note", "str", nullable=True),
]
RAW_COLUMNS = [
    ("id", lib.fptu_uint64, lib.fpta_primary_unique_ordered_obverse),
    ("customer", lib.fptu_cstr, lib.fpta_secondary_withdups_ordered_obverse),
    ("amount", lib.fptu_int64, lib.fpta_index_none),
    ("price", lib.fptu_fp64, lib.fpta_index_none),
    ("note", lib.fptu_cstr, lib.fpta_noindex_nullable),
]
CUSTOMERS = ["ann", "bob", "", "çé", "nul\x00byte", "a" * 40]
KEYS = 24
ROUNDS, OPERATIONS = 10, 40
OK, EXISTS, MISSING = "ok", "exists", "missing"


def random_row(rng):
    return (rng.randrange(1, KEYS), rng.choice(CUSTOMERS), rng.choice([-2**63, 2**63 - 1, rng.randrange(-9, 9)]),
            rng.choice([0.0, -1.5, 1e300, rng.random()]), rng.choice([None, "", "gift", "ünï"]))


class Model:
    """What the table must hold, and what each operation must answer."""

    def __init__(self):
        self.rows = {}

    def apply(self, operation, row):
        key = row[0]
        present = key in self.rows
        if operation == "get":
            return self.rows.get(key)
        if operation == "insert" and present or operation in ("update", "delete") and not present:
            return EXISTS if operation == "insert" else MISSING
        if operation == "delete":
            del self.rows[key]
        else:
            self.rows[key] = row
        return OK

    def by_key(self):
        return [self.rows[key] for key in sorted(self.rows)]

    def by_customer(self):
        return sorted(self.rows.values(), key=lambda row: (row[1].encode(), row[0]))


class PackageSide:
    name = "morvane"

    def __init__(self, path):
        self.db = morvane.open(path)

    def batch(self, operations):
        with self.db.write() as txn:
            table = txn.table("orders")
            return [self.apply(table, operation, row) for operation, row in operations]

    @staticmethod
    def apply(table, operation, row):
        try:
            if operation == "get":
                found = table.get(row[0])
                return None if found is None else tuple(found)
            if operation == "delete":
                table.delete(row[0])
            else:
                getattr(table, operation)(row)
        except morvane.KeyExistsError:
            return EXISTS
        except morvane.NotFoundError:
            return MISSING
        return OK

    def contents(self):
        with self.db.read() as txn:
            table = txn.table("orders")
            assert table.columns == COLUMNS
            return [tuple(row) for row in table.scan()], [tuple(row) for row in table.scan("customer")], len(table)

    def close(self):
        self.db.close()


class RawSide:
    name = "_morvane"
    STATUS = {engine.OK: OK, engine.EEXIST: EXISTS, engine.NOTFOUND: MISSING}

    def __init__(self, path):
        self.db = engine.Database(path)
        self.table = engine.Table("orders", RAW_COLUMNS)

    def batch(self, operations):
        with self.db.write() as txn:
            return [self.apply(txn, operation, row) for operation, row in operations]

    def apply(self, txn, operation, row):
        if operation == "get":
            status, found = txn.get(self.table, 0, row[0])
            assert status in (engine.OK, engine.NOTFOUND)
            return self.python(found) if status == engine.OK else None
        if operation == "delete":
            status, found = txn.find(self.table, 0, row[0])
            if status == engine.OK:
                status = lib.fpta_delete(txn.handle, self.table.id, found[0])
            return self.STATUS[status]
        fields = {number: value.encode() if isinstance(value, str) else value
                  for number, value in enumerate(row) if value is not None}
        return self.STATUS[txn.put(self.table, fields, getattr(lib, "fpta_" + operation))]

    @staticmethod
    def python(fields):
        return tuple(value.decode() if isinstance(value, bytes) else value
                     for value in (fields.get(number) for number in range(len(RAW_COLUMNS))))

    def contents(self):
        with self.db.read() as txn:
            return ([self.python(row) for row in txn.rows(self.table)],
                    [self.python(row) for row in txn.rows(self.table, column=1)], txn.count(self.table))

    def close(self):
        assert self.db.close() == engine.OK


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_the_package_and_the_raw_module_agree_on_one_file(tmp_path, seed):
    path = tmp_path / "shared.fpta"
    raw = RawSide(path)
    with raw.db.schema() as txn:
        assert lib.fpta_table_create(txn.handle, b"orders", raw.table.column_set()) == engine.OK
    raw.close()
    rng, model = random.Random(seed), Model()
    sides = [PackageSide, RawSide]
    for round_number in range(ROUNDS):
        writer_class, reader_class = sides[round_number % 2], sides[1 - round_number % 2]
        operations = [(rng.choice(["insert", "insert", "update", "upsert", "delete", "get"]), random_row(rng))
                      for _ in range(OPERATIONS)]
        writer = writer_class(path)
        try:
            answers = writer.batch(operations)
        finally:
            writer.close()
        for (operation, row), answer in zip(operations, answers):
            assert answer == model.apply(operation, row), (round_number, writer.name, operation, row)
        reader = reader_class(path)
        try:
            contents = reader.contents()
        finally:
            reader.close()
        assert contents == (model.by_key(), model.by_customer(), len(model.rows)), (round_number, reader.name)
