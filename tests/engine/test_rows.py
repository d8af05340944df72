"""Writing, finding, deleting and reading rows and their columns."""
import errno

import pytest

from engine import (ECOLUMN, EEXIST, EINVAL, ENOKEY, ETYPE, NODATA, NOINDEX,
                    NOTFOUND, OK, PK, Row, blob, ffi, fields, fp, lib,
                    python, sint, single, stamp, text, uint)

PEOPLE = [("id", lib.fptu_uint64, PK),
          ("email", lib.fptu_cstr, lib.fpta_secondary_unique_ordered_obverse),
          ("age", lib.fptu_uint32,
           lib.fpta_secondary_withdups_ordered_obverse),
          ("note", lib.fptu_opaque, NOINDEX)]
ANN = {0: 1, 1: b"ann@x", 2: 30}
BOB = {0: 2, 1: b"bob@x", 2: 30, 3: b"\x00note"}


@pytest.fixture
def people(db):
    return db.create("people", PEOPLE, [ANN, BOB])


def rows(db, table, column=0):
    with db.read() as txn:
        return txn.rows(table, column)


@pytest.mark.parametrize("op, row, status, after", [
    ("insert", {0: 3, 1: b"cy", 2: 1}, OK, [ANN, BOB, {0: 3, 1: b"cy", 2: 1}]),
    ("insert", {0: 2, 1: b"cy", 2: 1}, EEXIST, [ANN, BOB]),
    ("update", {0: 2, 1: b"bo", 2: 5}, OK, [ANN, {0: 2, 1: b"bo", 2: 5}]),
    ("update", {0: 3, 1: b"cy", 2: 1}, NOTFOUND, [ANN, BOB]),
    ("upsert", {0: 2, 1: b"bo", 2: 5}, OK, [ANN, {0: 2, 1: b"bo", 2: 5}]),
    ("upsert", {0: 0, 1: b"zed", 2: 9}, OK, [{0: 0, 1: b"zed", 2: 9}, ANN,
                                             BOB]),
    # a unique secondary value another row holds
    ("insert", {0: 3, 1: b"ann@x", 2: 1}, EEXIST, [ANN, BOB]),
    ("update", {0: 2, 1: b"ann@x", 2: 1}, EEXIST, [ANN, BOB]),
    ("upsert", {0: 3, 1: b"bob@x", 2: 1}, EEXIST, [ANN, BOB]),
    # keeping one's own unique secondary value
    ("update", {0: 2, 1: b"bob@x", 2: 31}, OK, [ANN, {0: 2, 1: b"bob@x",
                                                      2: 31}]),
    # a field the table has no column for, of the wrong type, twice
    ("insert", [(0, lib.fptu_uint64, 3), (1, lib.fptu_cstr, b"c"),
                (2, lib.fptu_uint32, 1), (4, lib.fptu_uint32, 1)], ECOLUMN,
     [ANN, BOB]),
    ("upsert", [(0, lib.fptu_uint64, 2), (1, lib.fptu_cstr, b"c"),
                (2, lib.fptu_uint32, 1), (3, lib.fptu_cstr, b"n")], ECOLUMN,
     [ANN, BOB]),
    ("insert", [(0, lib.fptu_uint64, 3), (1, lib.fptu_cstr, b"c"),
                (2, lib.fptu_uint32, 1), (2, lib.fptu_uint32, 2)], ECOLUMN,
     [ANN, BOB]),
    # indexed non-nullable columns that are missing
    ("insert", {1: b"cy", 2: 1}, ENOKEY, [ANN, BOB]),
    ("upsert", {0: 3, 2: 1}, ENOKEY, [ANN, BOB]),
    ("update", {0: 2, 1: b"bob@x"}, ENOKEY, [ANN, BOB]),
])
@pytest.mark.parametrize("validate_first", [False, True])
def test_put(db, people, op, row, status, after, validate_first):
    option = getattr(lib, f"fpta_{op}")
    if isinstance(row, dict):
        built = people.row(row)
    else:
        built = Row(row[:-1])
        built.add(*row[-1], verb="insert")
    with db.write() as txn:
        if validate_first:
            assert lib.fpta_validate_put(txn.handle, people.id, built.ro,
                                         option) == status
            assert txn.rows(people) == [ANN, BOB]
        assert txn.put(people, built, option) == status
        assert txn.count(people) == len(after)
    assert rows(db, people) == after
    assert rows(db, people, 1) == sorted(after, key=lambda r: r[1])
    assert rows(db, people, 2) == sorted(after, key=lambda r: (r[2], r[0]))


