"""A short session through an installed morvane package: creates a table,
writes rows in one transaction, reads them back by key and by scan, and
checks that the file lists its table and columns.

Prints the file morvane's compiled part was loaded from, then the file
libfpta was loaded from, so that the caller can check they are the installed
ones.
"""
import datetime
import sys
import tempfile

import morvane
from morvane import Column, col

from loaded_library import libfpta_file

COLUMNS = [Column("id", "uint64", index="primary"), Column("name", "str", index="secondary", unique=False),
           Column("at", "datetime", nullable=True)]
WHEN = datetime.datetime(2024, 1, 2, 3, 4, 5, 6, tzinfo=datetime.timezone.utc)


def session(directory):
    with morvane.open(f"{directory}/items.fpta") as db:
        with db.schema() as txn:
            txn.create_table("items", COLUMNS)
        with db.write() as txn:
            txn.table("items").insert_many([(1, "anchor", WHEN), {"id": 2, "name": "buoy"}])
        with db.read() as txn:
            items = txn.table("items")
            if txn.table_names() != ["items"] or items.columns != COLUMNS:
                sys.exit(f"the file describes itself as {txn.table_names()}, {items.columns}")
            if dict(items.get(1)) != {"id": 1, "name": "anchor", "at": WHEN}:
                sys.exit(f"read back {items.get(1)!r}")
            if [row["id"] for row in items.scan("name", where=col("id") > 1)] != [2]:
                sys.exit("the scan gave other rows")


with tempfile.TemporaryDirectory() as directory:
    session(directory)
print(morvane._core.__file__)
print(libfpta_file())
