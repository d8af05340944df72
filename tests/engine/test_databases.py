"""Database files, durability, transactions and their isolation."""
import ctypes
import errno
import os
import stat
import subprocess
import sys
import threading

import pytest

from engine import (ECOLUMN, EEXIST, EINVAL, ETXNFAILED, MDB_MAP_FULL,
                    NOINDEX, NOTFOUND, OK, PK, Database, Row, Table, Txn,
                    child_environment, ffi, lib, open_db)

ITEMS = [("id", lib.fptu_uint64, PK), ("data", lib.fptu_opaque, NOINDEX)]
MDB_INVALID = -30793


def items(db, *ids):
    return db.create("items", ITEMS, [{0: i, 1: b"x"} for i in ids])


def ids(txn, table):
    return [row[0] for row in txn.rows(table)]


@pytest.fixture
def umask():
    mask = os.umask(0o022)
    yield mask
    os.umask(mask)


@pytest.mark.parametrize("mode, expected", [(0o600, 0o600), (0o640, 0o640),
                                            (0, 0o644), (0o666, 0o644)])
def test_file_is_created_with_its_mode(tmp_path, umask, mode, expected):
    path = tmp_path / "db"
    status, handle = open_db(path, mode=mode)
    assert status == OK
    assert stat.S_ISREG(os.stat(path).st_mode)
    assert stat.S_IMODE(os.stat(path).st_mode) == expected
    assert lib.fpta_db_close(handle) == OK


def test_file_grows_as_needed(db):
    items(db, *range(100))
    assert os.path.getsize(db.path) < 4 << 20


@pytest.mark.parametrize("durability", [lib.fpta_sync, lib.fpta_lazy,
                                        lib.fpta_weak])
def test_committed_rows_are_there_after_reopening(tmp_path, durability):
    db = Database(tmp_path / "db", durability=durability, regime=15)
    table = items(db, 3, 1, 2)
    db.reopen()
    with db.read() as txn:
        assert ids(txn, table) == [1, 2, 3]
    assert db.close() == OK


@pytest.mark.parametrize("content, durability, status", [
    (None, lib.fpta_readonly, errno.ENOENT),
    (b"not a database" * 1000, lib.fpta_weak, MDB_INVALID),
    (b"not a database" * 1000, lib.fpta_readonly, MDB_INVALID),
    ("folder", lib.fpta_weak, errno.EISDIR)])
def test_what_cannot_be_opened(tmp_path, content, durability, status):
    path = tmp_path / "db"
    if content == "folder":
        path.mkdir()
    elif content:
        path.write_bytes(content)
    assert open_db(path, durability) == (status, ffi.NULL)
    assert path.exists() == bool(content)
    if isinstance(content, bytes):
        assert path.read_bytes() == content


@pytest.mark.parametrize("lock", [False, True])
@pytest.mark.parametrize("durability", [lib.fpta_readonly, lib.fpta_weak])
def test_an_empty_file_is_not_a_database(tmp_path, durability, lock):
    """Nobody is making one of it (no lock held): refused in both modes, the
    file left empty."""
    path = tmp_path / "db"
    path.write_bytes(b"")
    if lock:
        (tmp_path / "db-lock").write_bytes(bytes(8192))
    assert open_db(path, durability) == (MDB_INVALID, ffi.NULL)
    assert path.read_bytes() == b""


def test_readonly_refuses_write_transactions(db):
    table = items(db, 1)
    assert db.close() == OK
    readonly = Database(db.path, durability=lib.fpta_readonly)
    for level in (lib.fpta_write, lib.fpta_schema):
        out = ffi.new("fpta_txn **")
        status = lib.fpta_transaction_begin(readonly.handle, level, out)
        assert (status, out[0]) == (errno.EROFS, ffi.NULL)
    with readonly.read() as txn:
        assert ids(txn, table) == [1]
    assert readonly.close() == OK


def test_same_file_twice_is_busy(db):
    assert open_db(db.path) == (errno.EBUSY, ffi.NULL)


@pytest.mark.parametrize("level", [lib.fpta_read, lib.fpta_write,
                                   lib.fpta_schema])
def test_close_with_a_transaction_open_is_busy(db, level):
    table = items(db, 1)
    txn = db.begin(level)
    assert db.close() == errno.EBUSY
    assert ids(txn, table) == [1]
    assert txn.end() == OK


@pytest.mark.parametrize("abort, status", [(True, OK), (False, MDB_MAP_FULL)])
def test_filling_the_size_limit(tmp_path, abort, status):
    db = Database(tmp_path / "db", megabytes=1)
    table = items(db, 0)
    txn = db.begin()
    results = [txn.put(table, {0: i, 1: bytes(3000)})
               for i in range(1, 400)]
    failed = results.index(MDB_MAP_FULL)
    assert set(results[:failed]) == {OK}
    assert set(results[failed + 1:]) == {ETXNFAILED}
    assert txn.end(abort=abort) == status
    with db.write() as txn:
        assert ids(txn, table) == [0]
        txn.insert(table, {0: 1, 1: b"after"})
    assert db.close() == OK


