"""`python3 -m morvane FILE COMMAND`: the everyday chores on a database file
from the shell.

    tables          the tables' names, one a line, sorted
    schema [TABLE]  each table's columns and indexes (or one table's)
    dump TABLE      the table's rows as JSON Lines, in primary key order
    load TABLE      JSON Lines from standard input into the table, in one
                    transaction: every row or none
    check           verifies every index of every table against the rows;
                    one line per fault on standard output, status 1 if any
    stats           each table's row count and sizes

The file must exist: no command creates one, and all but `load` open it
read-only. An error prints one line, `Error: ...`, on standard error and
ends with status 1 (a usage error too). While `load` or `check` runs, a row
count on standard error shows progress, when standard error is a terminal.
The JSON forms of the values are described in `morvane.cli_json`.
"""
from __future__ import annotations

import argparse
import contextlib
import json
import os
import sys
from typing import IO, Callable, NoReturn, Sequence

import morvane
from morvane import Column, Table, Transaction
from morvane.cli_json import RowCodec

LOAD_PROGRESS_ROWS = 5000


class UsageError(Exception):
    """A command line argparse refused."""


class CommandError(Exception):
    """A failure the command reports as its one line of text."""


class _Parser(argparse.ArgumentParser):
    """An argument parser whose errors end as this tool's others do."""

    def error(self, message: str) -> NoReturn:
        raise UsageError(message)


def build_parser() -> argparse.ArgumentParser:
    """The parser of the command line (its --help is the usage text)."""
    parser = _Parser(prog="python3 -m morvane", description="Lists, dumps, loads and checks a morvane database file.",
                     epilog="An error prints one line, 'Error: ...', on standard error; the status is then 1.")
    parser.add_argument("file", metavar="FILE", help="the database file (it must exist)")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)
    commands.add_parser("tables", help="the tables' names, one a line")
    schema = commands.add_parser("schema", help="each table's columns and indexes")
    schema.add_argument("table", metavar="TABLE", nargs="?", help="only this table")
    dump = commands.add_parser("dump", help="a table's rows as JSON Lines, in primary key order")
    dump.add_argument("table", metavar="TABLE")
    load = commands.add_parser("load", help="JSON Lines from standard input into a table, all or nothing")
    load.add_argument("table", metavar="TABLE")
    commands.add_parser("check", help="verify every index against the rows; one line per fault")
    commands.add_parser("stats", help="each table's row count and sizes")
    return parser


class Progress:
    """A count of rows on one line of a terminal, rewritten as it grows;
    nothing at all when the stream is not a terminal."""

    def __init__(self, stream: IO[str], what: str) -> None:
        self._stream, self._what = stream, what
        self._shown = stream.isatty()
        self._written = False

    def __call__(self, rows: int) -> None:
        if self._shown:
            self._stream.write(f"\r{self._what}: {rows:,} rows")
            self._stream.flush()
            self._written = True

    def done(self) -> None:
        """Clears the line written, so that what follows starts on a clean one."""
        if self._written:
            self._stream.write("\r\033[K")
            self._stream.flush()
            self._written = False


def _table_name(txn: Transaction, name: str) -> str:
    """The name of a table as it was created (names are compared without
    regard to case)."""
    for known in txn.table_names():
        if known.lower() == name.lower():
            return known
    raise CommandError(f"no table named {name}")


def _table(txn: Transaction, name: str) -> Table:
    return txn.table(_table_name(txn, name))


def _write(out: IO[bytes], text: str) -> None:
    out.write(text.encode("utf-8"))


def list_tables(txn: Transaction, out: IO[bytes]) -> None:
    """Writes the tables' names, one a line, sorted."""
    for name in txn.table_names():
        _write(out, name + "\n")


def _index_words(column: Column) -> str:
    words = []
    if column.index is not None:
        words.append(column.index)
        words.append("unique" if column.unique else "with duplicates")
        if not column.ordered:
            words.append("unordered")
        if column.reverse:
            words.append("reverse")
    if column.nullable:
        words.append("nullable")
    return " ".join(words)


def show_schema(txn: Transaction, out: IO[bytes], only: str | None) -> None:
    """Writes each table's name, then one indented line per column: its name,
    type and index. Tables are separated by an empty line."""
    names = txn.table_names() if only is None else [_table_name(txn, only)]
    for number, name in enumerate(names):
        columns = txn.table(name).columns
        name_width = max(len(column.name) for column in columns)
        lines = [f"  {column.name:<{name_width}}  {column.type:<8}  {_index_words(column)}".rstrip()
                 for column in columns]
        _write(out, ("\n" if number else "") + name + "\n" + "".join(line + "\n" for line in lines))


