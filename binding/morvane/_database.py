"""open() and Database: a database file, shared by threads."""
from __future__ import annotations

import errno
import os
import threading
from types import TracebackType
from typing import Optional, Set, Type, Union

from . import _core
from ._errors import BusyError, ProgrammingError
from ._transaction import LEVELS, Transaction

DURABILITY = {"sync": _core.ENGINE["fpta_sync"], "lazy": _core.ENGINE["fpta_lazy"],
              "weak": _core.ENGINE["fpta_weak"]}


class Database:
    """An open database file (made by morvane.open); a context manager that
    closes it. Threads may share it; each transaction belongs to its thread.
    """

    __slots__ = ("_core", "_path", "_lock", "_open", "_writers", "_closed", "__weakref__")

    def __init__(self, core: _core.DatabaseCore, path: str) -> None:
        """Made by morvane.open()."""
        self._core = core
        self._path = path
        # Guards the counts below, never held while the engine waits.
        # Reentrant: a dropped transaction's __del__ (which ends it) may run
        # from a garbage collection inside a section that holds it.
        self._lock = threading.RLock()
        self._open = 0  # transactions begun or beginning
        self._writers: Set[int] = set()  # threads holding or awaiting the writer
        self._closed = False

    @property
    def path(self) -> str:
        """The file's path."""
        return self._path

    @property
    def closed(self) -> bool:
        """Whether close() has closed it."""
        return self._closed

    def read(self) -> Transaction:
        """Begins a read transaction: one snapshot for its whole life."""
        return self._begin("read")

    def write(self) -> Transaction:
        """Begins a write transaction, waiting while another thread or process
        writes. ProgrammingError when this thread holds one already."""
        return self._begin("write")

    def schema(self) -> Transaction:
        """Begins a schema transaction (a write transaction that may also
        create, drop and clear tables). ReadOnlyError on a database opened
        read-only or with alterable_schema=False."""
        return self._begin("schema")

    def _begin(self, level: str) -> Transaction:
        me = threading.get_ident()
        writes = level != "read"
        with self._lock:
            if self._closed:
                raise ProgrammingError("the database is closed")
            if writes and me in self._writers:
                raise ProgrammingError("this thread holds a write transaction of this database already; "
                                       "a second one would wait for it forever")
            self._open += 1
            if writes:
                self._writers.add(me)
        try:
            core = self._core.begin(LEVELS[level])
        except BaseException:
            self._transaction_ended(level, me)
            raise
        return Transaction(self, core, level)

    def _transaction_ended(self, level: str, thread: Optional[int] = None) -> None:
        with self._lock:
            self._open -= 1
            if level != "read":
                self._writers.discard(threading.get_ident() if thread is None else thread)

    def close(self) -> None:
        """Closes the database; harmless when closed. BusyError, changing
        nothing, while one of its transactions is open."""
        with self._lock:
            if self._closed:
                return
            if self._open:
                raise BusyError(f"{_core.strerror(errno.EBUSY)}: {self._open} transaction(s) of the database "
                                "are open", errno.EBUSY)
            self._core.close()
            self._closed = True

    def __enter__(self) -> "Database":
        """The database itself."""
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 trace: Optional[TracebackType]) -> None:
        """Closes it."""
        self.close()

    def __repr__(self) -> str:
        """<morvane.Database 'path' [closed]>."""
        return f"<morvane.Database {self._path!r}{' closed' if self._closed else ''}>"


def open(path: Union[str, "os.PathLike[str]"], *, durability: str = "sync", readonly: bool = False,
         max_size_mb: int = 0, alterable_schema: bool = True) -> Database:
    """Opens the database file at path, creating it when missing (unless
    readonly). durability is "sync" (a commit is on disk when it returns),
    "lazy" or "weak" (faster, at the risks the engine documents).
    max_size_mb limits the file (0: the engine's default, 16 GiB).
    alterable_schema=False refuses schema transactions. Opening a file this
    process has open already is BusyError."""
    if durability not in DURABILITY:
        raise ValueError(f"durability is 'sync', 'lazy' or 'weak', not {durability!r}")
    if not isinstance(max_size_mb, int):
        raise TypeError(f"max_size_mb is an int, not {type(max_size_mb).__name__}")
    if not 0 <= max_size_mb < 1 << 44:
        raise OverflowError(f"max_size_mb {max_size_mb} is out of range")
    text = os.fspath(path)
    if not isinstance(text, str):
        raise TypeError("path is a str or an os.PathLike of str")
    mode = _core.ENGINE["fpta_readonly"] if readonly else DURABILITY[durability]
    core = _core.open_database(os.fsencode(text), mode, max_size_mb, alterable_schema)
    return Database(core, text)
