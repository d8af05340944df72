"""Damaged databases, end to end: veltrix prints the right document, fails with its
Error line, or moves the database aside and starts empty; it never crashes, never
prints a wrong or partial document with status 0, and loses no file."""

import os
import re
import shutil

import pytest

import damage
from damage import RULES
from rule_db import dump_of, file_contents, read_rules
from veltrix_process import Outcome

# LevelDB rewrites its own diagnostic log and lock at every open.
LEVELDB_OWN = {"LOG", "LOG.old", "LOCK"}
# A healthy open replaces the logs it replays and the descriptor by new ones.
SUPERSEDED = re.compile(r"\d+\.log|MANIFEST-\d+")
WARNING = re.compile(rb"Warning: database (.+) is damaged \((Corruption: .+)\); moved to (.+) and recreated empty\n")

TABLES, LOG = "tables", "log"
CASES = {
    "bit in a rule name": (TABLES, damage.flip_in_rule_name, "error"),
    "bit in an index block": (TABLES, damage.flip_in_index_block, "error"),
    "bit in the footer's metaindex handle": (TABLES, damage.flip_in_metaindex_handle, "whole"),
    "bit in the footer's index handle": (TABLES, damage.flip_in_index_handle, "error"),
    "bit in a footer magic": (TABLES, damage.flip_in_footer_magic, "error"),
    "table cut in half": (TABLES, damage.cut_table_in_half, "error"),
    "table footer cut": (TABLES, damage.cut_table_footer, "error"),
    "table emptied": (TABLES, damage.empty_table, "error"),
    "table missing": (TABLES, damage.remove_table, "aside"),
    "CURRENT missing": (TABLES, damage.remove_current, "aside"),
    "CURRENT without newline": (TABLES, damage.cut_current_newline, "aside"),
    "CURRENT names a missing MANIFEST": (TABLES, damage.point_current_at_missing_manifest, "aside"),
    "CURRENT empty": (TABLES, damage.empty_current, "aside"),
    "MANIFEST cut in half": (TABLES, damage.cut_manifest_in_half, "aside"),
    "MANIFEST empty": (TABLES, damage.empty_manifest, "aside"),
    "MANIFEST garbage": (TABLES, damage.garbage_manifest, "aside"),
    "log with a flipped bit": (LOG, damage.flip_in_log, "aside"),
    "log without CURRENT": (LOG, damage.remove_current, "aside"),
    "log cut in half": (LOG, damage.cut_log_in_half, "prefix"),
    "log with a torn last record": (LOG, damage.cut_log_last_record, "prefix"),
}


@pytest.fixture(scope="module")
def originals(tmp_path_factory):
    root = tmp_path_factory.mktemp("originals")
    damage.write_tables(root / TABLES)
    damage.write_log(root / LOG)
    return root


def kept_files(db):
    return {name: data for name, data in file_contents(db).items() if name not in LEVELDB_OWN}


def siblings_of(db):
    return [sibling for sibling in db.parent.iterdir() if sibling.name.startswith(db.name + ".corrupt-")]


@pytest.mark.parametrize("shape, damage_it, expected", CASES.values(), ids=CASES.keys())
def test_damaged_database(veltrix, tmp_path, originals, shape, damage_it, expected):
    db = tmp_path / "rules"
    shutil.copytree(originals / shape, db)
    damage_it(db)
    before = kept_files(db)

    outcome = veltrix("-d", db)

    found = file_contents(db)
    for sibling in siblings_of(db):
        found.update(file_contents(sibling))
    lost = {name for name in before if name not in found}
    if expected == "error":
        assert outcome.is_error("Error: "), outcome
        assert not siblings_of(db)
    elif expected == "aside":
        assert outcome.stdout == b"{}\n" and outcome.status == 0, outcome
        (sibling,) = siblings_of(db)
        warning = WARNING.fullmatch(outcome.stderr)
        assert warning and warning[1] == os.fsencode(db) and warning[3] == os.fsencode(sibling), outcome
        aside = file_contents(sibling)
        assert all(aside[name] == data for name, data in before.items() if SUPERSEDED.fullmatch(name)), \
            "logs and descriptors as they were"
    else:
        assert outcome.status == 0 and outcome.stderr == b"", outcome
        members = len(outcome.stdout.split(b",")) if outcome.stdout != b"{}\n" else 0
        assert outcome.stdout == dump_of(dict(list(RULES.items())[:members])), "a prefix of the writes"
        assert expected == "prefix" or members == len(RULES)
        lost = {name for name in lost if not SUPERSEDED.fullmatch(name)}
    assert not lost


def test_user_files_named_like_a_database_are_moved_aside_whole(veltrix, tmp_path):
    folder = tmp_path / "papers"
    folder.mkdir()
    files = {"000007.log": b"my notes\n", "000005.ldb": b"my table", "MANIFEST-000001": b"my list"}
    for name, data in files.items():
        (folder / name).write_bytes(data)

    outcome = veltrix("-d", folder)

    (sibling,) = siblings_of(folder)
    assert outcome.stdout == b"{}\n" and WARNING.fullmatch(outcome.stderr), outcome
    assert file_contents(sibling) == files


def test_unrelated_files_get_a_new_database_beside_them(veltrix, tmp_path):
    folder = tmp_path / "papers"
    folder.mkdir()
    (folder / "notes.txt").write_bytes(b"keep me\n")

    assert veltrix("-d", folder) == Outcome(b"{}\n", b"", 0)
    assert (folder / "notes.txt").read_bytes() == b"keep me\n"
    assert not siblings_of(folder)


def test_a_database_veltrix_closed_reads_the_same_again(veltrix, tmp_path, originals):
    # veltrix's own close leaves a log whose replay writes no table; that is no damage.
    db = tmp_path / "rules"
    shutil.copytree(originals / TABLES, db)

    runs = [veltrix("-d", db) for _ in range(3)]

    assert runs == [Outcome(dump_of(RULES), b"", 0)] * 3
    assert not siblings_of(db)


@pytest.mark.parametrize("cut_short", [True, False], ids=["output cut short", "output finished"])
def test_output_of_a_compaction_its_owner_abandoned_is_no_damage(veltrix, tmp_path, originals, cut_short):
    # An owner that closes the database while a compaction runs leaves the compaction's
    # output behind, listed by no descriptor; the next open removes it.
    db = tmp_path / "rules"
    shutil.copytree(originals / TABLES, db)
    output = damage.abandoned_output(db, cut_short)
    shutil.copytree(db, tmp_path / "copy")
    listed = {name: data for name, data in kept_files(db).items() if name.endswith(".ldb") and name != output.name}

    outcome = veltrix("-d", db)

    assert outcome == Outcome(dump_of(dict(read_rules(tmp_path / "copy"))), b"", 0)
    assert not siblings_of(db)
    assert not output.exists(), "removed as LevelDB removes it"
    assert all(kept_files(db).get(name) == data for name, data in listed.items())