def dump(txn: Transaction, out: IO[bytes], name: str) -> None:
    """Writes every row of a table as one JSON object a line, in the order of
    its primary index."""
    table = _table(txn, name)
    codec = RowCodec(table.columns)
    encode = json.JSONEncoder(ensure_ascii=False, separators=(",", ":")).encode
    write = out.write
    for row in table.scan():
        write(encode(codec.to_json(row)).encode("utf-8") + b"\n")


def load(txn: Transaction, source: IO[bytes], name: str, err: IO[str]) -> None:
    """Inserts the rows of JSON Lines read from source (empty lines skipped).
    The first bad or refused line raises CommandError naming it; the caller's
    transaction then aborts, so nothing is stored."""
    created = _table_name(txn, name)
    table = txn.table(created)
    codec = RowCodec(table.columns)
    progress = Progress(err, f"loading {created}")
    insert, loaded = table.insert, 0
    try:
        for number, line in enumerate(source, 1):
            if line.strip():
                try:
                    insert(codec.from_json(json.loads(line.rstrip(b"\r\n"))))
                except json.JSONDecodeError as error:
                    raise CommandError(f"line {number}, column {error.colno}: {error.msg}") from None
                except (morvane.Error, ValueError, TypeError, OverflowError) as error:
                    raise CommandError(f"line {number}: {error}") from None
                loaded += 1
                if loaded % LOAD_PROGRESS_ROWS == 0:
                    progress(loaded)
    finally:
        progress.done()


def check(txn: Transaction, out: IO[bytes], err: IO[str]) -> int:
    """Verifies each table's indexes against its rows, writing one line per
    fault (the verifier's text names the table). Returns the number of faults."""
    faults = 0
    for name in txn.table_names():
        progress = Progress(err, f"checking {name}")
        try:
            found = txn.table(name)._verify(progress)
        finally:
            progress.done()
        _write(out, "".join(fault + "\n" for fault in found))
        faults += len(found)
    return faults


def stats(txn: Transaction, out: IO[bytes]) -> None:
    """Writes a table of each table's figures: its row count under `rows`,
    then the engine's statistics of its stores (sizes in bytes and pages)."""
    figures = {name: txn.table(name)._stats() for name in txn.table_names()}
    titles = ["rows"] + [title for title in next(iter(figures.values()), {}) if title != "rows"]
    rows = [["table"] + titles] + [[name] + [f"{table.get(title, 0)}" for title in titles]
                                   for name, table in figures.items()]
    widths = [max(len(row[index]) for row in rows) for index in range(len(titles) + 1)]
    for row in rows:
        cells = [row[0].ljust(widths[0])] + [cell.rjust(width) for cell, width in zip(row[1:], widths[1:])]
        _write(out, "  ".join(cells).rstrip() + "\n")


def _open(path: str, writing: bool) -> morvane.Database:
    """The database at path. A file that is not one (or a directory) is a
    CommandError, and the lock file LMDB made beside it for the attempt is
    removed again, so that a failed command leaves nothing behind."""
    if not os.path.exists(path):
        raise CommandError(f"{path}: no such database file")
    lock = path + "-lock"
    lock_was_there = os.path.exists(lock)
    try:
        return morvane.open(path, readonly=not writing, alterable_schema=False)
    except morvane.Error as error:
        if not lock_was_there:
            with contextlib.suppress(OSError):
                os.remove(lock)
        raise CommandError(f"{path}: {error}") from None


def _run(arguments: argparse.Namespace) -> int:
    writing = arguments.command == "load"
    out = sys.stdout.buffer
    with _open(arguments.file, writing) as db:
        if writing:
            with db.write() as txn:
                load(txn, sys.stdin.buffer, arguments.table, sys.stderr)
            return 0
        with db.read() as txn:
            readers: dict[str, Callable[[], int | None]] = {
                "tables": lambda: list_tables(txn, out),
                "schema": lambda: show_schema(txn, out, arguments.table),
                "dump": lambda: dump(txn, out, arguments.table),
                "check": lambda: 1 if check(txn, out, sys.stderr) else 0,
                "stats": lambda: stats(txn, out),
            }
            try:
                status = readers[arguments.command]()
                out.flush()
            except BrokenPipeError:
                raise
            except OSError as error:
                raise CommandError(f"cannot write standard output: {error.strerror}") from None
    return status or 0


def main(argv: Sequence[str] | None = None) -> int:
    """Runs one command line (sys.argv's by default); returns the exit status."""
    try:
        return _run(build_parser().parse_args(argv))
    except BrokenPipeError:
        # The reader went away (`dump | head`): the rest is not wanted.
        # Standard output is pointed at /dev/null so that the interpreter's
        # final flush does not fail again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except (UsageError, CommandError, morvane.Error, OSError, ValueError, TypeError, OverflowError) as error:
        print(f"Error: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        # A load stopped this way has stored nothing: its transaction aborted.
        print("Error: interrupted", file=sys.stderr)
        return 1
