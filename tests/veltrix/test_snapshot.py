"""Databases veltrix may not open in place: held by another process, not writable by
this user, or on a read-only file system. veltrix dumps a private snapshot of their
files: the same document as the normal dump, every write batch whole, nothing in the
database changed, the snapshot gone at exit."""

import contextlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

import damage
from db_owner import batch_number, whole_groups
from rule_db import ENABLED, dump_of, file_contents, read_rules, write_rules
from veltrix_process import Outcome, run_veltrix

HERE = Path(__file__).resolve().parent
NOBODY = 65534
IN_USE = "is in use by another process"
NOT_WRITABLE = "is not writable"


@pytest.fixture
def place():
    """A directory any user can reach, holding the database "rules", and "tmp" (veltrix's
    TMPDIR) and "logs", which any user may write."""
    root = Path(tempfile.mkdtemp(prefix="veltrix-snapshot-"))
    root.chmod(0o755)
    for name in ("tmp", "logs"):
        (root / name).mkdir()
        (root / name).chmod(0o1777)
    yield root
    for folder in root.rglob("*"):
        if folder.is_dir():
            folder.chmod(0o755)
    shutil.rmtree(root)


@contextlib.contextmanager
def owner(mode, db):
    """Runs db_owner.py in MODE on db until the block ends; yields the process."""
    process = subprocess.Popen([sys.executable, HERE / "db_owner.py", mode, db],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        assert process.stdout.readline() == b"ready\n"
        yield process
    finally:
        process.stdin.close()
        process.wait(timeout=60)


def as_nobody():
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)


def veltrix_env(place):
    return {"TMPDIR": os.fspath(place / "tmp")}


def run_held(place, *args):
    with owner("lock", place / "rules"):
        return run_veltrix(place, *args, env=veltrix_env(place))


def run_not_writable(place, *args):
    # Root may write anywhere, so as root veltrix runs as nobody.
    db = place / "rules"
    db.chmod(0o555)
    try:
        return run_veltrix(place, *args, env=veltrix_env(place),
                           preexec_fn=as_nobody if os.geteuid() == 0 else None)
    finally:
        db.chmod(0o755)


def run_files_not_writable(place, *args):
    # A directory anyone may write, whose files this user may not: LevelDB's open would fail
    # on LOCK only after rotating LOG.
    db = place / "rules"
    files = [entry for entry in db.iterdir() if entry.is_file()]
    db.chmod(0o777)
    for file in files:
        file.chmod(0o444)
    try:
        return run_veltrix(place, *args, env=veltrix_env(place),
                           preexec_fn=as_nobody if os.geteuid() == 0 else None)
    finally:
        db.chmod(0o755)
        for file in files:
            file.chmod(0o644)


def read_only_mounts_work():
    return shutil.which("unshare") is not None and subprocess.run(
        ["unshare", "-m", "sh", "-c", "mount --bind -o ro / /mnt"], capture_output=True).returncode == 0


def run_on_read_only_mount(place, *args):
    # A private mount namespace, so the read-only bind mount is seen by veltrix alone.
    if not read_only_mounts_work():
        pytest.skip("no private mount namespace here (unshare -m and mount need root)")
    script = 'mount --bind -o ro "$1" "$1" && shift && exec "$@"'
    completed = subprocess.run(
        ["unshare", "-m", "sh", "-c", script, "sh", place / "rules", os.environ["VELTRIX"], *args],
        cwd=place, env={**os.environ, **veltrix_env(place)}, stdin=subprocess.DEVNULL,
        capture_output=True, timeout=120)
    return Outcome(completed.stdout, completed.stderr, completed.returncode)


WAYS = {
    "held": (run_held, IN_USE),
    "not writable": (run_not_writable, NOT_WRITABLE),
    "files not writable": (run_files_not_writable, NOT_WRITABLE),
    "read-only mount": (run_on_read_only_mount, NOT_WRITABLE),
}


