"""An orders store through the morvane package: create the table, load a
batch of orders, read them back by key, by customer and by time, change and
delete some, with a reader thread looking on while a writer commits.

    PYTHONPATH=build/binding /usr/bin/python3 examples/orders.py
"""
import datetime
import os
import tempfile
import threading

import morvane
from morvane import Column, col

UTC = datetime.timezone.utc
START = datetime.datetime(2024, 3, 1, 9, 0, tzinfo=UTC)
CUSTOMERS = ("ann", "bob", "cem", "dai")

path = os.path.join(tempfile.mkdtemp(prefix="morvane-orders-"), "shop.fpta")


def show(row):
    """An order as one line: a Row reads by column name (or position)."""
    note = f" ({row['note']})" if row["note"] is not None else ""
    return f"id={row['id']} {row['customer']} {row['created']:%Y-%m-%d %H:%M} {row['amount']:.2f}{note}"


with morvane.open(path) as db:      # creates the file; closed at the end of the block
    print("opened", path)

    # The schema: one primary key, two secondary indexes that allow
    # duplicates (a customer has many orders, two orders may share a time).
    with db.schema() as txn:
        txn.create_table("orders", [
            Column("id", "uint64", index="primary"),
            Column("customer", "str", index="secondary", unique=False),
            Column("created", "datetime", index="secondary", unique=False),
            Column("amount", "float64"),
            Column("note", "str", nullable=True),
        ])
        print("created orders:", ", ".join(column.name for column in txn.table("orders").columns))

    # A batch in one transaction: committed when the block ends, nothing of
    # it stored if anything in it raises. Rows are sequences in column order
    # or mappings; a missing nullable value is null.
    with db.write() as txn:
        orders = txn.table("orders")
        orders.insert({"id": 1, "customer": "ann", "created": START, "amount": 12.5, "note": "gift wrap"})
        orders.insert_many((number, CUSTOMERS[number % 4], START + datetime.timedelta(hours=number),
                            10.0 + number * 1.25, None) for number in range(2, 41))
        try:
            orders.insert({"id": 1, "customer": "bob", "created": START, "amount": 1.0})
        except morvane.KeyExistsError as error:
            print("inserting id 1 again:", error)   # refused; the transaction goes on
        print("inserted", len(orders), "orders")

    with db.read() as txn:
        orders = txn.table("orders")
        first = orders.get(1)                      # a Row, or None when absent
        print("order 1:", show(first))
        print("order 99:", orders.get(99))
        print("ann's orders:", [row["id"] for row in orders.find("customer", "ann")])
        day_two = START + datetime.timedelta(days=1)
        print("created March 2 (from 09:00) above 55.00:")
        for row in orders.scan("created", low=day_two, high=day_two + datetime.timedelta(days=1),
                               where=col("amount") > 55):
            print("  ", show(row))

    # A reader thread reads a snapshot while this thread's write commits:
    # it sees the orders as they were when its transaction began.
    snapshot_taken, written = threading.Event(), threading.Event()

    def count_before_and_after():
        with db.read() as txn:
            snapshot_taken.set()
            written.wait()
            print("reader thread, in its snapshot:", len(txn.table("orders")), "orders")
        with db.read() as txn:
            print("reader thread, afterwards:", len(txn.table("orders")), "orders")

    reader = threading.Thread(target=count_before_and_after)
    reader.start()
    snapshot_taken.wait()
    with db.write() as txn:
        orders = txn.table("orders")
        order = dict(orders.get(30))
        order["amount"], order["note"] = 15.0, "discounted"
        orders.update(order)
        # Orders older than a day go, found through the created index and
        # deleted by the cursor that found them.
        cutoff, deleted = START + datetime.timedelta(days=1), 0
        old = orders.scan("created", high=cutoff)
        for row in old:
            old.delete()
            deleted += 1
    print(f"updated order 30; deleted the {deleted} orders created before {cutoff:%Y-%m-%d %H:%M}")
    written.set()
    reader.join()

with morvane.open(path, readonly=True) as db, db.read() as txn:
    orders = txn.table("orders")
    print("reopened read-only:", len(orders), "orders; the first:", show(next(orders.scan())))
    print("order 30:", show(orders.get(30)))
