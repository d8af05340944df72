"""Fixtures and options of the engine's tests.

PYTHONPATH leads to the built module. The randomized model test takes its
seed and its operation count from the command line (see test_model.py).
"""
import pytest

from engine import Database


def pytest_addoption(parser):
    parser.addoption("--engine-seed", type=int, default=20261207,
                     help="seed of the randomized model test")
    parser.addoption("--engine-ops", type=int, default=20000,
                     help="operations of the randomized model test")


@pytest.fixture
def db(tmp_path):
    """An empty database file in a fresh folder, closed afterwards."""
    database = Database(tmp_path / "db")
    yield database
    if database.handle is not None:
        assert database.close() == 0
