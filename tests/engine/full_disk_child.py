"""The child of test_full_disk.py, run in a mount namespace of its own on a
small tmpfs at FOLDER: fills it in one way and prints, as JSON, what the
engine said and what was left in the folder.

usage: full_disk_child.py FOLDER new | lock_missing | commit
"""
import errno
import json
import os
import sys

from engine import NOINDEX, OK, PK, Database, Table, lib, open_db

COLUMNS = [("id", lib.fptu_uint64, PK), ("data", lib.fptu_opaque, NOINDEX)]


def fill(folder):
    """Writes a file until the file system has no room left."""
    with open(os.path.join(folder, "filler"), "wb", buffering=0) as filler:
        try:
            while True:
                filler.write(bytes(4096))
        except OSError as error:
            assert error.errno == errno.ENOSPC


def new(folder):
    path = os.path.join(folder, "db")
    fill(folder)
    status, _ = open_db(path)
    return {"open": status, "left": sorted(os.listdir(folder))}


def lock_missing(folder):
    path = os.path.join(folder, "db")
    db = Database(path)
    db.create("t", COLUMNS, [{0: 1, 1: b"x"}])
    assert db.close() == OK
    os.unlink(path + "-lock")
    before = open(path, "rb").read()
    fill(folder)
    status, _ = open_db(path)
    return {"open": status, "left": sorted(os.listdir(folder)),
            "unchanged": open(path, "rb").read() == before}


def commit(folder):
    path = os.path.join(folder, "db")
    db = Database(path, durability=lib.fpta_sync)
    table = db.create("t", COLUMNS)
    committed, status = 0, OK
    # Commits of many pages: the write that meets the end of the room is
    # cut short, which LMDB reports as EIO.
    while status == OK:
        txn = db.begin()
        for row in range(committed, committed + 16):
            assert txn.put(table, {0: row, 1: bytes(3000)}) == OK
        status = txn.end()
        committed += 16 * (status == OK)
    db.reopen()
    with db.read() as txn:
        count = txn.count(table)
    assert db.close() == OK
    return {"commit": status, "rows kept": count == committed,
            "some committed": committed > 0}


if __name__ == "__main__":
    folder, case = sys.argv[1:]
    print(json.dumps({"new": new, "lock_missing": lock_missing,
                      "commit": commit}[case](folder)), flush=True)
