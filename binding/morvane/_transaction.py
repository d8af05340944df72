"""Transaction: a read, write or schema transaction of a Database."""
from __future__ import annotations

from types import TracebackType
from typing import TYPE_CHECKING, Iterable, List, Optional, Type

from . import _core
from ._columns import TYPES, Column, check_name
from ._errors import ProgrammingError
from ._table import Table

if TYPE_CHECKING:
    from ._database import Database

LEVELS = {"read": _core.ENGINE["fpta_read"], "write": _core.ENGINE["fpta_write"],
          "schema": _core.ENGINE["fpta_schema"]}


class Transaction:
    """A transaction: ``db.read()``, ``db.write()`` or ``db.schema()``.

    As a context manager it commits (a read one just ends) on normal exit and
    aborts on an exception, which propagates. It belongs to the thread that
    began it: use from another thread, and any use after it ended, raise
    ProgrammingError.
    """

    __slots__ = ("_database", "_core", "_level", "_released")

    def __init__(self, database: "Database", core: _core.TransactionCore, level: str) -> None:
        """Made by Database.read(), write() and schema()."""
        self._database = database
        self._core = core
        self._level = level
        self._released = False

    @property
    def level(self) -> str:
        """"read", "write" or "schema"."""
        return self._level

    @property
    def ended(self) -> bool:
        """Whether the transaction has been committed or aborted."""
        return self._core.ended

    def table(self, name: str) -> Table:
        """The table of that name (NotFoundError when there is none)."""
        return self._core.table(Table, name)

    def table_names(self) -> List[str]:
        """The names of the tables, as they were created, sorted."""
        return sorted(self._core.table_names())

    def _schema_only(self, method: str) -> None:
        if self._level != "schema":
            self._core.table_names()  # an ended or foreign transaction says so first
            raise ProgrammingError(f"{method}() needs a schema transaction (db.schema())")

    def create_table(self, name: str, columns: Iterable[Column]) -> None:
        """Creates a table of these columns (exactly one with index="primary")."""
        self._schema_only("create_table")
        check_name(name, "table")
        specs = []
        for column in columns:
            if not isinstance(column, Column):
                raise TypeError(f"columns are Column objects, not {type(column).__name__}")
            specs.append((column.name, TYPES[column.type], column.index_bits()))
        self._core.create_table(name, specs)

    def drop_table(self, name: str) -> None:
        """Drops the table, its rows and its sequence."""
        self._schema_only("drop_table")
        check_name(name, "table")
        self._core.drop_table(name)

    def commit(self) -> None:
        """Commits (a read transaction just ends). ProgrammingError when it has
        ended already."""
        self._end(False)

    def abort(self) -> None:
        """Discards what the transaction did. ProgrammingError when it has
        ended already."""
        self._end(True)

    def _end(self, abort: bool) -> None:
        try:
            self._core.end(abort)
        finally:
            # Ended in every case but misuse (another thread, ended before).
            if self._core.ended and not self._released:
                self._released = True
                self._database._transaction_ended(self._level)

    def __del__(self) -> None:
        """A transaction dropped unended is aborted, when its own thread drops
        it (another thread cannot release a writer's lock)."""
        core = getattr(self, "_core", None)
        if core is not None and not core.ended and core.owned:
            self._end(True)

    def __enter__(self) -> "Transaction":
        """The transaction itself."""
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        """Commits, or aborts when an exception is on its way; nothing when
        the transaction has ended by hand."""
        if not self._core.ended:
            self._end(kind is not None)

    def __repr__(self) -> str:
        """<morvane.Transaction LEVEL [ended]>."""
        return f"<morvane.Transaction {self._level}{' ended' if self.ended else ''}>"
