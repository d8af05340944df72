"""The child of test_thread_patterns.py: one pattern of transactions in the
threads of one process, after another process (its own child) changed the
schema, so that this one meets tables it has no handles of. Prints the
statuses it met as JSON. The parent waits for it under a time limit, so a
hang is a failure there, not here.

usage: thread_child.py PATH pair FIRST SECOND WHEN | waiting | foreign_end
FIRST and SECOND are read, write or schema; WHEN is before or between.
"""
import json
import subprocess
import sys
import threading

from engine import OK, PK, Database, Table, Txn, child_environment, ffi, lib

COLUMNS = [("id", lib.fptu_uint64, PK)]
LEVELS = {"read": lib.fpta_read, "write": lib.fpta_write,
          "schema": lib.fpta_schema}
# Another process creates a table, then holds a write transaction until a
# line comes on its standard input.
OTHER = """
import sys
from engine import Database, lib
db = Database(sys.argv[1])
db.create(sys.argv[2], [("id", lib.fptu_uint64, lib.fpta_primary_unique_ordered_obverse)], [{0: 1}])
if sys.argv[3] == "hold":
    txn = db.begin(lib.fpta_write)
    print("holding", flush=True)
    sys.stdin.readline()
    assert txn.end() == 0
db.close()
"""


def other_process(path, table, hold):
    return subprocess.Popen(
        [sys.executable, "-c", OTHER, path, table, "hold" if hold else "go"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
        env=child_environment())


def begin(db, level):
    """(status, handle) of fpta_transaction_begin."""
    out = ffi.new("fpta_txn **")
    return lib.fpta_transaction_begin(db.handle, level, out), out[0]


def sees(txn, name):
    """The status of finding the table's row: OK when the transaction sees
    the table."""
    return Txn(txn).get(Table(name, COLUMNS), 0, 1)[0]


def pair(db, path, first, second, when):
    """when: the other process changes the schema before the first
    transaction begins, or between the two (a read first only: it does not
    keep the other process from writing)."""
    if when == "before":
        other_process(path, "other", hold=False).wait()
    status, one = begin(db, LEVELS[first])
    assert status == OK
    if when == "between":
        other_process(path, "other", hold=False).wait()
    status, two = begin(db, LEVELS[second])
    result = {"second": status}
    if status == OK:
        result["second sees"] = sees(two, "other")
        result["second end"] = lib.fpta_transaction_end(two, True)
    result["first sees"] = sees(one, "other")
    result["first end"] = lib.fpta_transaction_end(one, False)
    return result


def waiting(db, path):
    other = other_process(path, "other", hold=True)
    assert other.stdout.readline() == b"holding\n"
    schema = {}

    def writer():
        schema["begin"], txn = begin(db, lib.fpta_schema)
        schema["end"] = lib.fpta_transaction_end(txn, True)

    thread = threading.Thread(target=writer)
    thread.start()
    # The schema transaction now waits for the other process's writer.
    thread.join(0.2)
    status, txn = begin(db, lib.fpta_read)
    result = {"read": status, "read sees": sees(txn, "other"),
              "writer still waiting": thread.is_alive()}
    result["read end"] = lib.fpta_transaction_end(txn, False)
    other.stdin.write(b"go\n")
    other.stdin.flush()
    other.wait()
    thread.join()
    result.update(("schema " + k, v) for k, v in schema.items())
    return result


def foreign_end(db, path):
    table = Table("other", COLUMNS)
    status, txn = begin(db, lib.fpta_write)
    ended = []
    thread = threading.Thread(
        target=lambda: ended.append(lib.fpta_transaction_end(txn, False)))
    thread.start()
    thread.join()
    result = {"end elsewhere": ended[0],
              "put after": Txn(txn).put(table, {0: 2}),
              "end here": lib.fpta_transaction_end(txn, False)}
    status, txn = begin(db, lib.fpta_write)
    result["next write"] = status
    result["next end"] = lib.fpta_transaction_end(txn, False)
    return result


def main(path, pattern, *levels):
    db = Database(path)
    db.create("mine", COLUMNS, [{0: 1}])
    if pattern == "foreign_end":
        other_process(path, "other", hold=False).wait()
    result = {"pair": pair, "waiting": waiting,
              "foreign_end": foreign_end}[pattern](db, path, *levels)
    assert db.close() == OK
    print(json.dumps(result), flush=True)


if __name__ == "__main__":
    main(*sys.argv[1:])
