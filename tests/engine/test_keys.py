"""The order of keys in ordered indexes, nulls, and keys too long for LMDB."""
import math

import pytest

from engine import EEXIST, NOINDEX, NOTFOUND, OK, PK, lib, single

INF = math.inf

# Values of each type in ascending key order.
ORDERED = {
    lib.fptu_uint16: [0, 1, 255, 256, 65535],
    lib.fptu_int32: [-2**31, -256, -1, 0, 1, 255, 2**31 - 1],
    lib.fptu_uint32: [0, 1, 256, 2**31, 2**32 - 1],
    lib.fptu_int64: [-2**63, -2**32, -1, 0, 1, 2**32, 2**63 - 1],
    lib.fptu_uint64: [0, 1, 2**32, 2**63, 2**64 - 1],
    lib.fptu_fp32: [-INF, single(-1e30), -1.5, single(-1e-30), 0.0,
                    single(1e-40), 0.5, 2.0, single(3e38), INF],
    lib.fptu_fp64: [-INF, -1e300, -1.0, -5e-324, 0.0, 5e-324, 1e-300, 1.0,
                    1e300, INF],
    lib.fptu_datetime: [0, 1, 2**32, 2**63, 2**64 - 1],
}
BYTES = {
    lib.fptu_cstr: [b"a", b"a\x00", b"ab", b"b", b"ba", b"\xff"],
    lib.fptu_opaque: [b"\x00", b"\x00\x00", b"\x00\x01", b"\x01",
                      b"\x01\x00", b"\xff"],
    lib.fptu_96: [bytes(12), bytes(11) + b"\x01", b"\x01" + bytes(11),
                  b"\x01" * 12],
    lib.fptu_128: [bytes(16), bytes(15) + b"\x01", b"\x01" + bytes(15)],
    lib.fptu_160: [bytes(20), bytes(19) + b"\x01", b"\x01" + bytes(19)],
    lib.fptu_256: [bytes(32), bytes(31) + b"\x01", b"\x01" + bytes(31),
                   b"\xff" * 32],
}
DIRECTIONS = {"obverse": lib.fpta_index_fobverse, "reverse": 0}
PLACES = {"primary": lib.fpta_primary_unique_ordered_reverse,
          "secondary": lib.fpta_secondary_unique_ordered_reverse}


def expected_order(ftype, direction):
    if ftype in ORDERED:
        return ORDERED[ftype]
    if direction == "obverse":
        return sorted(BYTES[ftype])
    return sorted(BYTES[ftype], key=lambda key: key[::-1])


def table_of(db, ftype, index, values):
    """Keys in column 0 under the given index, shuffled ids in column 1."""
    if index & lib.fpta_index_fsecondary:
        columns = [("k", ftype, index), ("id", lib.fptu_uint64, PK)]
    else:
        columns = [("k", ftype, index), ("id", lib.fptu_uint64, NOINDEX)]
    order = values[1::2] + values[::2][::-1]
    return db.create("keys", columns, [{0: v, 1: values.index(v)}
                                       for v in order])


@pytest.mark.parametrize("place", sorted(PLACES))
@pytest.mark.parametrize("direction", sorted(DIRECTIONS))
@pytest.mark.parametrize("ftype", sorted({**ORDERED, **BYTES}))
def test_key_order(db, ftype, direction, place):
    index = PLACES[place] | DIRECTIONS[direction]
    values = expected_order(ftype, direction)
    table = table_of(db, ftype, index, values)
    with db.read() as txn:
        ascending = [row[0] for row in txn.rows(table)]
        descending = [row[0] for row in txn.rows(
            table, options=lib.fpta_descending)]
        middle = [row[0] for row in txn.rows(table, 0, values[1], values[-1])]
        for key in values:
            assert txn.get(table, 0, key) == (OK, {0: key,
                                                   1: values.index(key)})
    assert ascending == values
    assert descending == values[::-1]
    assert middle == values[1:-1]


@pytest.mark.parametrize("index", [
    PK, lib.fpta_primary_unique_ordered_reverse,
    lib.fpta_secondary_unique_ordered_obverse])
