"""Rows in and out of a table: the write calls, insert_many's all or
nothing, scans, finds, counts and filters, cursor changes."""
import datetime

import pytest

import morvane
from morvane import col
from conftest import T0, order


def ids(rows):
    return [row["id"] for row in rows]


def test_update_upsert_delete_and_sequence(shop):
    with shop.write() as txn:
        orders = txn.table("orders")
        orders.update(order(1, note="changed"))
        orders.upsert(order(2, amount=99.0))
        orders.upsert(order(40))
        orders.delete(3)
        assert orders.sequence() == 0 and orders.sequence(5) == 1 and orders.sequence(0) == 6
        with pytest.raises(OverflowError):
            orders.sequence(-1)
    with shop.read() as txn:
        orders = txn.table("orders")
        assert orders.get(1)["note"] == "changed" and orders.get(2)["amount"] == 99.0
        assert orders.get(3) is None and len(orders) == 30 and orders.sequence(0) == 6


@pytest.mark.parametrize("bad_row, error", [
    (order(5), morvane.KeyExistsError),                      # refused by the engine
    ({"id": 104, "bogus": 1}, ValueError),                   # refused before it
    (order(104, amount="x"), TypeError),
])
def test_insert_many_is_all_or_nothing(shop, bad_row, error):
    with shop.write() as txn:
        orders = txn.table("orders")
        with pytest.raises(error):
            orders.insert_many([order(101), order(102), (103, "dee", T0, 1.0, None), bad_row, order(105)])
        assert len(orders) == 30 and orders.get(101) is None
        assert ids(orders.find("customer", "dee")) == []
        assert orders.insert_many(order(number) for number in (101, 102)) == 2  # still usable
    with shop.read() as txn:
        assert len(txn.table("orders")) == 32


def test_get_by_another_unique_column(db):
    with db.schema() as txn:
        txn.create_table("users", [morvane.Column("id", "uint32", index="primary"),
                                   morvane.Column("email", "str", index="secondary"),
                                   morvane.Column("team", "str", index="secondary", unique=False),
                                   morvane.Column("age", "uint16")])
    with db.write() as txn:
        users = txn.table("users")
        users.insert_many([(1, "a@x", "red", 30), (2, "b@x", "red", 40)])
        assert users.get(email="b@x")["id"] == 2 and users.get(email="c@x") is None
        for misuse in (lambda: users.get(team="red"), lambda: users.get(age=30), lambda: users.find("age", 30),
                       lambda: users.get(nothing=1)):
            with pytest.raises(ValueError):
                misuse()
        with pytest.raises(TypeError):
            users.get(1, email="a@x")


def test_scans_ranges_and_order(shop):
    with shop.read() as txn:
        orders = txn.table("orders")
        assert ids(orders.scan()) == list(range(1, 31))
        assert ids(orders.scan(low=5, high=9)) == [5, 6, 7, 8]
        assert ids(orders.scan(low=28, reverse=True)) == [30, 29, 28]
        times = orders.scan("created", T0 + datetime.timedelta(minutes=10), T0 + datetime.timedelta(minutes=13))
        assert ids(times) == [10, 11, 12]
        assert ids(orders.scan("customer", "bob", "bob\x00")) == [1, 4, 7, 10, 13, 16, 19, 22, 25, 28]
        assert ids(orders.find("customer", "cy")) == list(range(2, 31, 3))
        assert ids(orders.find("customer", "c")) == []
        assert orders.count() == 30 and orders.count("customer", "b", "c") == 10
        with pytest.raises(ValueError):
            orders.scan("amount")
        with pytest.raises(OverflowError):
            orders.scan(low=-1)
        with pytest.raises(TypeError):
            orders.scan(low="1")


def test_filters(shop):
    with shop.read() as txn:
        orders = txn.table("orders")
        assert ids(orders.scan(where=col("amount") > 27)) == [28, 29, 30]
        assert ids(orders.scan(where=(col("amount") <= 2) | (col("Customer") == "cy") & (col("amount") >= 29))) \
            == [1, 2, 29]
        assert ids(orders.scan(where=~(col("amount") < 29))) == [29, 30]
        assert ids(orders.scan(where=(col("amount") != 1) & (col("amount") < 3))) == [2]
        assert orders.count(where=col("customer") == "ann") == 10
        assert orders.count(where=lambda row: row["amount"] % 2 == 0) == 15
        assert ids(orders.scan("customer", reverse=True, where=lambda row: row["id"] < 3)) == [2, 1]
        for bad, error in ((col("nothing") == 1, ValueError), (col("amount") == "x", TypeError),
                           (col("id") < -1, OverflowError), (42, TypeError)):
            with pytest.raises(error):
                list(orders.scan(where=bad))


def test_a_raising_predicate_propagates_unchanged(shop):
    class Refusal(Exception):
        pass

    def predicate(row):
        if row["id"] == 3:
            raise Refusal(row["id"])
        return True

    with shop.read() as txn:
        cursor = txn.table("orders").scan(where=predicate)
        assert next(cursor)["id"] == 1 and next(cursor)["id"] == 2
        with pytest.raises(Refusal) as raised:
            next(cursor)
        assert raised.value.args == (3,)
        with pytest.raises(Refusal):
            txn.table("orders").count(where=predicate)


def test_cursor_update_and_delete(shop):
    with shop.write() as txn:
        cursor = txn.table("orders").scan()
        with pytest.raises(morvane.ProgrammingError):
            cursor.delete()
        for row in cursor:
            if row["id"] % 2:
                cursor.delete()
            else:
                cursor.update(dict(row, note="even"))
    with shop.read() as txn:
        rows = list(txn.table("orders").scan())
    assert ids(rows) == list(range(2, 31, 2)) and {row["note"] for row in rows} == {"even"}


def test_clear_drop_and_names(shop):
    with shop.write() as txn:
        txn.table("orders").sequence(7)
    with shop.schema() as txn:
        txn.create_table("Zebra", [morvane.Column("k", "str", index="primary")])
        txn.create_table("apple", [morvane.Column("k", "b96", index="primary", ordered=False)])
        assert txn.table_names() == ["Zebra", "apple", "orders"]
        txn.table("ORDERS").clear()
        assert len(txn.table("orders")) == 0 and txn.table("orders").sequence(0) == 7
        txn.table("orders").clear(reset_sequence=True)
        assert txn.table("orders").sequence(0) == 0
        txn.drop_table("zebra")
    with shop.read() as txn:
        assert txn.table_names() == ["apple", "orders"]
        with pytest.raises(morvane.NotFoundError):
            txn.table("Zebra")


def test_a_primary_index_with_duplicates(db):
    with db.schema() as txn:
        txn.create_table("log", [morvane.Column("day", "uint16", index="primary", unique=False),
                                 morvane.Column("text", "str")])
    with db.write() as txn:
        log = txn.table("log")
        log.insert_many([(2, "b"), (1, "a"), (2, "c"), (2, "b")])
        assert [row["text"] for row in log.find("day", 2)] == ["b", "c", "b"]
        for by_key in (lambda: log.get(2), lambda: log.delete(2)):
            with pytest.raises(ValueError):
                by_key()
        cursor = log.find("day", 2)
        next(cursor)
        cursor.delete()
        assert [tuple(row) for row in log.scan()] == [(1, "a"), (2, "c"), (2, "b")]
