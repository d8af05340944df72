"""Cursors: ranges, orders, the ten moves, changes through a cursor, counts,
and the filters they apply."""
import errno
import threading

import pytest

from engine import (COMPARISON, EINVAL, EKEYMISMATCH, ENOKEY, ETYPE, NODATA,
                    NOINDEX, OK, PK, Filters, blob, fields, ffi, fp, holds,
                    lib, python, sint, text, uint)

NUMBERS = [("id", lib.fptu_uint64, PK),
           ("grp", lib.fptu_int32,
            lib.fpta_secondary_withdups_ordered_obverse),
           ("name", lib.fptu_cstr, NOINDEX)]
# ids 1..10; grp 0: 3 6 9, grp 1: 1 4 7 10, grp 2: 2 5 8; odd ids have a name
ROWS = [{0: i, 1: i % 3, **({2: b"n%d" % i} if i % 2 else {})}
        for i in range(1, 11)]
ASC, DESC = lib.fpta_ascending, lib.fpta_descending


@pytest.fixture
def numbers(db):
    return db.create("numbers", NUMBERS, ROWS)


def ids(rows):
    return [row[0] for row in rows]


@pytest.mark.parametrize("column, low, high, options, expected", [
    (0, None, None, ASC, list(range(1, 11))),
    (0, 3, 7, ASC, [3, 4, 5, 6]),
    (0, 3, 7, DESC, [6, 5, 4, 3]),
    (0, 3, 3, ASC, []),
    (0, None, 4, ASC, [1, 2, 3]),
    (0, 8, None, DESC, [10, 9, 8]),
    (0, 0, 2**64 - 1, ASC, list(range(1, 11))),
    (1, 1, 2, ASC, [1, 4, 7, 10]),
    (1, 1, None, ASC, [1, 4, 7, 10, 2, 5, 8]),
    (1, 1, None, DESC, [8, 5, 2, 10, 7, 4, 1]),
    (1, None, 0, DESC, []),
])
def test_range_and_order(db, numbers, column, low, high, options, expected):
    with db.read() as txn:
        assert ids(txn.rows(numbers, column, low, high,
                            options=options)) == expected
        unsorted = txn.rows(numbers, column, low, high,
                            options=lib.fpta_unsorted)
    assert sorted(ids(unsorted)) == sorted(expected)


def test_cursor_stands_on_the_first_row_of_its_range(db, numbers):
    with db.read() as txn:
        with txn.cursor(numbers, 0, 3, 7, options=DESC) as cursor:
            assert (cursor.eof(), cursor.row()[0]) == (0, 6)
        with txn.cursor(numbers, 0, 3, 3) as cursor:
            assert cursor.eof() != 0
            assert cursor.get() == (NODATA, None)
            assert cursor.move(lib.fpta_next) == NODATA
            assert cursor.move(lib.fpta_first) == NODATA
            assert cursor.move(lib.fpta_last) == NODATA


@pytest.mark.parametrize("options, first", [
    (lib.fpta_ascending_dont_fetch, 1), (lib.fpta_descending_dont_fetch, 10)])
def test_dont_fetch_stands_nowhere_until_moved(db, numbers, options, first):
    with db.read() as txn:
        with txn.cursor(numbers, options=options) as cursor:
            assert cursor.eof() != 0
            assert cursor.get() == (NODATA, None)
            assert cursor.move(lib.fpta_first) == OK
            assert cursor.row()[0] == first


def grp(g):
    return ("grp", g)


# (column, options, moves): each move with the id it lands on, ("grp", g)
# where only the key is promised, or NODATA.
MOVES = [
    (1, ASC, [("first", 3), ("dup_next", 6), ("dup_last", 9),
              ("dup_prev", 6), ("dup_first", 3), ("next", 6), ("next", 9),
              ("next", 1), ("dup_prev", NODATA)]),
    (1, ASC, [("last", 8), ("prev", 5), ("prev", 2), ("prev", 10),
              ("key_prev", grp(0)), ("key_next", grp(1)),
              ("key_next", grp(2)), ("key_next", NODATA)]),
    (1, ASC, [("first", 3), ("key_prev", NODATA)]),
    (1, ASC, [("last", 8), ("next", NODATA)]),
    (1, ASC, [("first", 3), ("prev", NODATA)]),
    (1, ASC, [("last", 8), ("dup_next", NODATA)]),
    (1, DESC, [("first", 8), ("next", 5), ("dup_next", 2),
               ("dup_next", NODATA)]),
    (1, DESC, [("last", 3), ("dup_prev", 6), ("key_prev", grp(1)),
               ("key_prev", grp(2)), ("key_prev", NODATA)]),
    (0, ASC, [("first", 1), ("dup_last", 1), ("dup_first", 1),
              ("key_next", 2), ("next", 3), ("key_prev", 2),
              ("dup_next", NODATA)]),
    (0, DESC, [("first", 10), ("next", 9), ("key_next", 8), ("last", 1),
               ("prev", 2), ("key_prev", 3), ("dup_prev", NODATA)]),
]


