"""The -l log file: when it is made, emptied or left alone, and what each -e level lets into it."""

import pytest

from rule_db import ENABLED, write_rules
from veltrix_process import Outcome

LEVELS = {
    "default": [],
    "-e trace": ["-e", "trace"],
    "-e debug": ["-e", "debug"],
    "-e info": ["-e", "info"],
    "-e fatal": ["-e", "fatal"],
}


@pytest.fixture
def db(tmp_path):
    path = tmp_path / "db"
    write_rules(path, {b"r": ENABLED})
    return path


@pytest.mark.parametrize("level_args", LEVELS.values(), ids=LEVELS.keys())
def test_log_holds_what_the_level_admits(veltrix, tmp_path, db, level_args):
    log = tmp_path / "v.log"
    log.write_bytes(b"line of an earlier run\n")

    outcome = veltrix("-d", db, "-l", log, *level_args)

    assert outcome == Outcome(b'{"r":true}\n', b"", 0)
    # The only message of a healthy open is at Info, which "fatal" keeps out.
    expected = "" if "fatal" in level_args else f"Database {db} successfully opened\n"
    assert log.read_text() == expected


REFUSED = {
    "-h": ["-h"],
    "-v": ["-v"],
    "bad -e": ["-e", "warn"],
}


@pytest.mark.parametrize("args", REFUSED.values(), ids=REFUSED.keys())
def test_no_log_file_when_the_run_is_refused(veltrix, tmp_path, db, args):
    log = tmp_path / "v.log"

    outcome = veltrix("-l", log, "-d", db, *args)

    assert outcome.status == 1
    assert not log.exists()


def test_log_made_and_left_empty_when_database_directory_is_missing(veltrix, tmp_path):
    log, absent = tmp_path / "v.log", tmp_path / "absent"

    outcome = veltrix("-l", log, "-d", absent)

    assert outcome == Outcome(b"", f"Path {absent} is not exists!\n".encode(), 1)
    assert log.read_bytes() == b""
