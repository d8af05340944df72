"""The dump on standard output: order, escaping, which values pass, what a bad one stops,
and a failed write of the document."""

import resource
import signal

import pytest

from rule_db import DISABLED, ENABLED, compacted_table, read_rules, write_rules
from veltrix_process import Outcome, run_make_demo_db


def dump_of(veltrix, tmp_path, entries):
    db = tmp_path / "db"
    write_rules(db, entries)
    return veltrix("-d", db)


def test_keys_come_in_bytewise_order(veltrix, tmp_path):
    outcome = dump_of(veltrix, tmp_path, {
        b"ab": DISABLED, b"\xc3\xa9": ENABLED, b"a": DISABLED, b"B": ENABLED, b"a\x00": ENABLED})

    assert outcome == Outcome(
        b'{"B":true,"a":false,"a\\u0000":true,"ab":false,"\xc3\xa9":true}\n', b"", 0)


ESCAPES = {
    "quotation mark": (b'say "hi"', b'say \\"hi\\"'),
    "backslash": (b"C:\\rules", b"C:\\\\rules"),
    "short escapes": (b"\x08\t\n\x0c\r", b"\\b\\t\\n\\f\\r"),
    "other control bytes in upper-case hex": (b"\x01\x1b\x1f", b"\\u0001\\u001B\\u001F"),
    "zero byte inside": (b"a\x00b", b"a\\u0000b"),
    "zero byte alone": (b"\x00", b"\\u0000"),
    "slash and DEL unchanged": (b"a/b\x7f", b"a/b\x7f"),
    "bytes from 0x80 unchecked": (b"\xc3\xa9\xff\x80", b"\xc3\xa9\xff\x80"),
}


@pytest.mark.parametrize("key, written", ESCAPES.values(), ids=ESCAPES.keys())
def test_key_escaping(veltrix, tmp_path, key, written):
    assert dump_of(veltrix, tmp_path, {key: ENABLED}) == Outcome(b'{"' + written + b'":true}\n', b"", 0)


ACCEPTED = {
    "blanks around tokens": (b' \t\r\n{ "enabled" :\tfalse\r\n}\n ', b"false"),
    "bytes after a zero byte": (b'{"enabled":true}\x00{"broken', b"true"),
}


@pytest.mark.parametrize("value, flag", ACCEPTED.values(), ids=ACCEPTED.keys())
def test_accepted_values(veltrix, tmp_path, value, flag):
    assert dump_of(veltrix, tmp_path, {b"r": value}) == Outcome(b'{"r":' + flag + b"}\n", b"", 0)


REJECTED = {
    "not JSON": (b"enabled", "Error parsing json"),
    "text after the object": (b'{"enabled":true} x', "Error parsing json"),
    "zero byte first": (b'\x00{"enabled":true}', "Error parsing json"),
    "number flag": (b'{"enabled":1}', "Wrong RuleParams json format"),
    "extra member": (b'{"enabled":true,"name":"x"}', "Wrong RuleParams json format"),
}


@pytest.mark.parametrize("value, message", REJECTED.values(), ids=REJECTED.keys())
def test_a_bad_last_value_prints_nothing(veltrix, tmp_path, value, message):
    outcome = dump_of(veltrix, tmp_path, {b"a": ENABLED, b"b": DISABLED, b"z": value})

    assert outcome == Outcome(b"", f"Error: {message}\n".encode(), 1)


def test_empty_directory_gets_an_empty_database(veltrix, tmp_path):
    db = tmp_path / "db"
    db.mkdir()

    assert veltrix("-d", db) == Outcome(b"{}\n", b"", 0)
    assert read_rules(db) == []


def test_demo_database_reads_back(veltrix, tmp_path):
    db = tmp_path / "demo"
    made = run_make_demo_db(tmp_path, db)
    assert made.status == 0, made

    entries = read_rules(db)
    assert {value for _, value in entries} == {ENABLED, DISABLED}
    members = b",".join(b'"%s":%s' % (key, b"true" if value == ENABLED else b"false") for key, value in entries)
    assert veltrix("-d", db) == Outcome(b"{" + members + b"}\n", b"", 0)


def file_size_limit(size):
    """A child set-up that limits the files it writes to size bytes; a longer write then fails
    with EFBIG instead of killing the process."""
    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
    return limit


FAILED_WRITES = {
    "document to a full device": ([], "/dev/full", None, "No space left on device"),
    "version to a full device": (["-v"], "/dev/full", None, "No space left on device"),
    "document past a file size limit": ([], "out.json", file_size_limit(4096), "File too large"),
}


@pytest.mark.parametrize("args, target, limit, reason", FAILED_WRITES.values(), ids=FAILED_WRITES.keys())
def test_a_failed_write_of_the_output_is_an_error(veltrix, tmp_path, args, target, limit, reason):
    db = tmp_path / "db"
    # Compacted, so that opening it writes only a few small files of its own.
    compacted_table(db, {b"rule-%05d" % i: ENABLED for i in range(2000)})

    with open(tmp_path / target, "wb") as stdout:
        outcome = veltrix(*args, "-d", db, stdout=stdout, preexec_fn=limit)

    assert outcome == Outcome(b"", f"Error: Cannot write standard output: {reason}\n".encode(), 1)


def test_demo_database_that_cannot_be_stored_is_an_error(tmp_path):
    made = run_make_demo_db(tmp_path, tmp_path / "demo", preexec_fn=file_size_limit(200))

    assert made.is_error("Error: IO error: "), made