@pytest.mark.parametrize("column, options, moves", MOVES)
def test_moves(db, numbers, column, options, moves):
    with db.read() as txn:
        with txn.cursor(numbers, column, options=options) as cursor:
            for op, expected in moves:
                before = cursor.get()
                status = cursor.move(getattr(lib, f"fpta_{op}"))
                if expected == NODATA:
                    # past an end; a dup_ move leaves the cursor on its row
                    assert status == NODATA, op
                    assert cursor.get() == (before if op.startswith("dup")
                                            else (NODATA, None))
                    assert (cursor.eof() == 0) == op.startswith("dup")
                    continue
                row = cursor.row()
                landed = (row[0] if isinstance(expected, int)
                          else grp(row[1]))
                assert (status, landed, cursor.eof()) == (OK, expected, 0), op


@pytest.mark.parametrize("column, change, status", [
    (0, {0: 4, 1: 1, 2: b"four"}, OK),
    (0, {0: 4, 1: 2}, OK),
    (0, {0: 5, 1: 1}, EKEYMISMATCH),
    (0, {0: 4}, ENOKEY),
    (1, {0: 4, 1: 1, 2: b"four"}, OK),
    (1, {0: 4, 1: 2}, EKEYMISMATCH),
])
def test_cursor_update(db, numbers, column, change, status):
    with db.write() as txn:
        with txn.cursor(numbers, column, 4 if column == 0 else 1) as cursor:
            if column:
                assert cursor.move(lib.fpta_dup_next) == OK
            assert cursor.row() == ROWS[3]
            assert cursor.update(numbers, change) == status
            assert cursor.row() == (change if status == OK else ROWS[3])
    expected = ROWS[:3] + [change if status == OK else ROWS[3]] + ROWS[4:]
    with db.read() as txn:
        assert txn.rows(numbers) == expected
        assert sorted(ids(txn.rows(numbers, 1))) == list(range(1, 11))


@pytest.mark.parametrize("column, low, options, then", [
    (0, 3, ASC, 4), (0, 10, ASC, None), (0, 5, DESC, 4),
    (1, 0, ASC, 6), (1, None, DESC, 5)])
def test_cursor_delete_stands_on_the_next_row(db, numbers, column, low,
                                              options, then):
    high = None if options == ASC or low is None else low + 1
    low = low if options == ASC else None
    with db.write() as txn:
        with txn.cursor(numbers, column, low, high, options=options) as cursor:
            gone = cursor.row()[0]
            assert lib.fpta_cursor_delete(cursor.handle) == OK
            if then is None:
                assert (cursor.eof() != 0, cursor.get()) == (True,
                                                              (NODATA, None))
            else:
                assert cursor.row()[0] == then
    with db.read() as txn:
        assert ids(txn.rows(numbers)) == [i for i in range(1, 11)
                                          if i != gone]
        assert txn.count(numbers) == 9


@pytest.mark.parametrize("low, high, limit, expected", [
    (None, None, 100, 10), (None, None, 10, 10), (None, None, 3, 3),
    (None, None, 0, 0), (3, 7, 100, 4), (3, 7, 2, 2)])
def test_count(db, numbers, low, high, limit, expected):
    with db.read() as txn:
        with txn.cursor(numbers, 0, low, high) as cursor:
            assert cursor.count(limit) == (OK, expected)
            assert cursor.row() == ROWS[(low or 1) - 1]


@pytest.mark.parametrize("abort", [False, True])
def test_cursor_left_open_at_transaction_end(db, numbers, abort):
    txn = db.begin(lib.fpta_write)
    cursor = txn.cursor(numbers)
    assert txn.end(abort=abort) == OK
    assert cursor.move(lib.fpta_next) == EINVAL
    assert cursor.get() == (EINVAL, None)
    assert cursor.count(10) == (EINVAL, 0)
    assert lib.fpta_cursor_delete(cursor.handle) == EINVAL
    assert cursor.update(numbers, ROWS[0]) == EINVAL
    assert cursor.eof() == EINVAL
    assert cursor.close() == OK
    with db.read() as txn:
        assert txn.rows(numbers) == ROWS


# Filters, each with the rows it keeps worked out in Python by holds().
FILTERS = [(op, column, x) for op in COMPARISON
           for column, x in [(0, 5), (1, 1), (2, b"n5"), (2, b"n")]] + [
    ("not", ("eq", 2, b"n5")),
    ("and", ("ge", 0, 3), ("lt", 0, 8)),
    ("or", ("eq", 1, 1), ("eq", 2, b"n5")),
    ("not", ("and", ("or", ("eq", 1, 1), ("ge", 0, 3)), ("lt", 0, 8))),
]


