"""Databases that cannot be read as they stand: corrupted, damaged inside, or not a directory.
(Locked and read-only ones: test_snapshot.py.)"""

import os
import re
from datetime import datetime, timedelta, timezone

import pytest

from rule_db import DISABLED, ENABLED, compacted_table, file_contents, read_rules, write_rules

STAMP = "%Y%m%dT%H%M%SZ"
# A zone far from UTC, so that a time stamp taken in local time shows.
NOT_UTC = {"TZ": "IST-5:30"}
# How far the stamp veltrix takes may lie from our own readings of the clock:
# the two processes read it at different granularities, and the clock may be
# stepped between readings. Local time instead of UTC would be 5.5 hours off.
CLOCK_SLACK = timedelta(minutes=2)
# LevelDB rotates its own diagnostic log at every open, a failing one too.
LEVELDB_OWN_LOG = {"LOG", "LOG.old"}


def cut_current_newline(db):
    current = db / "CURRENT"
    current.write_bytes(current.read_bytes().rstrip(b"\n"))


def point_current_at_missing_manifest(db):
    (db / "CURRENT").write_bytes(b"MANIFEST-999999\n")


def corrupted_db(tmp_path, damage):
    db = tmp_path / "rules"
    write_rules(db, {b"r1": ENABLED, b"r2": DISABLED})
    damage(db)
    return db


def moved_aside(db):
    """Maps each sibling that holds db's moved-aside content to the UTC time in its name."""
    name = re.compile(re.escape(db.name) + r"\.corrupt-(\d{8}T\d{6}Z)(?:-\d+)?")
    return {
        sibling: datetime.strptime(match[1], STAMP).replace(tzinfo=timezone.utc)
        for sibling in db.parent.iterdir()
        if (match := name.fullmatch(sibling.name))
    }


@pytest.mark.parametrize("trailing", ["", "/"], ids=["plain path", "trailing slash"])
@pytest.mark.parametrize("damage", [cut_current_newline, point_current_at_missing_manifest])
def test_corrupted_database_is_moved_aside_and_recreated(veltrix, tmp_path, damage, trailing):
    db = corrupted_db(tmp_path, damage)
    before = {name: data for name, data in file_contents(db).items() if name not in LEVELDB_OWN_LOG}
    given, log = f"{db}{trailing}", tmp_path / "v.log"
    start = datetime.now(timezone.utc)

    outcome = veltrix("-d", given, "-l", log, env=NOT_UTC)

    ((sibling, stamp),) = moved_aside(db).items()
    assert (outcome.stdout, outcome.status) == (b"{}\n", 0)
    assert re.fullmatch(
        rf"Warning: database {re.escape(given)} is damaged \(Corruption: .+\); moved to {re.escape(str(sibling))} "
        rf"and recreated empty\n", outcome.stderr.decode())
    assert start - CLOCK_SLACK <= stamp <= datetime.now(timezone.utc) + CLOCK_SLACK
    after = file_contents(sibling)
    assert {name: after.get(name) for name in before} == before
    assert read_rules(db) == []
    corrupted, *rest = log.read_text().splitlines(keepends=True)
    assert re.fullmatch(
        rf'Database "{re.escape(given)}" corrupted \(Corruption: .+\)\. Will be moved aside and recreated\n',
        corrupted)
    assert rest == [f"Database {given} moved to {sibling}\n", f"Database {given} successfully opened\n"]


def test_moved_aside_name_counts_up_while_taken(veltrix, tmp_path):
    db = corrupted_db(tmp_path, cut_current_newline)
    start = datetime.now(timezone.utc) - CLOCK_SLACK
    # Every name the run could choose, within the slack either side of now and a
    # minute on, is taken, plain and with -1.
    taken = {
        tmp_path / f"rules.corrupt-{(start + timedelta(seconds=second)):{STAMP}}{counter}"
        for second in range(int((2 * CLOCK_SLACK).total_seconds()) + 60)
        for counter in ("", "-1")
    }
    for place in taken:
        place.mkdir()

    outcome = veltrix("-d", db)

    (sibling,) = moved_aside(db).keys() - taken
    assert (outcome.stdout, outcome.status) == (b"{}\n", 0)
    assert outcome.stderr.endswith(f"; moved to {sibling} and recreated empty\n".encode())
    assert sibling.name.endswith("-2")
    assert (sibling / "CURRENT").exists()
    assert not any(any(place.iterdir()) for place in taken)


def test_stray_current_file_loses_no_file(veltrix, tmp_path):
    folder = tmp_path / "papers"
    (folder / "drafts").mkdir(parents=True)
    files = {"CURRENT": b"not a manifest name", "notes.txt": b"keep me\n", "drafts/plan.bin": bytes(range(256))}
    for name, data in files.items():
        (folder / name).write_bytes(data)

    veltrix("-d", folder)

    found = file_contents(folder)
    for sibling in moved_aside(folder):
        found.update(file_contents(sibling))
    assert {name: found.get(name) for name in files} == files


def overwrite_middle_third(table):
    size = table.stat().st_size
    with table.open("r+b") as file:
        file.seek(size // 3)
        file.write(b"\xff" * (size // 3))


def cut_in_half(table):
    os.truncate(table, table.stat().st_size // 2)


@pytest.mark.parametrize("damage, message_start", [
    (overwrite_middle_third, "Error: Corruption: "),
    (cut_in_half, "Error: IO error: "),
], ids=["undecodable blocks", "truncated table"])
def test_read_error_is_not_taken_for_the_end(veltrix, tmp_path, damage, message_start):
    # Many small, well-compressible entries fill a table file with many Snappy blocks.
    table = compacted_table(
        tmp_path / "rules", {b"rule-%06d" % i: DISABLED if i % 3 else ENABLED for i in range(20000)})
    damage(table)
    damaged = table.read_bytes()

    assert veltrix("-d", tmp_path / "rules").is_error(message_start)
    assert table.read_bytes() == damaged


def test_regular_file_is_not_a_database(veltrix, tmp_path):
    plain = tmp_path / "rules"
    plain.write_bytes(b"just a file\n")

    assert veltrix("-d", plain).is_error("Error: IO error: ")
    assert plain.read_bytes() == b"just a file\n"
