"""Fixtures shared by the module's tests.

The build passes, through the environment, where the generated source lies
(MORVANE_SOURCE) and where libfpta.so lies (FPTA_LIBRARY); PYTHONPATH leads
to the built module.
"""
import os

import pytest

import _morvane
from recorder import Recorder


@pytest.fixture(scope="session")
def ffi():
    return _morvane.ffi


@pytest.fixture(scope="session")
def lib():
    return _morvane.lib


@pytest.fixture(scope="session")
def generated_source():
    with open(os.environ["MORVANE_SOURCE"]) as source:
        return source.read()


@pytest.fixture(scope="session")
def _recorder_session():
    return Recorder(os.environ["FPTA_LIBRARY"])


@pytest.fixture
def recorder(_recorder_session):
    """Recording on, nothing recorded yet; off and cleared afterwards."""
    _recorder_session.lib.fpta_recorder_reset()
    _recorder_session.lib.fpta_recorder_enable(1)
    yield _recorder_session
    _recorder_session.lib.fpta_recorder_enable(0)
    _recorder_session.lib.fpta_recorder_reset()