@pytest.mark.parametrize("tree", FILTERS, ids=repr)
def test_filter(db, numbers, tree):
    expected = [row for row in ROWS if holds(tree, row)]
    filters = Filters()
    where = filters.tree(numbers, tree)
    with db.read() as txn:
        assert txn.rows(numbers, where=where) == expected
        assert txn.rows(numbers, where=where, options=DESC) == expected[::-1]
        with txn.cursor(numbers, 1, where=where) as cursor:
            assert cursor.count(100) == (OK, len(expected))


def test_python_predicates_with_their_arguments(db, numbers):
    marker, context = object(), object()
    arg, context_arg = ffi.new_handle(marker), ffi.new_handle(context)

    def column_test(field, given):
        assert ffi.from_handle(given) is marker
        return python(lib.fpta_field2value(field)) != 1

    def row_test(row, given_context, given):
        assert ffi.from_handle(given_context) is context
        assert ffi.from_handle(given) is marker
        return fields(row[0])[0] % 2 == 0

    filters = Filters()
    where = filters.and_(filters.fncol(numbers.col[1], column_test, arg),
                         filters.fnrow(row_test, context_arg, arg))
    with db.read() as txn:
        assert ids(txn.rows(numbers, where=where)) == [2, 6, 8]


def test_a_column_predicate_gets_null_for_a_missing_field(db, numbers):
    filters = Filters()
    where = filters.fncol(numbers.col[2], lambda field, _: field == ffi.NULL)
    with db.read() as txn:
        assert ids(txn.rows(numbers, where=where)) == [2, 4, 6, 8, 10]


# Values that do not fit a column, as a filter's operand or a cursor's bound
# (only the indexed columns 0 and 1 take a bound).
MISFITS = [(0, text(b"1"), ETYPE), (0, blob(b"\x01"), ETYPE),
           (1, text(b"x"), ETYPE), (0, sint(-1), errno.ERANGE),
           (1, sint(2**31), errno.ERANGE), (1, fp(0.5), errno.ERANGE)]


@pytest.mark.parametrize("place, column, value, status", [
    *[("filter", *misfit) for misfit in MISFITS],
    ("filter", 2, uint(1), ETYPE), ("filter", 0, lib.fpta_value_end(), ETYPE),
    *[("bound", *misfit) for misfit in MISFITS]])
def test_a_value_that_does_not_fit_is_refused_at_open(db, numbers, place,
                                                      column, value, status):
    where = Filters().cmp(lib.fpta_node_eq, numbers.col[column], value)
    with db.read() as txn:
        if place == "filter":
            assert txn.open_cursor(numbers, where=where) == (status, None)
        else:
            assert txn.open_cursor(numbers, column, value) == (status, None)


def test_the_filter_need_not_outlive_the_open(db, numbers):
    filters = Filters()
    where = filters.and_(filters.cmp(lib.fpta_node_gt, numbers.col[0],
                                     uint(8)),
                         filters.cmp(lib.fpta_node_ne, numbers.col[1],
                                     sint(0)))
    with db.read() as txn:
        with txn.cursor(numbers, where=where) as cursor:
            for node in filters.kept:
                ffi.memmove(node, b"\xff" * ffi.sizeof("fpta_filter"),
                            ffi.sizeof("fpta_filter"))
            assert ids(cursor.rest()) == [10]


def shared_levels(filters, leaf, levels):
    """levels `and` nodes, each with both operands on the node below."""
    node = leaf
    for _ in range(levels):
        node = filters.and_(node, node)
    return node


@pytest.mark.parametrize("limit, levels, expected", [
    (uint(0), 30, []), (uint(100), 12, list(range(1, 11)))])
def test_shared_subtrees_are_checked_once(db, numbers, limit, levels,
                                          expected):
    filters = Filters()
    leaf = filters.cmp(lib.fpta_node_lt, numbers.col[0], limit)
    where = shared_levels(filters, leaf, levels)
    found = []

    def scan():
        with db.read() as txn:
            found.append(ids(txn.rows(numbers, where=where)))

    worker = threading.Thread(target=scan, daemon=True)
    worker.start()
    worker.join(120)
    assert found == [expected]


def cycle(f, t):
    node = f.and_(f.cmp(lib.fpta_node_eq, t.col[0], uint(1)), ffi.NULL)
    node.node_and.b = f.not_(node)
    return node


