"""morvane: typed tables in a file, over the libfpta engine.

    import morvane
    from morvane import Column

    with morvane.open("shop.fpta") as db:
        with db.schema() as txn:
            txn.create_table("orders", [Column("id", "uint64", index="primary"),
                                        Column("note", "str", nullable=True)])
        with db.write() as txn:
            txn.table("orders").insert({"id": 1, "note": "first"})
        with db.read() as txn:
            print(txn.table("orders").get(1))

Every engine status other than success becomes an exception derived from
Error, with the status in ``.status``; the status codes of fpta.h are
importable under their own names.
"""
from . import _core
from ._columns import Column
from ._core import (
    FPTA_ECOLUMN,
    FPTA_EEXIST,
    FPTA_EINVAL,
    FPTA_EKEYMISMATCH,
    FPTA_ENOIMP,
    FPTA_ENOKEY,
    FPTA_ETOOMANY,
    FPTA_ETXNFAILED,
    FPTA_ETYPE,
    FPTA_NODATA,
    FPTA_NOTFOUND,
    FPTA_SUCCESS,
    FPTU_ENOSPACE,
    FPTU_ETOOLONG,
    Cursor,
)
from ._database import Database, open
from ._errors import (
    BusyError,
    Error,
    KeyExistsError,
    MapFullError,
    NotFoundError,
    ProgrammingError,
    ReadOnlyError,
    SchemaError,
    TransactionFailedError,
    error_for,
)
from ._filters import Filter, col
from ._row import Row, row_class
from ._table import Table
from ._transaction import Transaction

_core._bind(error_for, ProgrammingError, SchemaError, row_class)

__all__ = [
    "open", "col", "Column", "Database", "Transaction", "Table", "Cursor", "Row", "Filter",
    "Error", "KeyExistsError", "NotFoundError", "ReadOnlyError", "BusyError", "MapFullError", "SchemaError",
    "TransactionFailedError", "ProgrammingError",
    "FPTA_SUCCESS", "FPTA_NODATA", "FPTA_NOTFOUND", "FPTA_EINVAL", "FPTA_EEXIST", "FPTA_ENOIMP", "FPTU_ENOSPACE",
    "FPTU_ETOOLONG", "FPTA_ETOOMANY", "FPTA_ETYPE", "FPTA_ECOLUMN", "FPTA_ENOKEY", "FPTA_ETXNFAILED",
    "FPTA_EKEYMISMATCH",
]
