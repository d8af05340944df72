"""The exceptions of morvane, chosen by the engine's status code."""
from __future__ import annotations

import errno
from typing import Dict, Optional, Type

from . import _core

# LMDB's code for a full map; the engine passes it through unchanged.
MDB_MAP_FULL = -30792


class Error(Exception):
    """The base of every morvane exception.

    ``status`` is the engine's status code, or None for misuse that morvane
    detects itself. The message holds the engine's text of the status.
    """

    status: Optional[int]

    def __init__(self, message: str, status: Optional[int] = None) -> None:
        """An error with this message and engine status (None: misuse)."""
        super().__init__(message)
        self.status = status


class KeyExistsError(Error):
    """A unique key (or a table name) that is taken: FPTA_EEXIST."""


class NotFoundError(Error, LookupError):
    """No such row, table or column: FPTA_NOTFOUND."""


class ReadOnlyError(Error):
    """A write where none is allowed: EROFS, or EPERM (a write in a read
    transaction, a schema change where the schema may not change)."""


class BusyError(Error):
    """EBUSY: a database closed while a transaction is open, or a file this
    process has open already."""


class MapFullError(Error):
    """The file reached its size limit (MDB_MAP_FULL); the transaction can
    then only be aborted."""


class SchemaError(Error):
    """A row or a schema that does not fit: a wrong column, a missing value
    (FPTA_ETYPE, FPTA_ECOLUMN, FPTA_ENOKEY, FPTA_EKEYMISMATCH), a value too
    long (FPTU_ETOOLONG), too many tables or columns."""


class TransactionFailedError(Error):
    """FPTA_ETXNFAILED: the transaction failed earlier and can only be
    aborted."""


class ProgrammingError(Error):
    """Misuse that morvane detects itself (``status`` is None): a used or
    ended transaction, another thread's transaction, a nested writer."""


_BY_STATUS: Dict[int, Type[Error]] = {
    _core.FPTA_EEXIST: KeyExistsError,
    _core.FPTA_NOTFOUND: NotFoundError,
    errno.EROFS: ReadOnlyError,
    errno.EPERM: ReadOnlyError,
    errno.EBUSY: BusyError,
    MDB_MAP_FULL: MapFullError,
    _core.FPTA_ETYPE: SchemaError,
    _core.FPTA_ECOLUMN: SchemaError,
    _core.FPTA_ENOKEY: SchemaError,
    _core.FPTA_EKEYMISMATCH: SchemaError,
    _core.FPTU_ETOOLONG: SchemaError,
    _core.FPTU_ENOSPACE: SchemaError,
    _core.FPTA_ETOOMANY: SchemaError,
    errno.ERANGE: SchemaError,
    _core.FPTA_ETXNFAILED: TransactionFailedError,
}


def error_for(status: int, context: str = "") -> Error:
    """The exception for an engine status, its message the engine's text."""
    text = _core.strerror(status)
    message = f"{context}: {text}" if context else text
    return _BY_STATUS.get(status, Error)(f"{message} (status {status})", status)
