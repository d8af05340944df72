"""Rule databases written and read with plyvel, a LevelDB client that shares no
code with veltrix, so a fault common to veltrix's writer and reader cannot hide."""

import os
from pathlib import Path

import plyvel

ENABLED = b'{"enabled":true}'
DISABLED = b'{"enabled":false}'


def write_rules(path, entries):
    """Creates (or adds to) the database at path; entries maps key bytes to value bytes."""
    db = plyvel.DB(os.fspath(path), create_if_missing=True)
    try:
        with db.write_batch() as batch:
            for key, value in entries.items():
                batch.put(key, value)
    finally:
        db.close()


def read_rules(path):
    """Every (key, value) of the database at path, in the database's order."""
    db = plyvel.DB(os.fspath(path))
    try:
        return list(db)
    finally:
        db.close()


def dump_of(rules):
    """The line veltrix prints for rules, a mapping of printable key bytes to ENABLED or DISABLED."""
    return b"{" + b",".join(b'"%s":%s' % (key, b"true" if value == ENABLED else b"false")
                            for key, value in rules.items()) + b"}\n"


def compacted_table(path, entries):
    """Writes entries, compacts them into table files and returns the one table file."""
    write_rules(path, entries)
    db = plyvel.DB(os.fspath(path))
    try:
        db.compact_range()
    finally:
        db.close()
    (table,) = Path(path).glob("*.ldb")
    return table


def file_contents(root):
    """Maps the path (relative to root) of every file below root to its bytes."""
    root = Path(root)
    return {
        file.relative_to(root).as_posix(): file.read_bytes()
        for file in root.rglob("*")
        if file.is_file()
    }
