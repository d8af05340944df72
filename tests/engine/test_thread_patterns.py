"""Every pair of transaction kinds begun in one thread, a read begun while
this process's schema transaction waits for another process's writer, and
a write transaction ended from a thread not its own: each in a child
process (thread_child.py) under a time limit, after another process changed
the schema. Nothing waits for itself: a second writer in one thread is
refused with EDEADLK, the first left as it was."""
import errno
import json
import os
import subprocess
import sys

import pytest

from engine import NOTFOUND, OK, child_environment

CHILD = os.path.join(os.path.dirname(__file__), "thread_child.py")
# Generous: only a hang takes this long.
TIME_LIMIT = 60


def run(path, *pattern):
    done = subprocess.run([sys.executable, CHILD, str(path), *pattern],
                          capture_output=True, env=child_environment(),
                          timeout=TIME_LIMIT)
    assert done.returncode == 0, done.stderr.decode()
    return json.loads(done.stdout)


@pytest.mark.parametrize("first,second,status", [
    ("read", "read", OK), ("read", "write", OK), ("read", "schema", OK),
    ("write", "read", OK), ("schema", "read", OK),
    ("write", "write", errno.EDEADLK), ("write", "schema", errno.EDEADLK),
    ("schema", "write", errno.EDEADLK), ("schema", "schema", errno.EDEADLK),
])
def test_two_transactions_in_one_thread(tmp_path, first, second, status):
    result = run(tmp_path / "db", "pair", first, second, "before")
    expected = {"second": status, "first sees": OK, "first end": OK}
    if status == OK:
        expected.update({"second sees": OK, "second end": OK})
    assert result == expected


@pytest.mark.parametrize("second", ["read", "write", "schema"])
def test_a_schema_change_between_a_read_and_a_second_transaction(tmp_path,
                                                                 second):
    """The read keeps its snapshot, without the new table; the second
    transaction sees it."""
    assert run(tmp_path / "db", "pair", "read", second, "between") == {
        "second": OK, "second sees": OK, "second end": OK,
        "first sees": NOTFOUND, "first end": OK}


def test_readers_never_wait_for_a_waiting_writer(tmp_path):
    assert run(tmp_path / "db", "waiting") == {
        "read": OK, "read sees": OK, "writer still waiting": True,
        "read end": OK, "schema begin": OK, "schema end": OK}


def test_write_transaction_ended_by_another_thread(tmp_path):
    assert run(tmp_path / "db", "foreign_end") == {
        "end elsewhere": errno.EPERM, "put after": OK, "end here": OK,
        "next write": OK, "next end": OK}
