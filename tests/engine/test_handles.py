"""A handle that was closed or ended stays refused (FPTA_EINVAL) after a new
handle of its kind has taken its memory, and the new one is untouched."""
from engine import EINVAL, NOINDEX, OK, PK, Database, ffi, lib

COLUMNS = [("id", lib.fptu_uint64, PK), ("note", lib.fptu_cstr, NOINDEX)]


def test_closed_database(tmp_path):
    old = Database(tmp_path / "old")
    stale = old.handle
    assert old.close() == OK
    new = Database(tmp_path / "new")
    assert lib.fpta_db_close(stale) == EINVAL
    out = ffi.new("fpta_txn **")
    assert lib.fpta_transaction_begin(stale, lib.fpta_read, out) == EINVAL
    table = new.create("t", COLUMNS, [{0: 1}])
    with new.read() as txn:
        assert txn.count(table) == 1
    assert new.close() == OK


def test_ended_transaction(db):
    table = db.create("t", COLUMNS, [{0: 1}])
    stale = db.begin()
    assert stale.end() == OK
    fresh = db.begin()
    assert fresh.put(table, {0: 2}) == OK
    assert stale.put(table, {0: 3}) == EINVAL
    assert stale.end(abort=True) == EINVAL
    assert stale.end() == EINVAL
    assert fresh.end() == OK
    with db.read() as txn:
        assert [row[0] for row in txn.rows(table)] == [1, 2]


def test_closed_cursor(db):
    table = db.create("t", COLUMNS, [{0: 1}, {0: 2}])
    with db.write() as txn:
        stale = txn.cursor(table)
        assert stale.close() == OK
        fresh = txn.cursor(table)
        assert stale.move(lib.fpta_next) == EINVAL
        assert lib.fpta_cursor_delete(stale.handle) == EINVAL
        assert stale.close() == EINVAL
        assert fresh.row() == {0: 1}
        assert fresh.close() == OK
    with db.read() as txn:
        assert txn.count(table) == 2


def test_many_lives_of_one_handle(db):
    """Each new transaction may take the same memory: every earlier handle
    stays refused."""
    stale = []
    for _ in range(300):
        txn = db.begin(lib.fpta_read)
        assert all(lib.fpta_transaction_end(old, False) == EINVAL
                   for old in stale[-3:])
        assert txn.end() == OK
        stale.append(txn.handle)
    assert len({int(ffi.cast("uintptr_t", h)) for h in stale}) == len(stale)
