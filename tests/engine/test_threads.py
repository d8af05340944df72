"""Readers scanning in threads while a writer thread commits, now and then
changing the schema: every reader sees whole commits only, and its snapshot
holds for its whole life."""
import random
import threading

from engine import NOINDEX, OK, PK, Table, lib

ROWS, COMMITS, READERS = 40, 150, 3
COLUMNS = [("id", lib.fptu_uint64, PK),
           ("generation", lib.fptu_uint64, NOINDEX),
           ("amount", lib.fptu_int64,
            lib.fpta_secondary_withdups_ordered_obverse)]


def generation_rows(generation, rng):
    """The rows of one commit: ids shifted by the generation, all carrying
    it, amounts summing to zero."""
    amounts = [rng.randrange(-1000, 1000) for _ in range(ROWS - 1)]
    amounts.append(-sum(amounts))
    return [{0: generation + n, 1: generation, 2: amount}
            for n, amount in enumerate(amounts)]


def check_snapshot(txn, table):
    """The generation of the one commit the snapshot shows."""
    rows = txn.rows(table)
    generation = rows[0][1]
    assert [row[0] for row in rows] == list(range(generation,
                                                  generation + ROWS))
    assert {row[1] for row in rows} == {generation}
    assert sum(row[2] for row in rows) == 0
    by_amount = txn.rows(table, 2, options=lib.fpta_descending)
    assert sorted(row[0] for row in by_amount) == [row[0] for row in rows]
    assert txn.get(table, 0, generation)[1] == rows[0]
    assert txn.count(table) == ROWS
    return generation


def scratch(txn, generation):
    """Drops the scratch table of ten commits ago and creates another."""
    if generation > 10:
        dropped = b"s%d" % (generation - 10)
        assert lib.fpta_table_drop(txn.handle, dropped) == OK
    made = Table("s%d" % generation, COLUMNS)
    assert lib.fpta_table_create(txn.handle, made.name,
                                 made.column_set()) == OK


def test_readers_see_whole_commits(db):
    rng = random.Random(5)
    table = db.create("ledger", COLUMNS, generation_rows(0, rng))
    done = threading.Event()
    failures = []

    def writer():
        try:
            for generation in range(1, COMMITS + 1):
                # every tenth commit also changes the schema, so that the
                # readers resolve their names again meanwhile
                schema_change = generation % 10 == 0
                with db.txn(lib.fpta_schema if schema_change
                            else lib.fpta_write) as txn:
                    if schema_change:
                        scratch(txn, generation)
                    assert txn.delete(table, txn.get(
                        table, 0, generation - 1)[1]) == OK
                    for row in generation_rows(generation, rng):
                        assert txn.put(table, row, lib.fpta_upsert) == OK
        except BaseException as failure:
            failures.append(failure)
        finally:
            done.set()

    def reader():
        try:
            generations = []
            while not done.is_set() or not generations:
                with db.read() as txn:
                    generations.append(check_snapshot(txn, table))
                    assert check_snapshot(txn, table) == generations[-1]
            assert generations == sorted(generations)
        except BaseException as failure:
            failures.append(failure)

    threads = [threading.Thread(target=writer)] + [
        threading.Thread(target=reader) for _ in range(READERS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    with db.read() as txn:
        assert check_snapshot(txn, table) == COMMITS
