"""Tables, sequences, names, and what each kind of index promises."""
import errno
import os
import struct

import pytest

from engine import (EEXIST, EINVAL, ENOKEY, NOINDEX, NOTFOUND, OK, PK, Table,
                    ffi, lib, name_fields)

ITEMS = [("id", lib.fptu_uint64, PK), ("name", lib.fptu_cstr, NOINDEX),
         ("size", lib.fptu_int32, lib.fpta_secondary_withdups_ordered_obverse)]


def create(txn, table):
    return lib.fpta_table_create(txn.handle, table.name, table.column_set())


@pytest.mark.parametrize("name", ["items", "ITEMS", "Items"])
def test_a_table_that_exists_already(db, name):
    db.create("items", ITEMS, [{0: 1, 2: 5}])
    with db.schema() as txn:
        assert create(txn, Table(name, ITEMS[:1])) == EEXIST
    with db.read() as txn:
        assert txn.rows(Table(name, ITEMS)) == [{0: 1, 2: 5}]


def test_drop(db):
    table = db.create("items", ITEMS, [{0: 1, 2: 5}])
    with db.schema() as txn:
        assert lib.fpta_table_drop(txn.handle, b"ITEMS") == OK
        assert lib.fpta_table_drop(txn.handle, b"items") == NOTFOUND
        assert lib.fpta_table_drop(txn.handle, b"never") == NOTFOUND
    with db.write() as txn:
        assert txn.put(table, {0: 2, 2: 1}) == NOTFOUND
        assert lib.fpta_name_refresh(txn.handle, table.id) == NOTFOUND
    table = db.create("items", ITEMS)
    with db.read() as txn:
        assert txn.rows(table) == []


@pytest.mark.parametrize("reset, next_value", [(False, 7), (True, 0)])
def test_clear(db, reset, next_value):
    table = db.create("items", ITEMS, [{0: i, 2: i} for i in range(5)])
    with db.write() as txn:
        assert txn.sequence(table, 7) == (OK, 0)
    with db.schema() as txn:
        assert lib.fpta_table_clear(txn.handle, table.id, reset) == OK
        assert txn.rows(table, 2) == []
    with db.read() as txn:
        assert (txn.count(table), txn.rows(table)) == (0, [])
        assert txn.sequence(table, 0) == (OK, next_value)


def test_info(db):
    table = db.create("items", ITEMS, [{0: i, 1: b"n" * 100, 2: i}
                                        for i in range(1000)])
    with db.read() as txn:
        status, count, stat = txn.info(table)
    assert (status, count, stat.row_count) == (OK, 1000, 1000)
    assert stat.btree_depth >= 2 and stat.branch_pages >= 1
    assert stat.leaf_pages > 1 and stat.total_bytes >= 100_000
    pages = stat.branch_pages + stat.leaf_pages + stat.large_pages
    assert stat.total_bytes == pages * os.sysconf("SC_PAGE_SIZE")


def test_sequence_is_part_of_the_transaction(db):
    table = db.create("items", ITEMS)
    with db.write() as txn:
        assert txn.sequence(table, 5) == (OK, 0)
        assert txn.sequence(table, 2**40) == (OK, 5)
    txn = db.begin()
    assert txn.sequence(table, 100) == (OK, 2**40 + 5)
    assert txn.end(abort=True) == OK
    with db.write() as txn:
        assert txn.sequence(table, 2**64 - 2**40 - 6) == (OK, 2**40 + 5)
        assert txn.sequence(table, 1)[0] == errno.ERANGE
    with db.read() as txn:
        assert txn.sequence(table, 0) == (OK, 2**64 - 1)


# What an index kind promises, seen through a string column: the key column
# of a table whose primary key is id (secondary kinds) or the key itself.
KEYS = [b"b", b"ab", b"ba", b"a", b"c", b"ca"]
INDEX_KINDS = [name for name in dir(lib)
               if name.startswith(("fpta_primary_", "fpta_secondary_"))]


def key_table(db, kind_name):
    kind = getattr(lib, kind_name)
    if kind & lib.fpta_index_fsecondary:
        columns = [("k", lib.fptu_cstr, kind), ("id", lib.fptu_uint64, PK)]
    else:
        columns = [("k", lib.fptu_cstr, kind), ("id", lib.fptu_uint64,
                                                 NOINDEX)]
    return kind, db.create("keys", columns, [{0: k, 1: i}
                                              for i, k in enumerate(KEYS)])


