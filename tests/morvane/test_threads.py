"""Threads sharing one Database: readers iterate while a writer commits, and
every reader sees whole commits only."""
import threading

from morvane import Column

ACCOUNTS, TOTAL, COMMITS, READERS = 50, 5000, 200, 3


def test_readers_iterate_while_a_writer_commits(db):
    with db.schema() as txn:
        txn.create_table("accounts", [Column("id", "uint32", index="primary"), Column("balance", "int64")])
    with db.write() as txn:
        txn.table("accounts").insert_many((number, TOTAL // ACCOUNTS) for number in range(ACCOUNTS))
    done = threading.Event()
    seen, failures = [], []

    def read():
        try:
            while not done.is_set():
                with db.read() as txn:
                    rows = list(txn.table("accounts").scan())
                assert len(rows) == ACCOUNTS and sum(row["balance"] for row in rows) == TOTAL
                seen.append(1)
        except BaseException as error:  # noqa: B902 (reported below)
            failures.append(error)

    def write():
        try:
            for commit in range(COMMITS):
                with db.write() as txn:
                    accounts = txn.table("accounts")
                    source, target = commit % ACCOUNTS, (commit * 7 + 1) % ACCOUNTS
                    for number, change in ((source, -3), (target, 3)):
                        row = accounts.get(number)
                        accounts.update((number, row["balance"] + change))
        finally:
            done.set()

    threads = [threading.Thread(target=read) for _ in range(READERS)] + [threading.Thread(target=write)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(60)
    assert not failures and done.is_set() and seen
    with db.read() as txn:
        assert sum(row["balance"] for row in txn.table("accounts").scan()) == TOTAL
