"""A process that commits in a loop is killed at a random moment: the file
then holds exactly the state after a commit that had returned, and with
fpta_sync at least the state after the last one the child reported."""
import os
import random
import signal
import subprocess
import sys
import time

import pytest

from crash_child import LOG_COLUMNS, payload, scratch_name
from engine import NOTFOUND, OK, Database, Table, child_environment, lib

CHILD = os.path.join(os.path.dirname(__file__), "crash_child.py")


def kill_at_random(path, durability, rng):
    """Runs the child until a random moment after its first commit; the
    generations it reported."""
    child = subprocess.Popen([sys.executable, CHILD, str(path),
                              str(durability)], stdout=subprocess.PIPE,
                             env=child_environment())
    first = child.stdout.readline()
    time.sleep(rng.uniform(0.01, 0.3))
    child.send_signal(signal.SIGKILL)
    rest = child.stdout.read()
    assert child.wait() == -signal.SIGKILL
    return [int(line) for line in (first + rest).split()]


def refresh(txn, name):
    return lib.fpta_name_refresh(txn.handle, Table(name.decode(), []).id)


@pytest.mark.parametrize("durability", [lib.fpta_sync, lib.fpta_lazy,
                                        lib.fpta_weak])
def test_killed_writer_leaves_a_committed_state(tmp_path, durability):
    rng = random.Random(durability)
    path = tmp_path / "db"
    db = Database(path)
    table = db.create("log", LOG_COLUMNS, [{0: 0, 1: 0}])
    assert db.close() == OK
    generation = 0
    for _ in range(5):
        reported = kill_at_random(path, durability, rng)
        assert reported == list(range(generation + 1,
                                      generation + 1 + len(reported)))
        assert reported, "the child committed nothing"
        db = Database(path, durability=durability)
        with db.read() as txn:
            rows = txn.rows(table)
            generation = rows[0][1]
            # the last commit that replaced the scratch table, and those before
            last = generation // 5 * 5
            for replaced in range(0, last, 5):
                assert refresh(txn, scratch_name(replaced)) == NOTFOUND
            assert refresh(txn, scratch_name(last)) == (OK if last
                                                         else NOTFOUND)
        assert db.close() == OK
        assert rows == [{0: 0, 1: generation}] + [
            {0: n, 1: n, 2: payload(n)} for n in range(1, generation + 1)]
        assert generation <= reported[-1] + 1
        if durability == lib.fpta_sync:
            assert generation >= reported[-1]