@pytest.mark.parametrize("ftype", [lib.fptu_cstr, lib.fptu_opaque])
def test_the_empty_value_is_the_first_key(db, ftype, index):
    table = table_of(db, ftype, index, [b"", b"\x01", b"a"])
    with db.write() as txn:
        assert txn.get(table, 0, b"") == (OK, {0: b"", 1: 0})
        assert txn.put(table, {0: b"", 1: 5}) == EEXIST
        assert [row[0] for row in txn.rows(table)] == [b"", b"\x01", b"a"]


@pytest.mark.parametrize("ftype", [lib.fptu_fp32, lib.fptu_fp64])
def test_negative_zero_is_zero(db, ftype):
    table = db.create("keys", [("k", ftype, PK)], [{0: 0.0}])
    with db.write() as txn:
        assert txn.put(table, {0: -0.0}) == EEXIST
        assert txn.get(table, 0, -0.0)[0] == OK


@pytest.mark.parametrize("index", [
    lib.fpta_secondary_withdups_ordered_obverse_nullable,
    lib.fpta_secondary_unique_ordered_reverse_nullable])
def test_nulls_come_first(db, index):
    table = db.create("keys", [("id", lib.fptu_uint64, PK),
                               ("k", lib.fptu_int64, index)],
                      [{0: 1, 1: 3}, {0: 2}, {0: 3, 1: -5}, {0: 4, 1: 0}])
    with db.read() as txn:
        ascending = [row.get(1) for row in txn.rows(table, 1)]
        descending = [row.get(1) for row in txn.rows(
            table, 1, options=lib.fpta_descending)]
    assert ascending == [None, -5, 0, 3]
    assert descending == [3, 0, -5, None]


# Keys around and far beyond LMDB's key limit: equal in their first 600
# bytes, or differing only in their last byte.
LONG = [b"k" * 480, b"k" * 481, b"k" * 600 + b"a", b"k" * 600 + b"b",
        b"k" * 5000 + b"a", b"k" * 5000 + b"b", b"j" + b"k" * 5000]


@pytest.mark.parametrize("index", [
    PK, lib.fpta_primary_unique_ordered_reverse,
    lib.fpta_primary_unique_unordered])
def test_long_primary_keys_are_exact_and_unique(db, index):
    table = db.create("long", [("k", lib.fptu_cstr, index),
                               ("n", lib.fptu_uint32, NOINDEX)],
                      [{0: key, 1: n} for n, key in enumerate(LONG)])
    with db.write() as txn:
        for n, key in enumerate(LONG):
            assert txn.get(table, 0, key) == (OK, {0: key, 1: n})
            assert txn.put(table, {0: key, 1: 99}) == EEXIST
        assert txn.get(table, 0, b"k" * 600 + b"c") == (NOTFOUND, None)
        assert txn.get(table, 0, b"k" * 5001) == (NOTFOUND, None)
        assert sorted(row[0] for row in txn.rows(table)) == sorted(LONG)
        assert txn.delete(table, {0: LONG[5], 1: 5}) == OK
        assert txn.get(table, 0, LONG[4]) == (OK, {0: LONG[4], 1: 4})
        assert txn.get(table, 0, LONG[5]) == (NOTFOUND, None)


def test_long_secondary_keys_are_exact_and_unique(db):
    table = db.create("long", [
        ("id", lib.fptu_uint64, PK),
        ("k", lib.fptu_opaque, lib.fpta_secondary_unique_ordered_obverse)],
        [{0: n, 1: key} for n, key in enumerate(LONG)])
    with db.write() as txn:
        for n, key in enumerate(LONG):
            assert txn.get(table, 1, key) == (OK, {0: n, 1: key})
            assert txn.put(table, {0: 100 + n, 1: key}) == EEXIST
        assert txn.put(table, {0: 6, 1: LONG[4]}, lib.fpta_update) == EEXIST
        assert txn.put(table, {0: 5, 1: b"short"}, lib.fpta_update) == OK
        assert txn.get(table, 1, LONG[5]) == (NOTFOUND, None)
        assert txn.put(table, {0: 6, 1: LONG[5]}, lib.fpta_update) == OK
        assert [row[0] for row in txn.rows(table)] == list(range(7))