def normal_dump(place):
    copy = place / "copy"
    shutil.copytree(place / "rules", copy)
    try:
        outcome = run_veltrix(place, "-d", copy)
        assert outcome.status == 0 and outcome.stderr == b"", outcome
        return outcome.stdout
    finally:
        shutil.rmtree(copy)


def write_tables_and_log(db):
    """Rules in several tables, and later writes to some of them still in the log."""
    damage.write_tables(db)
    write_rules(db, {key: ENABLED for key in list(damage.RULES)[::7]})


def assert_gone_without_a_trace(place):
    assert list((place / "tmp").iterdir()) == [], "the snapshot is removed"
    assert sorted(entry.name for entry in place.iterdir()) == ["logs", "rules", "tmp"], "nothing moved aside"


@pytest.mark.parametrize("run, reason", WAYS.values(), ids=WAYS.keys())
def test_snapshot_dump_equals_the_normal_dump_and_changes_nothing(place, run, reason):
    db = place / "rules"
    write_tables_and_log(db)
    expected = normal_dump(place)
    before = file_contents(db)

    outcome = run(place, "-d", db, "-l", place / "logs/run.log")

    assert outcome == Outcome(expected, b"", 0)
    assert file_contents(db) == before, "every file as it was, none added, LOG not rotated"
    assert (place / "logs/run.log").read_text() == (
        f"Database {db} {reason}; dumping a snapshot of its files\nDatabase {db} successfully opened\n")
    assert_gone_without_a_trace(place)


def test_database_held_open_by_its_owner_dumps_what_the_owner_committed(place):
    db = place / "rules"
    write_tables_and_log(db)
    expected = normal_dump(place)

    with owner("hold", db):
        # The owner's open replayed the log and rotated its own LOG; from here on, nothing may change.
        before = file_contents(db)
        outcome = run_veltrix(place, "-d", db, env=veltrix_env(place))
        after = file_contents(db)

    assert outcome == Outcome(expected, b"", 0)
    assert after == before
    assert_gone_without_a_trace(place)


DAMAGES = {
    "bit in a rule name": (damage.write_tables, damage.flip_in_rule_name),
    "table missing": (damage.write_tables, damage.remove_table),
    "CURRENT without newline": (damage.write_tables, damage.cut_current_newline),
    "MANIFEST cut in half": (damage.write_tables, damage.cut_manifest_in_half),
    "log with a flipped bit": (damage.write_log, damage.flip_in_log),
    "log without CURRENT": (damage.write_log, damage.remove_current),
}


@pytest.mark.parametrize("run, _", WAYS.values(), ids=WAYS.keys())
@pytest.mark.parametrize("write, damage_it", DAMAGES.values(), ids=DAMAGES.keys())
def test_damaged_database_is_an_error_and_is_never_moved_aside(place, run, _, write, damage_it):
    db = place / "rules"
    write(db)
    damage_it(db)
    before = file_contents(db)

    outcome = run(place, "-d", db)

    assert outcome.is_error("Error: "), outcome
    assert os.fsencode(place / "tmp") not in outcome.stderr, "the message names the database, not its copy"
    assert file_contents(db) == before
    assert_gone_without_a_trace(place)


@pytest.mark.parametrize("run, _", WAYS.values(), ids=WAYS.keys())
def test_output_of_a_compaction_its_owner_abandoned_is_no_damage(place, run, _):
    db = place / "rules"
    damage.write_tables(db)
    damage.abandoned_output(db, cut_short=True)
    copy = place / "copy"
    shutil.copytree(db, copy)
    expected = dump_of(dict(read_rules(copy)))
    shutil.rmtree(copy)
    before = file_contents(db)

    outcome = run(place, "-d", db)

    assert outcome == Outcome(expected, b"", 0)
    assert file_contents(db) == before
    assert_gone_without_a_trace(place)


def test_directory_without_a_database_that_cannot_be_written_is_an_error(place):
    (place / "rules").mkdir()

    outcome = run_not_writable(place, "-d", place / "rules")

    assert outcome == Outcome(
        b"", f"Error: {place / 'rules'} holds no database, and a new one cannot be created there\n".encode(), 1)
    assert list((place / "rules").iterdir()) == []
    assert_gone_without_a_trace(place)