def test_insert_row(db, people):
    carl = {0: 3, 1: b"carl@x", 2: 40}
    row = people.row(carl)
    with db.write() as txn:
        assert lib.fpta_insert_row(txn.handle, people.id, row.ro) == OK
        assert lib.fpta_insert_row(txn.handle, people.id, row.ro) == EEXIST
    assert rows(db, people) == [ANN, BOB, carl]


@pytest.mark.parametrize("row, status, after", [
    (BOB, OK, [ANN]),
    ({**BOB, 3: b"\x00notE"}, NOTFOUND, [ANN, BOB]),
    ({0: 2, 1: b"bob@x", 2: 30}, NOTFOUND, [ANN, BOB]),
    ({0: 9, 1: b"bob@x", 2: 30}, NOTFOUND, [ANN, BOB]),
])
def test_delete_takes_the_equal_row(db, people, row, status, after):
    with db.write() as txn:
        assert txn.delete(people, row) == status
    assert rows(db, people) == after
    assert rows(db, people, 2) == after


def test_delete_among_duplicates(db):
    table = db.create("dups", [
        ("k", lib.fptu_int32, lib.fpta_primary_withdups_ordered_obverse),
        ("v", lib.fptu_cstr, NOINDEX)], [{0: 1, 1: b"a"}, {0: 1, 1: b"b"}])
    with db.write() as txn:
        assert txn.delete(table, {0: 1, 1: b"b"}) == OK
        assert txn.rows(table) == [{0: 1, 1: b"a"}]


@pytest.mark.parametrize("column, key, status, row", [
    (0, 2, OK, BOB), (0, 3, NOTFOUND, None), (1, b"ann@x", OK, ANN),
    (1, b"ann", NOTFOUND, None), (2, 30, EINVAL, None), (3, b"", EINVAL, None),
])
def test_get(db, people, column, key, status, row):
    with db.read() as txn:
        assert txn.get(people, column, key) == (status, row)


def test_get_column(db, people):
    value = ffi.new("fpta_value *")
    with db.read() as txn:
        txn.refresh(people)
        status, found = txn.find(people, 0, 1)
        assert status == OK
        assert lib.fpta_get_column(found[0], people.col[1], value) == OK
        assert python(value[0]) == b"ann@x"
        assert value.type == lib.fpta_string
        assert lib.fpta_get_column(found[0], people.col[3], value) == NODATA
        assert value.type == lib.fpta_null


@pytest.mark.parametrize("column, room, status", [
    (3, 5, OK), (3, 4, errno.ENOBUFS), (1, 6, OK), (1, 5, errno.ENOBUFS)])
def test_get_column2buffer(db, people, column, room, status):
    value = ffi.new("fpta_value *")
    buffer = ffi.new("char[]", b"\xee" * 8)
    with db.read() as txn:
        txn.refresh(people)
        found_status, found = txn.find(people, 0, 2)
        assert found_status == OK
        assert lib.fpta_get_column2buffer(found[0], people.col[column], value,
                                          buffer, room) == status
    if status != OK:
        assert value.type == lib.fpta_null
    else:
        expected = BOB[column]
        assert python(value[0]) == expected
        assert ffi.cast("char *", value.binary_data) == buffer
        assert ffi.buffer(buffer)[:len(expected)] == expected


