"""What a file says about itself: table names and columns as created, files
written before column names were kept, and the index check."""
import struct

import lmdb
import pytest

import morvane
from morvane import Column
from conftest import ORDERS, order

VARIETY = [
    Column("key", "b128", index="primary", ordered=False),
    Column("score", "float32", index="secondary", unique=False, reverse=True, nullable=True),
    Column("Name", "str", index="secondary", ordered=False, nullable=True),
    Column("when", "datetime", nullable=True),
    Column("blob", "bytes"),
]


def test_columns_read_back_as_given(shop):
    with shop.schema() as txn:
        txn.create_table("Variety", VARIETY)
    with shop.read() as txn:
        assert txn.table("orders").columns == ORDERS
        variety = txn.table("variety")
    assert variety.columns == VARIETY  # plain data, after the transaction too


@pytest.mark.parametrize("bad", [
    lambda: Column("1st", "str"), lambda: Column("a", "text"), lambda: Column("a", "str", index="third"),
    lambda: Column("a", "str", unique=False)])
def test_column_declarations_checked(bad):
    with pytest.raises(ValueError):
        bad()


def strip_column_names(path):
    """Rewrites every table record as the engine wrote it before it kept
    column names (format 1)."""
    env = lmdb.open(str(path), subdir=False, max_dbs=8, lock=True)
    schema = env.open_db(b"fpta.schema")
    with env.begin(write=True, db=schema) as txn:
        for key, record in list(txn.cursor()):
            if len(key) != 8:
                continue
            (name_size,) = struct.unpack_from("<H", record, 4)
            at = 6 + name_size + 4
            (count,) = struct.unpack_from("<I", record, at)
            at += 4
            for _ in range(count):
                (parts,) = struct.unpack_from("<H", record, at + 12)
                at += 14 + 2 * parts
            txn.put(key, struct.pack("<I", 1) + record[4:at])
    env.close()


def test_files_from_before_column_names(tmp_path):
    path = tmp_path / "old.fpta"
    with morvane.open(path) as db:
        with db.schema() as txn:
            txn.create_table("orders", ORDERS)
        with db.write() as txn:
            txn.table("orders").insert(order(1))
    strip_column_names(path)
    with morvane.open(path) as db:
        with db.write() as txn:
            orders = txn.table("orders")
            assert txn.table_names() == ["orders"]
            assert [column.name for column in orders.columns] == ["#0", "#1", "#2", "#3", "#4"]
            assert [column.type for column in orders.columns] == [column.type for column in ORDERS]
            assert orders.get(1)["#1"] == "bob"
            orders.insert((2, "dee", order(2)["created"], 2.0, None))
            assert [row[1] for row in orders.find("#1", "dee")] == ["dee"]
            assert orders._verify() == []


def test_verify_finds_planted_faults(shop, tmp_path):
    with shop.read() as txn:
        progress = []
        assert txn.table("orders")._verify(progress.append) == []
        stats = txn.table("orders")._stats()
    assert stats["rows"] == 30 and stats["total_bytes"] > 0 and set(stats) >= {"btree_depth", "leaf_pages"}
    shop.close()
    # Stores are numbered in column order: id 1, customer 2, created 3.
    env = lmdb.open(str(tmp_path / "test.fpta"), subdir=False, max_dbs=8)
    customers = env.open_db(b"fpta.index.2", dupsort=True, create=False)
    primary = env.open_db(b"fpta.index.1", create=False)
    with env.begin(write=True) as txn:
        cursor = txn.cursor(customers)
        assert cursor.first()
        cursor.delete()
        assert txn.delete(struct.pack(">Q", 30), db=primary)
    env.close()
    with morvane.open(tmp_path / "test.fpta") as db, db.read() as txn:
        faults = txn.table("orders")._verify()
    assert len(faults) == 3, faults
    assert any("missing from index customer" in fault for fault in faults)
    assert sum("leads to no row" in fault for fault in faults) == 2
    assert all(fault.startswith("table orders: ") for fault in faults)


def test_a_table_made_again_is_read_with_its_new_columns(db):
    first = [Column("id", "uint32", index="primary"), Column("a", "str")]
    second = [Column("key", "str", index="primary"), Column("b", "float64", nullable=True)]
    with db.schema() as txn:
        txn.create_table("t", first)
    with db.write() as txn:
        txn.table("t").insert((1, "x"))
    txn = db.schema()  # an abandoned version must not stick to the table
    txn.drop_table("t")
    txn.create_table("t", [Column("other", "uint64", index="primary")])
    assert txn.table("t").columns[0].name == "other"
    txn.abort()
    with db.read() as txn:
        assert txn.table("t").columns == first and txn.table("t").get(1)["a"] == "x"
    with db.schema() as txn:
        txn.drop_table("t")
        txn.create_table("t", second)
    with db.write() as txn:
        txn.table("t").insert({"key": "k"})
        assert txn.table("t").columns == second and dict(txn.table("t").get("k")) == {"key": "k", "b": None}