def test_read_snapshot_is_stable_while_a_writer_commits(db):
    table = items(db, 1)
    reader = db.begin(lib.fpta_read)
    with db.write() as txn:
        txn.insert(table, {0: 2, 1: b"new"})
        assert txn.put(table, {0: 1, 1: b"changed"}, lib.fpta_update) == OK
    assert reader.get(table, 0, 2) == (NOTFOUND, None)
    assert reader.get(table, 0, 1) == (OK, {0: 1, 1: b"x"})
    assert (ids(reader, table), reader.count(table)) == ([1], 1)
    assert reader.end() == OK
    with db.read() as txn:
        assert ids(txn, table) == [1, 2]


def test_a_second_writer_waits(db):
    table = items(db)
    began = threading.Event()

    def second_writer():
        with db.write() as txn:
            began.set()
            txn.insert(table, {0: 2, 1: b""})

    thread = threading.Thread(target=second_writer)
    with db.write() as first:
        thread.start()
        assert not began.wait(0.3)
        first.insert(table, {0: 1, 1: b""})
    thread.join()
    with db.read() as txn:
        assert ids(txn, table) == [1, 2]


def test_abort_discards_everything(db):
    table = items(db, 1)
    txn = db.begin(lib.fpta_schema)
    txn.insert(table, {0: 2, 1: b""})
    assert lib.fpta_table_create(txn.handle, b"other",
                                 Table("other", ITEMS).column_set()) == OK
    assert txn.sequence(table, 5) == (OK, 0)
    assert txn.end(abort=True) == OK
    with db.read() as txn:
        assert ids(txn, table) == [1]
        assert txn.sequence(table, 0) == (OK, 0)
        assert lib.fpta_name_refresh(txn.handle, Table("other", ITEMS).id) \
            == NOTFOUND


OTHER_PROCESS = """
import sys
from engine import Database, lib
from test_databases import ITEMS, items
db = Database(sys.argv[1])
with db.schema() as txn:
    assert lib.fpta_table_drop(txn.handle, b"items") == 0
db.create("items", ITEMS[::-1], [{0: b"moved", 1: 7}])
db.create("added", ITEMS, [{0: 1, 1: b"new"}])
"""


def test_changes_of_another_process_are_seen(db):
    table = items(db, 1)
    with db.read() as txn:
        assert ids(txn, table) == [1]
    subprocess.run([sys.executable, "-c", OTHER_PROCESS, str(db.path)],
                   check=True, env=child_environment())
    with db.read() as txn:
        assert txn.rows(table) == [{1: 7, 0: b"moved"}]
        assert ids(txn, Table("added", ITEMS)) == [1]
    with db.write() as txn:
        txn.insert(Table("added", ITEMS), {0: 2, 1: b""})


def test_schema_level_is_refused_when_not_alterable(tmp_path):
    Database(tmp_path / "db").close()
    db = Database(tmp_path / "db", alterable=False)
    out = ffi.new("fpta_txn **")
    assert lib.fpta_transaction_begin(db.handle, lib.fpta_schema, out) \
        == errno.EPERM
    with db.write():
        pass
    assert db.close() == OK


def through_cursor(txn, table, call):
    with txn.cursor(table) as cursor:
        return call(cursor)


# Calls that change something: refused in a read transaction, and (for the
# schema) in a plain write transaction.
WRITES = {
    "put": lambda txn, t: txn.put(t, {0: 9, 1: b""}),
    "upsert": lambda txn, t: txn.put(t, {0: 1, 1: b"y"}, lib.fpta_upsert),
    "delete": lambda txn, t: txn.delete(t, {0: 1, 1: b"x"}),
    "sequence": lambda txn, t: txn.sequence(t, 1)[0],
    "cursor_delete": lambda txn, t: through_cursor(
        txn, t, lambda cursor: lib.fpta_cursor_delete(cursor.handle)),
    "cursor_update": lambda txn, t: through_cursor(
        txn, t, lambda cursor: cursor.update(t, {0: 1, 1: b"y"})),
}
SCHEMA_CHANGES = {
    "create": lambda txn, t: lib.fpta_table_create(
        txn.handle, b"other", Table("other", ITEMS).column_set()),
    "drop": lambda txn, t: lib.fpta_table_drop(txn.handle, b"items"),
    "clear": lambda txn, t: lib.fpta_table_clear(txn.handle, t.id, True),
}


@pytest.mark.parametrize("level, change", [
    *[(lib.fpta_read, name) for name in sorted(WRITES)],
    *[(lib.fpta_read, name) for name in sorted(SCHEMA_CHANGES)],
    *[(lib.fpta_write, name) for name in sorted(SCHEMA_CHANGES)]])
def test_refused_changes(db, level, change):
    table = items(db, 1)
    txn = db.begin(level)
    assert {**WRITES, **SCHEMA_CHANGES}[change](txn, table) == errno.EPERM
    assert txn.end() == OK
    with db.read() as txn:
        assert txn.rows(table) == [{0: 1, 1: b"x"}]
        assert txn.sequence(table, 0) == (OK, 0)