# column type, value, status, what the tuple then holds
CONVERSIONS = [
    (lib.fptu_uint64, sint(5), OK, 5),
    (lib.fptu_uint64, sint(-1), errno.ERANGE, None),
    (lib.fptu_uint64, uint(2**64 - 1), OK, 2**64 - 1),
    (lib.fptu_uint16, uint(65535), OK, 65535),
    (lib.fptu_uint16, uint(65536), errno.ERANGE, None),
    (lib.fptu_uint32, uint(2**32), errno.ERANGE, None),
    (lib.fptu_int32, sint(-2**31), OK, -2**31),
    (lib.fptu_int32, uint(2**31), errno.ERANGE, None),
    (lib.fptu_int64, uint(2**63), errno.ERANGE, None),
    (lib.fptu_int64, uint(7), OK, 7),
    (lib.fptu_fp32, fp(0.1), OK, single(0.1)),
    (lib.fptu_fp32, fp(1e300), errno.ERANGE, None),
    (lib.fptu_fp64, fp(-0.25), OK, -0.25),
    (lib.fptu_datetime, stamp(2**63 + 1), OK, 2**63 + 1),
    (lib.fptu_cstr, text(b"t\x00xt"), OK, b"t\x00xt"),
    (lib.fptu_opaque, blob(b"\x00\x01"), OK, b"\x00\x01"),
    (lib.fptu_128, blob(bytes(range(16))), OK, bytes(range(16))),
    (lib.fptu_cstr, uint(1), ETYPE, None),
    (lib.fptu_uint64, text(b"1"), ETYPE, None),
    (lib.fptu_datetime, text(b"now"), ETYPE, None),
    (lib.fptu_int32, fp(-3.0), OK, -3),
    (lib.fptu_cstr, blob(b"bin"), OK, b"bin"),
    (lib.fptu_opaque, text(b"txt"), OK, b"txt"),
    (lib.fptu_opaque, fp(1.0), ETYPE, None),
    # longer than a field may hold: what fptu_upsert_string says of it too
    (lib.fptu_cstr, text(b"s" * (lib.fpta_max_col_bytes + 1)), 5002, None),
    (lib.fptu_opaque, blob(b"o" * (lib.fpta_max_col_bytes + 1)), 5002, None),
    (lib.fptu_128, blob(bytes(17)), errno.ERANGE, None),
]


@pytest.mark.parametrize("ftype, value, status, stored", CONVERSIONS)
def test_upsert_column(db, ftype, value, status, stored):
    table = db.create("t", [("id", lib.fptu_uint64, PK), ("v", ftype,
                                                          NOINDEX)])
    with db.read() as txn:
        assert lib.fpta_name_refresh_couple(txn.handle, table.id,
                                            table.col[1]) == OK
    row = Row([(0, lib.fptu_uint64, 1)])
    before = row.image
    assert lib.fpta_upsert_column(row.rw, table.col[1], value) == status
    if status == OK:
        assert fields(row.ro) == {0: 1, 1: stored}
        with db.write() as txn:
            assert txn.put(table, row) == OK
            assert txn.get(table, 0, 1) == (OK, {0: 1, 1: stored})
    else:
        assert row.image == before


# Every column type, stored and found again byte for byte.
VALUES = {
    lib.fptu_uint16: 65535, lib.fptu_int32: -2**31, lib.fptu_uint32: 2**32 - 1,
    lib.fptu_fp32: single(-0.1), lib.fptu_int64: -2**63,
    lib.fptu_uint64: 2**64 - 1, lib.fptu_fp64: 5e-324,
    lib.fptu_datetime: 0x0123456789ABCDEF, lib.fptu_96: bytes(range(12)),
    lib.fptu_128: bytes(range(100, 116)), lib.fptu_160: b"\xff" * 20,
    lib.fptu_256: bytes(range(32)), lib.fptu_cstr: b"h\x00llo",
    lib.fptu_opaque: b"\x00\xff\x00",
    lib.fptu_nested: Row([(3, lib.fptu_uint64, 7)]).image,
}


@pytest.mark.parametrize("verb", ["insert", "upsert"])
@pytest.mark.parametrize("ftype", sorted(VALUES))
def test_every_column_type_round_trips(db, ftype, verb):
    table = db.create("t", [("id", lib.fptu_uint64, PK), ("v", ftype,
                                                          NOINDEX)])
    row = Row([(0, lib.fptu_uint64, 1)])
    row.add(1, ftype, VALUES[ftype], verb=verb)
    with db.write() as txn:
        txn.insert(table, row)
    with db.read() as txn:
        assert txn.get(table, 0, 1) == (OK, {0: 1, 1: VALUES[ftype]})


@pytest.mark.parametrize("verb", ["insert", "upsert"])
def test_opaque_from_an_iovec(db, verb):
    table = db.create("t", [("id", lib.fptu_uint64, PK),
                            ("v", lib.fptu_opaque, NOINDEX)])
    data = ffi.from_buffer(b"\x01\x00\x02")
    row = Row([(0, lib.fptu_uint64, 1)])
    assert getattr(lib, f"fptu_{verb}_opaque_iov")(
        row.rw, 1, {"iov_base": data, "iov_len": 3}) == OK
    with db.write() as txn:
        txn.insert(table, row)
        assert txn.get(table, 0, 1) == (OK, {0: 1, 1: b"\x01\x00\x02"})