@pytest.mark.parametrize("kind_name", INDEX_KINDS)
def test_index_kind(db, kind_name):
    kind, table = key_table(db, kind_name)
    unique = kind & lib.fpta_index_funique
    nullable = kind & lib.fpta_index_fnullable
    with db.write() as txn:
        status = txn.put(table, {0: b"ab", 1: 10})
        assert status == (EEXIST if unique else OK)
        assert txn.put(table, {1: 11}) == (OK if nullable else ENOKEY)
        assert txn.get(table, 0, b"ca")[0] == (OK if unique else EINVAL)
    expected = KEYS + [b"ab"] * (not unique) + [None] * bool(nullable)
    with db.read() as txn:
        ascending = [row.get(0) for row in txn.rows(table, 0)]
        descending = [row.get(0) for row in txn.rows(
            table, 0, options=lib.fpta_descending)]
        ranged, cursor = txn.open_cursor(table, 0, b"b", None)
        assert cursor is None or cursor.close() == OK
    if kind & lib.fpta_index_fordered:
        order = sorted(k for k in expected if k is not None)
        if not kind & lib.fpta_index_fobverse:
            order.sort(key=lambda k: k[::-1])
        assert ascending == [None] * bool(nullable) + order
        assert descending == ascending[::-1]
        assert ranged == OK
    else:
        assert sorted(ascending, key=repr) == sorted(expected, key=repr)
        assert ranged == EINVAL


COMPOSED = [("a", lib.fptu_uint32, NOINDEX), ("b", lib.fptu_cstr, NOINDEX),
            ("id", lib.fptu_uint64, PK),
            ("ab", (0, 1), lib.fpta_secondary_unique_ordered_obverse)]
PAIRS = [(2, b"b"), (1, b"z"), (2, b""), (10, b"a"), (2, b"ab")]


def test_composite_index(db):
    table = db.create("pairs", COMPOSED, [{0: a, 1: b, 2: i}
                                          for i, (a, b) in enumerate(PAIRS)])
    with db.write() as txn:
        assert txn.put(table, {0: 2, 1: b"b", 2: 99}) == EEXIST
        assert txn.put(table, {0: 2, 1: b"bb", 2: 99}) == OK
        assert txn.get(table, 3, {0: 1, 1: b"z"}) == (OK, {0: 1, 1: b"z",
                                                            2: 1})
        assert txn.get(table, 3, {0: 1, 1: b"y"}) == (NOTFOUND, None)
    with db.read() as txn:
        pairs = [(r[0], r[1]) for r in txn.rows(table, 3)]
        assert pairs == sorted(PAIRS + [(2, b"bb")])
        ranged = txn.rows(table, 3, {0: 2, 1: b"ab"}, {0: 2, 1: b"bb"})
        assert [(r[0], r[1]) for r in ranged] == [(2, b"ab"), (2, b"b")]


def test_composite_described_with_the_variadic_call(db):
    described = ffi.new("fpta_column_set *")
    lib.fpta_column_set_init(described)
    for name, ftype, index in COMPOSED[:3]:
        assert lib.fpta_column_describe(name.encode(), ftype, index,
                                        described) == OK
    assert lib.fpta_describe_composite_index_va(
        b"ab", COMPOSED[3][2], described, b"a", b"b", ffi.NULL) == OK
    table = Table("pairs", COMPOSED)
    assert ffi.buffer(described)[:] == ffi.buffer(table.column_set())[:]
    with db.schema() as txn:
        assert lib.fpta_table_create(txn.handle, b"pairs", described) == OK
        txn.insert(table, {0: 1, 1: b"x", 2: 1})
        assert txn.put(table, {0: 1, 1: b"x", 2: 2}) == EEXIST


def refreshed(db, table):
    with db.read() as txn:
        assert lib.fpta_name_refresh(txn.handle, table.id) == OK
        txn.refresh(table)
    return name_fields(table.id)[1]


def test_refresh_resolves_numbers_ids_and_version(db):
    table = db.create("items", ITEMS + [
        ("ns", (1, 2), lib.fpta_secondary_withdups_ordered_obverse)])
    version = refreshed(db, table)
    described = ffi.buffer(table.column_set())
    assert name_fields(table.id) == (name_fields(table.id)[0], version,
                                     len(table.columns))
    for number, column in enumerate(table.col):
        shove = struct.unpack_from("<Q", described, 4 + 8 * number)[0]
        assert name_fields(column) == (shove, version, number)