def test_a_refused_call_changes_nothing_and_the_transaction_commits(db):
    table = items(db, 1)
    with db.write() as txn:
        txn.insert(table, {0: 2, 1: b"kept"})
        assert txn.put(table, {0: 1, 1: b"taken"}) == EEXIST
        assert txn.put(table, Row([(0, lib.fptu_uint64, 3),
                                   (5, lib.fptu_opaque, b"")])) == ECOLUMN
        assert txn.put(table, Row([(0, lib.fptu_uint64, 4),
                                   (1, lib.fptu_cstr, b"")])) == ECOLUMN
    with db.read() as txn:
        assert txn.rows(table) == [{0: 1, 1: b"x"}, {0: 2, 1: b"kept"}]


def test_names_of_another_databases_tables(tmp_path, db):
    table = items(db, 1)
    other = Database(tmp_path / "other")
    with db.read() as txn:
        assert lib.fpta_name_refresh(txn.handle, table.id) == OK
    with other.write() as txn:
        assert txn.put(table, {0: 1, 1: b""}) == NOTFOUND
    assert other.close() == OK


# Calls given a null, closed or ended handle.
DEAD_HANDLES = {
    "db_close": lambda h, t: lib.fpta_db_close(h.db),
    "begin": lambda h, t: lib.fpta_transaction_begin(
        h.db, lib.fpta_read, ffi.new("fpta_txn **")),
    "end": lambda h, t: lib.fpta_transaction_end(h.txn, True),
    "put": lambda h, t: Txn(h.txn).put(t, {0: 5, 1: b""}, lib.fpta_upsert),
    "get": lambda h, t: lib.fpta_get(h.txn, t.col[0], ffi.new(
        "fpta_value *", lib.fpta_value_uint(1)), ffi.new("fptu_ro *")),
    "cursor_open": lambda h, t: lib.fpta_cursor_open(
        h.txn, t.col[0], lib.fpta_value_begin(), lib.fpta_value_end(),
        ffi.NULL, lib.fpta_ascending, ffi.new("fpta_cursor **")),
    "cursor_move": lambda h, t: lib.fpta_cursor_move(h.cursor,
                                                     lib.fpta_first),
    "cursor_get": lambda h, t: lib.fpta_cursor_get(h.cursor,
                                                   ffi.new("fptu_ro *")),
    "cursor_close": lambda h, t: lib.fpta_cursor_close(h.cursor),
}


class Handles:
    def __init__(self, db=ffi.NULL, txn=ffi.NULL, cursor=ffi.NULL):
        self.db, self.txn, self.cursor = db, txn, cursor


@pytest.mark.parametrize("call", sorted(DEAD_HANDLES))
@pytest.mark.parametrize("state", ["null", "closed"])
def test_null_and_closed_handles_are_refused(tmp_path, db, state, call):
    table = items(db, 1)
    handles = Handles()
    if state == "closed":
        txn = db.begin()
        cursor = txn.cursor(table)
        assert cursor.close() == OK
        assert txn.end() == OK
        other = Database(tmp_path / "other")
        handles = Handles(other.handle, txn.handle, cursor.handle)
        assert other.close() == OK
    assert DEAD_HANDLES[call](handles, table) == EINVAL
    with db.read() as txn:
        assert ids(txn, table) == [1]


# Every status code the engine returns has a text of its own.
CODES = [0, -1, NOTFOUND, EINVAL, EEXIST, errno.ENOSYS, 5001, 5002, 5003,
         errno.EBUSY, errno.EPERM, errno.EROFS, errno.ENOENT, errno.ERANGE,
         errno.ENOMEM]
OWN_TEXTS = {
    5004: "A value of a kind that does not fit the column's type",
    5005: "The row holds a field of a column the table does not have, "
          "of the wrong type, or two fields of one column",
    5006: "The row lacks a value of a non-nullable indexed column",
    5007: "The transaction failed earlier and can only be aborted",
    5008: "The new row does not keep the cursor's key",
}
LMDB_CODES = [code for code in range(-30799, -30779) if code != NOTFOUND]


def message(code):
    return ffi.string(lib.fpta_strerror(code)).decode()


@pytest.mark.parametrize("code", CODES)
def test_every_status_has_a_text(code):
    assert message(code) and not message(code).startswith("Unknown error")


@pytest.mark.parametrize("code", sorted(OWN_TEXTS))
def test_texts_of_the_engines_own_codes(code):
    assert message(code) == OWN_TEXTS[code]


def test_lmdb_errors_have_lmdbs_texts():
    lmdb = ctypes.CDLL("liblmdb.so.0")
    lmdb.mdb_strerror.restype = ctypes.c_char_p
    assert {code: message(code) for code in LMDB_CODES} == {
        code: lmdb.mdb_strerror(code).decode() for code in LMDB_CODES}
