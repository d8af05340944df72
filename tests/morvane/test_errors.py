"""Each exception class from a real engine refusal, with its status code and
the engine's text; the status constants."""
import errno

import pytest

import morvane
from morvane import Column
from conftest import order

STATUS_NAMES = ["FPTA_SUCCESS", "FPTA_NODATA", "FPTA_NOTFOUND", "FPTA_EINVAL", "FPTA_EEXIST", "FPTA_ENOIMP",
                "FPTU_ENOSPACE", "FPTU_ETOOLONG", "FPTA_ETOOMANY", "FPTA_ETYPE", "FPTA_ECOLUMN", "FPTA_ENOKEY",
                "FPTA_ETXNFAILED", "FPTA_EKEYMISMATCH"]


def test_status_constants_match_the_raw_module_and_the_header():
    values = {name: getattr(morvane, name) for name in STATUS_NAMES}
    assert values["FPTA_EEXIST"] == errno.EEXIST and values["FPTA_NOTFOUND"] == -30798
    assert [values[name] for name in STATUS_NAMES[6:]] == list(range(5001, 5009))


def test_key_exists_leaves_the_transaction_usable(shop):
    with shop.write() as txn:
        orders = txn.table("orders")
        with pytest.raises(morvane.KeyExistsError) as taken:
            orders.insert(order(1, customer="other"))
        assert taken.value.status == morvane.FPTA_EEXIST and "File exists" in str(taken.value)
        orders.insert(order(31))
    with shop.read() as txn:
        assert txn.table("orders").get(1)["customer"] == "bob" and len(txn.table("orders")) == 31


def test_not_found_is_a_lookup_error(shop):
    with shop.write() as txn:
        for call in (lambda: txn.table("nothing"), lambda: txn.table("orders").update(order(99)),
                     lambda: txn.table("orders").delete(99)):
            with pytest.raises(LookupError) as missing:
                call()
            assert isinstance(missing.value, morvane.NotFoundError)
            assert missing.value.status == morvane.FPTA_NOTFOUND


def test_read_only_refusals(shop, tmp_path):
    with shop.read() as txn:
        with pytest.raises(morvane.ReadOnlyError) as refused:
            txn.table("orders").insert(order(40))
        assert refused.value.status == errno.EPERM
    shop.close()
    with morvane.open(tmp_path / "test.fpta", readonly=True) as db:
        with pytest.raises(morvane.ReadOnlyError) as refused:
            db.write()
        assert refused.value.status == errno.EROFS
        with db.read() as txn:
            assert len(txn.table("orders")) == 30
    with morvane.open(tmp_path / "test.fpta", alterable_schema=False) as db:
        with pytest.raises(morvane.ReadOnlyError):
            db.schema()
        with db.write() as txn:
            txn.table("orders").insert(order(40))


def test_busy_when_opened_twice(db, tmp_path):
    with pytest.raises(morvane.BusyError) as busy:
        morvane.open(tmp_path / "test.fpta")
    assert busy.value.status == errno.EBUSY


def test_schema_errors_from_the_engine(shop):
    with shop.schema() as txn:
        with pytest.raises(morvane.KeyExistsError):
            txn.create_table("orders", [Column("id", "uint64", index="primary")])
        with pytest.raises(morvane.KeyExistsError):
            txn.create_table("two", [Column("a", "uint64", index="primary"), Column("b", "uint64", index="primary")])
        with pytest.raises(morvane.Error) as no_primary:
            txn.create_table("none", [Column("a", "uint64")])
        assert no_primary.value.status == morvane.FPTA_EINVAL
    with shop.write() as txn:
        cursor = txn.table("orders").scan("customer")
        row = next(cursor)
        with pytest.raises(morvane.SchemaError) as mismatch:
            cursor.update(dict(row, customer=row["customer"] + "!"))
        assert mismatch.value.status == morvane.FPTA_EKEYMISMATCH


def test_map_full_then_only_abort(tmp_path):
    with morvane.open(tmp_path / "small.fpta", max_size_mb=1) as db:
        with db.schema() as txn:
            txn.create_table("t", [Column("id", "uint32", index="primary"), Column("blob", "bytes")])
        txn = db.write()
        table = txn.table("t")
        with pytest.raises(morvane.MapFullError) as full:
            for number in range(1000):
                table.insert((number, bytes(60000)))
        assert full.value.status == -30792
        with pytest.raises(morvane.TransactionFailedError) as failed:
            table.insert((5000, b""))
        assert failed.value.status == morvane.FPTA_ETXNFAILED
        txn.abort()
        with db.read() as txn:
            assert len(txn.table("t")) == 0


def test_opening_read_only_creates_nothing_and_bad_arguments(tmp_path):
    with pytest.raises(morvane.Error) as missing:
        morvane.open(tmp_path / "none.fpta", readonly=True)
    assert missing.value.status == errno.ENOENT and not (tmp_path / "none.fpta").exists()
    for arguments, error in (({"durability": "fast"}, ValueError), ({"max_size_mb": -1}, OverflowError),
                             ({"max_size_mb": 1.5}, TypeError)):
        with pytest.raises(error):
            morvane.open(tmp_path / "x.fpta", **arguments)
    with pytest.raises(TypeError):
        morvane.open(42)  # type: ignore[arg-type]
