"""Misuse that morvane refuses itself, with ProgrammingError or BusyError,
at once: each case runs in a thread that must finish within seconds."""
import threading

import pytest

import morvane
from conftest import order

PATIENCE = 20  # seconds; only a hang takes this long


def promptly(action):
    """Runs action in a daemon thread; returns what it raised (or None)."""
    outcome = []

    def run():
        try:
            action()
            outcome.append(None)
        except BaseException as error:  # noqa: B902 (handed back to the test)
            outcome.append(error)

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(PATIENCE)
    assert outcome, "the call hung"
    return outcome[0]


def test_a_nested_writer_in_one_thread(shop):
    def nested():
        with shop.write():
            for begin in (shop.write, shop.schema):
                with pytest.raises(morvane.ProgrammingError) as refused:
                    begin()
                assert refused.value.status is None
            with shop.read() as txn:  # readers do not wait for the writer
                assert len(txn.table("orders")) == 30
    assert promptly(nested) is None
    assert promptly(lambda: shop.write().abort()) is None


def test_a_transaction_used_or_ended_by_another_thread(shop):
    for begin in (shop.read, shop.write):
        txn = begin()
        table = txn.table("orders")
        for misuse in (txn.commit, txn.abort, lambda: txn.table("orders"), lambda: table.get(1), lambda: len(table)):
            assert isinstance(promptly(misuse), morvane.ProgrammingError)
        txn.commit()


def test_use_after_end(shop):
    txn = shop.write()
    orders = txn.table("orders")
    cursor = orders.scan()
    next(cursor)
    txn.commit()
    for misuse in (txn.commit, txn.abort, lambda: orders.get(1), lambda: orders.insert(order(50)),
                   lambda: next(cursor), cursor.delete, lambda: txn.table("orders"), txn.table_names,
                   lambda: len(orders)):
        with pytest.raises(morvane.ProgrammingError):
            misuse()
    assert orders.columns[0].name == "id"
    with shop.read() as txn:
        txn.commit()  # the with exit after a manual commit does nothing


def test_schema_methods_outside_a_schema_transaction(shop):
    for begin in (shop.read, shop.write):
        with begin() as txn:
            for misuse in (lambda: txn.create_table("x", []), lambda: txn.drop_table("orders"),
                           lambda: txn.table("orders").clear()):
                with pytest.raises(morvane.ProgrammingError):
                    misuse()


def test_close_while_busy_and_after(shop):
    txn = shop.read()
    error = promptly(shop.close)
    assert isinstance(error, morvane.BusyError) and error.status == 16
    assert len(txn.table("orders")) == 30  # nothing changed
    txn.commit()
    shop.close()
    shop.close()
    for begin in (shop.read, shop.write):
        with pytest.raises(morvane.ProgrammingError):
            begin()


def test_a_writer_waits_for_another_threads_writer_without_blocking_others(shop):
    first = shop.write()
    began = threading.Event()

    def second():
        with shop.write() as txn:
            began.set()
            txn.table("orders").insert(order(77))
    waiter = threading.Thread(target=second, daemon=True)
    waiter.start()
    assert not began.wait(0.2)  # it waits for the writer lock, without the interpreter lock
    first.table("orders").insert(order(76))
    first.commit()
    waiter.join(PATIENCE)
    assert began.is_set()
    with shop.read() as txn:
        assert txn.table("orders").get(76) and txn.table("orders").get(77)


def test_a_dropped_transaction_is_aborted_and_released(shop):
    txn = shop.write()
    txn.table("orders").insert(order(60))
    del txn
    with shop.write() as txn:  # neither hangs nor is refused as nested
        assert txn.table("orders").get(60) is None
    shop.close()
