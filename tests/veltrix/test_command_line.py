"""The command line as a user meets it: texts, streams and exit statuses."""

import pytest

from rule_db import DISABLED, ENABLED, write_rules
from veltrix_process import Outcome

USAGE = (
    "Usage: veltrix [OPTS]\n"
    "veltrix options:\n"
    "\t-d  arg     path to LevelDB dir (required)\n"
    "\t-l  arg     path to logfile\n"
    "\t-e  arg     loglevel (trace, debug, info, fatal)\n"
    "\t-h          show help and exit\n"
    "\t-v          show version and exit\n"
)
NO_DIR = "Error: path to LevelDB dir is not specified\n"
VERSION = "14.2.810\n"
DUMP = '{"r1":true,"r2":false}\n'

# Placeholders: {db} holds r1 (enabled) and r2 (disabled); {empty} is an empty
# directory that must still be empty after a run that fails; {absent} does not exist.
CASES = {
    "no arguments": ([], "", NO_DIR + USAGE, 1),
    "empty -d": (["-d", ""], "", NO_DIR + USAGE, 1),
    "-h": (["-h", "-d", "{empty}"], "", USAGE, 1),
    "unknown option": (["-x", "-d", "{empty}"], "", USAGE, 1),
    "-d last": (["-d"], "", USAGE, 1),
    "-l without argument": (["-d", "{empty}", "-l"], "", USAGE, 1),
    "-v alone": (["-v"], VERSION, NO_DIR + USAGE, 1),
    "-v with -d": (["-v", "-d", "{empty}"], VERSION, "", 1),
    "-v -h": (["-v", "-h", "-d", "{empty}"], VERSION, USAGE, 1),
    "cluster -vh": (["-vh", "-d", "{empty}"], VERSION, USAGE, 1),
    "-e warn": (["-e", "warn", "-d", "{empty}"], "", "Error: Invalid loglevel: warn\n", 1),
    "-e warn before -h": (["-d", "{empty}", "-e", "warn", "-h"], "", "Error: Invalid loglevel: warn\n", 1),
    "-e word kept unfolded": (["-e", "WaRn", "-v"], "", "Error: Invalid loglevel: WaRn\n", 1),
    "-e empty word": (["-e", "", "-d", "{empty}"], "", "Error: Invalid loglevel: \n", 1),
    "operand ends options": (["{empty}", "-d", "{empty}"], "", NO_DIR + USAGE, 1),
    "-- ends options": (["--", "-d", "{empty}"], "", NO_DIR + USAGE, 1),
    "lone - ends options": (["-", "-d", "{empty}"], "", NO_DIR + USAGE, 1),
    "-d takes -l as its argument": (["-d", "-l"], "", "Path -l is not exists!\n", 1),
    "missing directory": (["-d", "{absent}"], "", "Path {absent} is not exists!\n", 1),
    "log in missing directory": (
        ["-l", "{absent}/v.log", "-d", "{empty}"], "", "Error: Error open file: {absent}/v.log\n", 1),
    "-d DIR": (["-d", "{db}"], DUMP, "", 0),
    "-dDIR": (["-d{db}"], DUMP, "", 0),
    "last -d wins": (["-d", "{absent}", "-d", "{db}"], DUMP, "", 0),
    "-e TRACE": (["-e", "TRACE", "-d", "{db}"], DUMP, "", 0),
    "-e Info": (["-e", "Info", "-d", "{db}"], DUMP, "", 0),
    "operand after options": (["-d", "{db}", "extra", "-x"], DUMP, "", 0),
}


@pytest.mark.parametrize("args, stdout, stderr, status", CASES.values(), ids=CASES.keys())
def test_command_line(veltrix, tmp_path, args, stdout, stderr, status):
    places = {"db": tmp_path / "db", "empty": tmp_path / "empty", "absent": tmp_path / "absent"}
    write_rules(places["db"], {b"r2": DISABLED, b"r1": ENABLED})
    places["empty"].mkdir()

    outcome = veltrix(*(arg.format(**places) for arg in args))

    assert outcome == Outcome(stdout.encode(), stderr.format(**places).encode(), status)
    if status != 0:
        assert not any(places["empty"].iterdir()), "a failed run must not create a database"


def test_path_that_cannot_be_examined(veltrix, tmp_path):
    loop = tmp_path / "loop"
    loop.symlink_to(loop)

    assert veltrix("-d", loop).is_error()