def test_a_found_row_fetched_changed_and_updated(db, people):
    with db.write() as txn:
        status, found = txn.find(people, 0, 2)
        assert status == OK
        size = lib.fptu_space(5, found.total_bytes + 16)
        buffer = ffi.new("uint32_t[]", size // 4 + 1)
        copy = lib.fptu_fetch(found[0], buffer, size, 1)
        assert copy != ffi.NULL
        assert lib.fptu_upsert_uint32(copy, 2, 31) == OK
        assert lib.fptu_upsert_null(copy, 3) == OK
        assert lib.fptu_check(copy) == ffi.NULL
        changed = lib.fptu_take_noshrink(copy)
        assert lib.fpta_put(txn.handle, people.id, changed,
                            lib.fpta_update) == OK
    assert rows(db, people) == [ANN, {0: 2, 1: b"bob@x", 2: 31}]


@pytest.mark.parametrize("note", [b"", b"n" * 5000])
def test_rows_handed_out_by_the_engine_can_be_written_back(db, note):
    """Rows that point into the database map, some into pages of the
    writing transaction itself, or (long ones) into overflow pages."""
    people = db.create("people", PEOPLE, [ANN, {**BOB, 3: note}])
    copy = db.create("copy", PEOPLE)
    with db.write() as txn:
        for key in (1, 2):
            status, found = txn.find(people, 0, key)
            assert lib.fpta_put(txn.handle, people.id, found[0],
                                lib.fpta_update) == status == OK
            status, found = txn.find(people, 0, key)
            assert lib.fpta_put(txn.handle, copy.id, found[0],
                                lib.fpta_insert) == status == OK
        with txn.cursor(people) as cursor:
            while not cursor.eof():
                assert lib.fpta_cursor_get(cursor.handle, found) == OK
                assert lib.fpta_cursor_update(cursor.handle, found[0]) == OK
                assert cursor.move(lib.fpta_next) in (OK, NODATA)
        bob = {**BOB, 3: note}
        assert txn.rows(people) == txn.rows(copy) == [ANN, bob]
        assert txn.rows(people, 1) == [ANN, bob]


def test_largest_row(db):
    table = db.create("t", [("id", lib.fptu_uint64, PK),
                            ("a", lib.fptu_opaque, NOINDEX),
                            ("b", lib.fptu_opaque, NOINDEX),
                            ("c", lib.fptu_opaque, NOINDEX),
                            ("d", lib.fptu_opaque, NOINDEX)])
    # 1 header unit, 5 field headers, 2 units of id, 4 varlen words
    room = lib.fpta_max_row_bytes - 4 * (1 + 5 + 2 + 4) - 3 * 65528
    big = {0: 1, 1: b"a" * 65528, 2: b"b" * 65528, 3: b"c" * 65528,
           4: b"d" * room}
    row = table.row(big)
    assert row.ro.total_bytes == lib.fpta_max_row_bytes
    with db.write() as txn:
        txn.insert(table, row)
    with db.read() as txn:
        assert txn.get(table, 0, 1) == (OK, big)


def test_oversized_row_is_refused(db, people):
    units = ffi.new("uint32_t[]", lib.fpta_max_row_bytes // 4 + 2)
    row = ffi.new("fptu_ro *", {"units": ffi.cast("fptu_unit *", units),
                                "total_bytes": lib.fpta_max_row_bytes + 4})
    with db.write() as txn:
        assert lib.fpta_put(txn.handle, people.id, row[0],
                            lib.fpta_upsert) == EINVAL
    assert rows(db, people) == [ANN, BOB]


def test_a_tuple_check_rejects_is_refused(db, people):
    row = people.row({0: 3, 1: b"cy", 2: 4})
    ro = row.ro
    ro.units[1].field.ct &= ~0x1F
    assert lib.fptu_check(row.rw) != ffi.NULL
    with db.write() as txn:
        for op in (lib.fpta_insert, lib.fpta_upsert):
            assert lib.fpta_validate_put(txn.handle, people.id, ro,
                                         op) == EINVAL
            assert lib.fpta_put(txn.handle, people.id, ro, op) == EINVAL
        assert lib.fpta_delete(txn.handle, people.id, ro) == EINVAL
    assert rows(db, people) == [ANN, BOB]
