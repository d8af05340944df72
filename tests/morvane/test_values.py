"""Values through a stored row and back, at each column type's edges; the
checks made before the engine is called."""
import datetime
import pickle

import pytest

import morvane
from morvane import Column

UTC = datetime.timezone.utc
LAST_STAMP = datetime.datetime(2106, 2, 7, 6, 28, 15, 999999, tzinfo=UTC)
EIGHT_HOURS_EAST = datetime.timezone(datetime.timedelta(hours=8))

# type, values that read back equal, values refused before the engine and how.
CASES = [
    ("uint16", [0, 65535, True], [(65536, OverflowError), (-1, OverflowError), (1.0, TypeError), ("1", TypeError)]),
    ("int32", [-2**31, 2**31 - 1, False], [(2**31, OverflowError), (-2**31 - 1, OverflowError), (0.5, TypeError)]),
    ("uint32", [0, 2**32 - 1], [(2**32, OverflowError), (-1, OverflowError)]),
    ("int64", [-2**63, 2**63 - 1], [(2**63, OverflowError), (-2**63 - 1, OverflowError)]),
    ("uint64", [0, 2**64 - 1], [(2**64, OverflowError), (-1, OverflowError), (1.5, TypeError)]),
    ("float32", [0.0, -1.5, 3.4028234663852886e38, float("inf")], [(1e39, OverflowError), ("x", TypeError)]),
    ("float64", [-0.0, 1e308, 5e-324, float(2**53 + 1)], [(10**400, OverflowError), (b"1", TypeError)]),
    ("datetime", [datetime.datetime(1970, 1, 1, tzinfo=UTC), LAST_STAMP,
                  datetime.datetime(2000, 2, 29, 23, 59, 59, 1, tzinfo=UTC)],
     [(datetime.datetime(2000, 1, 1), ValueError), (datetime.datetime(1969, 12, 31, 23, 59, 59, tzinfo=UTC),
                                                     OverflowError),
      (LAST_STAMP + datetime.timedelta(microseconds=1), OverflowError), (0, TypeError)]),
    ("str", ["", "a\x00b", "çé€😀", "x" * 65531], [(b"a", TypeError), ("x" * 65532, morvane.SchemaError)]),
    ("bytes", [b"", b"\x00\xff", bytes(range(256))], [("a", TypeError), (b"x" * 65532, morvane.SchemaError)]),
    ("b96", [bytes(12), b"\xff" * 12], [(bytes(11), ValueError), (bytes(13), ValueError), ("x" * 12, TypeError)]),
    ("b128", [bytes(range(16))], [(bytes(15), ValueError)]),
    ("b160", [bytes(range(20))], [(bytes(21), ValueError)]),
    ("b256", [bytes(range(32))], [(bytes(31), ValueError)]),
]


def make_table(db, type_name):
    with db.schema() as txn:
        txn.create_table("t", [Column("id", "uint32", index="primary"), Column("v", type_name, nullable=True)])


@pytest.mark.parametrize("type_name, good, bad", CASES, ids=[case[0] for case in CASES])
def test_values_round_trip_and_refusals(db, type_name, good, bad):
    make_table(db, type_name)
    with db.write() as txn:
        table = txn.table("t")
        for number, value in enumerate(good):
            table.insert((number, value))
        table.insert({"id": 100})  # null, by absence
        for value, error in bad:
            with pytest.raises(error):
                table.insert((200, value))
        assert len(table) == len(good) + 1
    with db.read() as txn:
        table = txn.table("t")
        for number, value in enumerate(good):
            read = table.get(number)["v"]
            assert read == value and type(read) is type(value if not isinstance(value, bool) else 1)
        assert table.get(100)["v"] is None


def test_buffers_float_columns_and_datetimes_in_other_zones(db):
    with db.schema() as txn:
        txn.create_table("t", [Column("id", "uint16", index="primary"), Column("f", "float32"),
                               Column("b", "bytes"), Column("d", "datetime")])
    moment = datetime.datetime(2024, 6, 1, 8, 30, 0, 250000, tzinfo=EIGHT_HOURS_EAST)
    with db.write() as txn:
        txn.table("t").insert([1, 7, memoryview(b"mv"), moment])
        txn.table("t").insert([2, 0.1, bytearray(b"ba"), moment])
    with db.read() as txn:
        one, two = txn.table("t").get(1), txn.table("t").get(2)
    assert one["f"] == 7.0 and one["b"] == b"mv" and two["b"] == b"ba"
    assert two["f"] == pytest.approx(0.1) and two["f"] != 0.1  # stored in single precision
    assert one["d"] == moment and one["d"].tzinfo is UTC and one["d"].hour == 0


def test_microseconds_are_exact_across_a_second(db):
    with db.schema() as txn:
        txn.create_table("t", [Column("at", "datetime", index="primary")])
    stamps = [datetime.datetime(2030, 1, 1, 0, 0, 0, us, tzinfo=UTC) for us in (0, 1, 499999, 500000, 999999)]
    with db.write() as txn:
        txn.table("t").insert_many([stamp] for stamp in stamps)
    with db.read() as txn:
        assert [row["at"] for row in txn.table("t").scan()] == stamps
        # The UTC singleton's fast path and any other zone's agree.
        for stamp in stamps + [datetime.datetime(2106, 2, 7, 6, 28, 15, tzinfo=UTC)]:
            for zone in (UTC, datetime.timezone(datetime.timedelta(0)), EIGHT_HOURS_EAST):
                assert txn.table("t").count(low=stamp.astimezone(zone), high=stamp + datetime.timedelta(
                    microseconds=1)) == (stamp in stamps)


def test_rows_in_and_their_checks(shop):
    with shop.write() as txn:
        orders = txn.table("orders")
        with pytest.raises(ValueError, match="no column 'colour'"):
            orders.insert({"id": 99, "customer": "x", "created": datetime.datetime.now(UTC), "amount": 1,
                           "colour": "red"})
        with pytest.raises(ValueError, match="5 values"):
            orders.insert((99, "x"))
        with pytest.raises(morvane.SchemaError) as missing:
            orders.insert({"id": 99, "customer": "x", "amount": 1})
        assert missing.value.status is None
        with pytest.raises(morvane.SchemaError):
            orders.insert({"id": 99, "customer": None, "created": datetime.datetime.now(UTC), "amount": 1})
        with pytest.raises(TypeError):
            orders.insert("not a row")
        with pytest.raises(ValueError, match="given twice"):
            orders.insert({"id": 99, "ID": 98})
        # Names are compared without regard to case.
        orders.insert({"ID": 99, "Customer": "x", "CREATED": datetime.datetime.now(UTC), "amount": 1})
        row = orders.get(99)
        assert row["CUSTOMER"] == row["customer"] == row[1] == "x"
        assert row.keys() == ["id", "customer", "created", "amount", "note"] and len(row) == 5
        assert dict(row)["note"] is None and list(row)[0] == 99


def test_rows_are_plain_values(shop):
    with shop.read() as txn:
        first, again = txn.table("orders").get(1), txn.table("orders").get(1)
    assert first == again and first != tuple(first) and first != txn
    assert pickle.loads(pickle.dumps(first)) == first
    assert first["amount"] == 1.0 and repr(first).startswith("Row(id=1, customer='bob'")
    with pytest.raises(KeyError):
        first["nothing"]
