"""A full file system: creating a database, opening one whose lock file is
missing, and committing. Each case runs in a child with a small tmpfs of its
own (unshare -m, as root; skipped otherwise): the engine says ENOSPC, leaves
nothing half made, and loses nothing committed."""
import errno
import json
import os
import subprocess
import sys

import pytest

from engine import OK, child_environment

CHILD = os.path.join(os.path.dirname(__file__), "full_disk_child.py")
# Generous: only a hang takes this long.
TIME_LIMIT = 60


def run(tmp_path, case, kilobytes):
    if os.geteuid() != 0:
        pytest.skip("mounting a small tmpfs needs root")
    folder = tmp_path / "small"
    folder.mkdir()
    script = ('mount -t tmpfs -o size=%dk tmpfs "$1" || exit 77; shift; '
              'exec "$@"') % kilobytes
    done = subprocess.run(
        ["unshare", "-m", "sh", "-c", script, "sh", str(folder),
         sys.executable, CHILD, str(folder), case],
        capture_output=True, env=child_environment(), timeout=TIME_LIMIT)
    if done.returncode == 77:
        pytest.skip("cannot mount a tmpfs here: " + done.stderr.decode())
    assert done.returncode == 0, done.stderr.decode()
    return json.loads(done.stdout)


def test_creating_a_database(tmp_path):
    assert run(tmp_path, "new", 64) == {"open": errno.ENOSPC,
                                         "left": ["filler"]}


def test_opening_one_whose_lock_file_is_missing(tmp_path):
    assert run(tmp_path, "lock_missing", 256) == {
        "open": errno.ENOSPC, "left": ["db", "filler"], "unchanged": True}


def test_a_commit(tmp_path):
    assert run(tmp_path, "commit", 256) == {
        "commit": errno.ENOSPC, "rows kept": True, "some committed": True}