@pytest.mark.parametrize("build", [
    *[lambda f, t, k=kind: f.cmp(k, t.col[0], uint(1))
      for kind in (99, 1, 3, 5, -5)],
    cycle,
    lambda f, t: f.and_(f.cmp(lib.fpta_node_eq, t.col[0], uint(1)), ffi.NULL),
    lambda f, t: f.not_(ffi.NULL),
    lambda f, t: f.cmp(lib.fpta_node_eq, ffi.NULL, uint(1)),
], ids=["kind-99", "kind-1", "kind-3", "kind-5", "kind-minus-5", "cycle",
        "null-operand", "null-not", "null-column"])
def test_malformed_filters_are_refused(db, numbers, build):
    filters = Filters()
    where = build(filters, numbers)
    with db.read() as txn:
        assert txn.open_cursor(numbers, where=where) == (EINVAL, None)


# Every kind of index, for cursors over rows that other calls delete.
WALK = [("id", lib.fptu_uint64, PK),
        ("grp", lib.fptu_int32, lib.fpta_secondary_withdups_ordered_obverse),
        ("code", lib.fptu_uint32, lib.fpta_secondary_unique_ordered_obverse)]
WALK_ROWS = [{0: i, 1: i % 3, 2: 100 - i} for i in range(1, 10)]
WALK_ORDER = {0: lambda row: row[0], 1: lambda row: (row[1], row[0]),
              2: lambda row: row[2]}


def walk_order(column, options):
    order = [row[0] for row in sorted(WALK_ROWS, key=WALK_ORDER[column])]
    return order if options == ASC else order[::-1]


@pytest.mark.parametrize("options", [ASC, DESC])
@pytest.mark.parametrize("column", [0, 1, 2])
def test_rows_deleted_under_a_cursor_by_another_call(db, column, options):
    """Deleting the odd ids (among them the last row of a key) through
    fpta_delete while a cursor stands on them: the cursor then stands in the
    gap (no row, eof) and fpta_next reaches the following row."""
    table = db.create("walk", WALK, WALK_ROWS)
    visited = []
    with db.write() as txn:
        with txn.cursor(table, column, options=options) as cursor:
            while not cursor.eof():
                row = cursor.row()
                visited.append(row[0])
                if row[0] % 2:
                    assert txn.delete(table, row) == OK
                    assert (cursor.get(), cursor.eof()) == ((NODATA, None), 1)
                    assert lib.fpta_cursor_delete(cursor.handle) == NODATA
                assert cursor.move(lib.fpta_next) in (OK, NODATA)
    assert visited == walk_order(column, options)
    with db.read() as txn:
        assert ids(txn.rows(table)) == [2, 4, 6, 8]


@pytest.mark.parametrize("move, then", [
    (lib.fpta_prev, 3), (lib.fpta_next, 5), (lib.fpta_key_next, 5),
    (lib.fpta_key_prev, 3), (lib.fpta_dup_next, None)])
@pytest.mark.parametrize("column", [0, 1, 2])
def test_moves_from_the_gap_a_deleted_row_left(db, column, move, then):
    """then: the place in the cursor's order the move reaches from the gap
    of the row at place 4 (None: the move is refused, NODATA). On the index
    with duplicates (grp: ids 3 6 9 | 1 4 7 | 2 5 8) the key moves leave
    the deleted row's key, onto the first row of the next or previous key
    (ids 2 and 3)."""
    if column == 1 and move in (lib.fpta_key_next, lib.fpta_key_prev):
        then = 6 if move == lib.fpta_key_next else 0
    table = db.create("walk", WALK, WALK_ROWS)
    order = walk_order(column, ASC)
    with db.write() as txn:
        with txn.cursor(table, column) as cursor:
            for _ in range(4):
                assert cursor.move(lib.fpta_next) == OK
            assert txn.delete(table, {0: order[4], 1: order[4] % 3,
                                      2: 100 - order[4]}) == OK
            if then is None:
                assert cursor.move(move) == NODATA
            else:
                assert cursor.move(move) == OK
                assert cursor.row()[0] == order[then]


@pytest.mark.parametrize("column", [0, 1, 2])
@pytest.mark.parametrize("low, high, limit", [
    (None, None, 100), (None, None, 4), (1, 2, 100), (1, 3, 100),
    (1, 3, 1), (None, None, 0)])
def test_count_through_every_index(db, column, low, high, limit):
    """Counting without a filter, which reads no rows, agrees with a walk."""
    table = db.create("walk", WALK, WALK_ROWS)
    values = {0: lambda x: x + 4, 1: lambda x: x, 2: lambda x: x + 93}[column]
    low = None if low is None else values(low)
    high = None if high is None else values(high)
    with db.read() as txn:
        walked = len(txn.rows(table, column, low, high))
        with txn.cursor(table, column, low, high) as cursor:
            assert cursor.count(limit) == (OK, min(walked, limit))
