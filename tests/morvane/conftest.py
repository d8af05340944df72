"""Fixtures of the morvane package's tests: a fresh database file, and one
holding the orders table of the package's documentation."""
import datetime

import pytest

import morvane
from morvane import Column

UTC = datetime.timezone.utc
T0 = datetime.datetime(2024, 1, 1, tzinfo=UTC)
ORDERS = [
    Column("id", "uint64", index="primary"),
    Column("customer", "str", index="secondary", unique=False),
    Column("created", "datetime", index="secondary", unique=False),
    Column("amount", "float64"),
    Column("note", "str", nullable=True),
]


def order(number, customer=None, amount=None, note=None):
    """An orders row as a dict: created number minutes after T0."""
    return {"id": number, "customer": customer or ("ann", "bob", "cy")[number % 3],
            "created": T0 + datetime.timedelta(minutes=number),
            "amount": float(number) if amount is None else amount, "note": note}


@pytest.fixture
def db(tmp_path):
    database = morvane.open(tmp_path / "test.fpta")
    yield database
    database.close()


@pytest.fixture
def shop(db):
    """db with the orders table holding orders 1 to 30."""
    with db.schema() as txn:
        txn.create_table("orders", ORDERS)
    with db.write() as txn:
        txn.table("orders").insert_many(order(number) for number in range(1, 31))
    return db
