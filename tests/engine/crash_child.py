"""The child of test_crash.py: commits in a loop until it is killed.

usage: crash_child.py PATH DURABILITY

Commit n sets row 0's generation to n and inserts row n (generation n and
a payload); every fifth commit also replaces the scratch table of the one
before (see scratch_name). After fpta_transaction_end returns, n is printed
and flushed.
"""
import sys

from engine import NOINDEX, NOTFOUND, OK, PK, Database, Table, lib

LOG_COLUMNS = [("id", lib.fptu_uint64, PK),
               ("generation", lib.fptu_uint64, NOINDEX),
               ("payload", lib.fptu_opaque, NOINDEX)]


def payload(generation):
    return generation.to_bytes(8, "little") * 250


def scratch_name(generation):
    """The scratch table the state after that commit holds."""
    return b"scratch%d" % (generation // 5)


def main(path, durability):
    db = Database(path, durability=durability)
    table = Table("log", LOG_COLUMNS)
    with db.read() as txn:
        status, first = txn.get(table, 0, 0)
    assert status == OK
    generation = first[1]
    while True:
        generation += 1
        schema_change = generation % 5 == 0
        level = lib.fpta_schema if schema_change else lib.fpta_write
        with db.txn(level) as txn:
            if schema_change:
                scratch = Table(scratch_name(generation).decode(), LOG_COLUMNS)
                assert lib.fpta_table_drop(
                    txn.handle, scratch_name(generation - 5)) in (OK, NOTFOUND)
                assert lib.fpta_table_create(txn.handle, scratch.name,
                                             scratch.column_set()) == OK
            assert txn.put(table, {0: 0, 1: generation}, lib.fpta_update) == OK
            txn.insert(table, {0: generation, 1: generation,
                               2: payload(generation)})
        print(generation, flush=True)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