def test_version_grows_with_every_committed_schema_change(db):
    first = db.create("first", ITEMS)
    version = refreshed(db, first)
    txn = db.begin(lib.fpta_schema)
    assert create(txn, Table("aborted", ITEMS)) == OK
    assert txn.end(abort=True) == OK
    assert refreshed(db, first) == version
    db.create("second", ITEMS)
    with db.schema() as txn:
        assert lib.fpta_table_drop(txn.handle, b"second") == OK
    assert refreshed(db, first) == version + 2


def test_stale_names_are_refreshed_by_every_call(db):
    old = db.create("items", ITEMS, [{0: 1, 1: b"one", 2: 10}])
    refreshed(db, old)
    with db.schema() as txn:
        assert lib.fpta_table_drop(txn.handle, b"items") == OK
    moved = db.create("items", [ITEMS[2], ITEMS[1], ITEMS[0]])
    with db.write() as txn:
        assert txn.put(old, moved.row({2: 1, 1: b"one", 0: 10})) == OK
        assert txn.get(old, 0, 1) == (OK, {2: 1, 1: b"one", 0: 10})
    assert name_fields(old.col[0])[1:] == (name_fields(old.id)[1], 2)


def test_a_reader_keeps_the_schema_of_its_snapshot(db):
    old = db.create("items", ITEMS, [{0: 1, 1: b"old", 2: 10}])
    reader = db.begin(lib.fpta_read)
    with db.schema() as txn:
        assert lib.fpta_table_drop(txn.handle, b"items") == OK
    moved = db.create("items", ITEMS[::-1], [{2: 2, 1: b"new", 0: 20}])
    assert reader.rows(old) == [{0: 1, 1: b"old", 2: 10}]
    assert reader.get(old, 0, 1) == (OK, {0: 1, 1: b"old", 2: 10})
    with db.read() as txn:
        assert txn.rows(old) == txn.rows(moved) == [{2: 2, 1: b"new", 0: 20}]
    assert reader.rows(old, 2) == [{0: 1, 1: b"old", 2: 10}]
    assert reader.end() == OK


def test_names_that_do_not_resolve(db):
    table = db.create("items", ITEMS)
    absent = ffi.new("fpta_name *")
    assert lib.fpta_column_init(table.id, absent, b"absent") == OK
    with db.read() as txn:
        assert lib.fpta_name_refresh(txn.handle, absent) == NOTFOUND
        assert lib.fpta_name_refresh_couple(txn.handle, table.id,
                                            absent) == NOTFOUND
        assert lib.fpta_name_refresh(txn.handle, Table("nope", []).id) \
            == NOTFOUND


def test_destroyed_name_is_refused(db):
    table = db.create("items", ITEMS)
    lib.fpta_name_destroy(table.col[0])
    assert ffi.buffer(table.col[0])[:] == bytes(28)
    with db.read() as txn:
        assert txn.open_cursor(table, 0)[0] == EINVAL


# Two stores a table: more create/drop cycles than LMDB has handles for.
CHURN = 17000
MDB_DBS_FULL = -30791


def churn(db, cycles):
    """Creates and drops a table cycles times; the first refused create's
    status, or OK."""
    table = Table("churn", [("id", lib.fptu_uint64, PK),
                            ("n", lib.fptu_uint64,
                             lib.fpta_secondary_withdups_ordered_obverse)])
    for _ in range(cycles):
        with db.schema() as txn:
            status = lib.fpta_table_create(txn.handle, table.name,
                                           table.column_set())
            if status != OK:
                return status
            assert lib.fpta_table_drop(txn.handle, table.name) == OK
    return OK


def test_table_churn_reuses_handles(db):
    db.create("kept", [("id", lib.fptu_uint64, PK)], [{0: 1}])
    assert churn(db, CHURN) == OK


def test_a_refused_create_leaves_its_transaction_usable(db):
    """A reader left open keeps the dropped tables' handles, until LMDB has
    none left: the create is refused, and its transaction goes on."""
    kept = db.create("kept", [("id", lib.fptu_uint64, PK)], [{0: 1}])
    reader = db.begin(lib.fpta_read)
    assert churn(db, CHURN) == MDB_DBS_FULL
    with db.schema() as txn:
        table = Table("late", [("id", lib.fptu_uint64, PK)])
        assert lib.fpta_table_create(txn.handle, table.name,
                                     table.column_set()) == MDB_DBS_FULL
        txn.insert(kept, {0: 2})
    assert reader.end() == OK
    with db.read() as txn:
        assert txn.count(kept) == 2
    assert churn(db, 100) == OK