def test_successive_dumps_of_a_database_its_owner_keeps_writing_are_whole_and_in_order(place):
    db = place / "rules"
    seen = []
    with owner("write", db) as writer:
        for _ in range(100):
            outcome = run_veltrix(place, "-d", db, env=veltrix_env(place))
            assert outcome.status == 0 and outcome.stderr == b"", outcome
            seen.append(json.loads(outcome.stdout))
        writer.stdin.close()
        last = int(writer.stdout.read())
        assert writer.wait(timeout=60) == 0, "the owner met no error"

    assert all(whole_groups(rules) for rules in seen), "every write batch whole"
    batches = [batch_number(rules) for rules in seen]
    assert batches == sorted(batches) and batches[0] >= 1, "never back in time"
    final = {key.decode(): value == ENABLED for key, value in read_rules(db)}
    assert whole_groups(final) and batch_number(final) == last >= batches[-1]
    assert_gone_without_a_trace(place)


def table_replaced_by_a_fifo(db):
    """Makes veltrix's copy wait on a table file until the test opens it for writing."""
    table = damage.first_table(db)
    content = table.read_bytes()
    table.unlink()
    os.mkfifo(table)
    return table, content


def open_for_writing_once_read(fifo, veltrix, before=lambda: None):
    """Waits, while veltrix runs, until it opens the fifo; returns the writing end.
    before() runs before each try, so its effect precedes the copy of the table."""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and veltrix.poll() is None:
        before()
        try:
            return os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
        except OSError:
            time.sleep(0.01)
    return None


def close_once_unread(fifo):
    """Closes the writing end once veltrix has closed the reading end."""
    try:
        while True:
            os.write(fifo, b"x")
            time.sleep(0.01)
    except BrokenPipeError:
        os.close(fifo)


def test_sigterm_mid_copy_removes_the_snapshot(place):
    db = place / "rules"
    damage.write_tables(db)
    table, content = table_replaced_by_a_fifo(db)
    with owner("lock", db):
        veltrix = subprocess.Popen([os.environ["VELTRIX"], "-d", db], cwd=place,
                                   env={**os.environ, **veltrix_env(place)}, stdout=subprocess.DEVNULL)
        fifo = open_for_writing_once_read(table, veltrix)
        assert fifo is not None, "veltrix copies the table"
        assert len(list((place / "tmp").iterdir())) == 1, "the snapshot is being taken"
        veltrix.send_signal(signal.SIGTERM)
        status = veltrix.wait(timeout=60)
        os.close(fifo)

    assert status == -signal.SIGTERM
    assert list((place / "tmp").iterdir()) == []
    table.unlink()
    table.write_bytes(content)


def test_database_that_changes_during_every_copy_is_an_error(place):
    db = place / "rules"
    damage.write_tables(db)
    table, _ = table_replaced_by_a_fifo(db)
    # A table the descriptor lists is gone, as after a compaction that replaced it.
    max(db.glob("*.ldb")).unlink()
    (manifest,) = db.glob("MANIFEST-*")
    copies = 0
    with owner("lock", db):
        veltrix = subprocess.Popen([os.environ["VELTRIX"], "-d", db], cwd=place,
                                   env={**os.environ, **veltrix_env(place)},
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # While veltrix waits on the first table, the owner records a change of its files.
        def grow():
            with manifest.open("ab") as descriptor:
                descriptor.write(b"\0")

        while (fifo := open_for_writing_once_read(table, veltrix, before=grow)) is not None:
            close_once_unread(fifo)
            copies += 1
        stdout, stderr = veltrix.communicate(timeout=60)

    assert Outcome(stdout, stderr, veltrix.returncode) == Outcome(
        b"", f"Error: database {db} kept changing while it was copied; try again\n".encode(), 1)
    assert copies == 5
    assert list((place / "tmp").iterdir()) == []
