"""Rule databases of several table files or a large log, and the ways to damage them.

Every damage takes the database directory and changes it in place."""

import os
import re
import subprocess
import sys
from pathlib import Path

import plyvel

from rule_db import DISABLED, ENABLED

# 5,000 rules, written in key order, so a prefix of the writes is a prefix of the dump.
RULES = {
    b"rule.group-%03d.check-%03d" % (group, check): ENABLED if (group + check) % 3 else DISABLED
    for group in range(100)
    for check in range(50)
}


def write_tables(path):
    """Writes RULES with small buffers and compacts them into several table files."""
    db = plyvel.DB(os.fspath(path), create_if_missing=True, write_buffer_size=16384, max_file_size=32768)
    try:
        for key, value in RULES.items():
            db.put(key, value)
        db.compact_range()
    finally:
        db.close()


KILLED_WRITER = """
import os, sys
import plyvel
sys.path.insert(0, {here!r})
from damage import RULES
db = plyvel.DB({path!r}, create_if_missing=True)
for key, value in RULES.items():
    db.put(key, value)
os._exit(0)  # killed before closing: every rule is only in the log
"""


def write_log(path):
    """Puts RULES one by one from a writer that dies before closing the database."""
    script = KILLED_WRITER.format(here=os.fspath(Path(__file__).parent), path=os.fspath(path))
    subprocess.run([sys.executable, "-c", script], check=True)


def flip_bit(path, offset, bit=0):
    data = bytearray(path.read_bytes())
    data[offset] ^= 1 << bit
    path.write_bytes(bytes(data))


def first(db, pattern):
    (found,) = sorted(db.glob(pattern))[:1]
    return found


def first_table(db):
    return first(db, "*.ldb")


def footer_varints(table):
    """(offset in the file, value) of the four varints of the 48-byte footer:
    the metaindex block's offset and size, then the index block's."""
    start = table.stat().st_size - 48
    footer = table.read_bytes()[start:]
    varints, value, shift, begin = [], 0, 0, 0
    for position, byte in enumerate(footer):
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            varints.append((start + begin, value))
            value, shift, begin = 0, 0, position + 1
            if len(varints) == 4:
                return varints


def flip_in_rule_name(db):
    """A bit of a stored rule name: unchecked, it reads as another rule."""
    table = first_table(db)
    flip_bit(table, table.read_bytes().index(b"check-") + 2)


def flip_in_index_block(db):
    table = first_table(db)
    flip_bit(table, footer_varints(table)[2][1] + 3, bit=4)


def flip_in_metaindex_handle(db):
    """The metaindex block is read only for filters, which these tables do not have."""
    table = first_table(db)
    flip_bit(table, footer_varints(table)[0][0], bit=1)


def flip_in_index_handle(db):
    table = first_table(db)
    flip_bit(table, footer_varints(table)[2][0], bit=2)


def flip_in_footer_magic(db):
    table = first_table(db)
    flip_bit(table, table.stat().st_size - 1, bit=3)


def cut_table_in_half(db):
    table = first_table(db)
    os.truncate(table, table.stat().st_size // 2)


def cut_table_footer(db):
    table = first_table(db)
    os.truncate(table, table.stat().st_size - 20)


def empty_table(db):
    os.truncate(first_table(db), 0)


def remove_table(db):
    first_table(db).unlink()


def remove_current(db):
    (db / "CURRENT").unlink()


def cut_manifest_in_half(db):
    manifest = first(db, "MANIFEST-*")
    os.truncate(manifest, manifest.stat().st_size // 2)


def empty_manifest(db):
    os.truncate(first(db, "MANIFEST-*"), 0)


def garbage_manifest(db):
    manifest = first(db, "MANIFEST-*")
    manifest.write_bytes(bytes(range(256)) * (manifest.stat().st_size // 256 + 1))


def cut_current_newline(db):
    current = db / "CURRENT"
    current.write_bytes(current.read_bytes().rstrip(b"\n"))


def point_current_at_missing_manifest(db):
    (db / "CURRENT").write_bytes(b"MANIFEST-999999\n")


def empty_current(db):
    (db / "CURRENT").write_bytes(b"")


def flip_in_log(db):
    log = first(db, "*.log")
    flip_bit(log, log.stat().st_size // 2, bit=5)


def cut_log_in_half(db):
    log = first(db, "*.log")
    os.truncate(log, log.stat().st_size // 2)


def cut_log_last_record(db):
    log = first(db, "*.log")
    os.truncate(log, log.stat().st_size - 5)


def abandoned_output(db, cut_short):
    """Leaves a table file as a compaction leaves its output when the owner closes the
    database midway: numbered above every file of db, listed nowhere, cut short or finished.
    Returns its path."""
    numbers = [int(match[1] or match[2]) for entry in db.iterdir()
               if (match := re.fullmatch(r"(\d+)\.(?:ldb|log|sst)|MANIFEST-(\d+)", entry.name))]
    data = first_table(db).read_bytes()
    output = db / ("%06d.ldb" % (max(numbers) + 1))
    output.write_bytes(data[:len(data) // 2] if cut_short else data)
    return output
