"""Table: a table as one transaction sees it."""
from __future__ import annotations

from typing import Any, Callable, Dict, List, Optional, Tuple, Union

from . import _core
from ._columns import INDEXED, ORDERED, SECONDARY, UNIQUE, Column
from ._errors import ProgrammingError
from ._filters import Filter
from ._row import Row

Where = Union[Filter, Callable[[Row], Any], None]
_PRIMARY = -1


class Table(_core.TableCore):
    """A table bound to the transaction that opened it (``txn.table(name)``).

    Rows go in as a mapping from column name to value (absent or None: null)
    or as a sequence in column order, and come out as Rows. Every method
    raises ProgrammingError once the transaction has ended, or when called
    from a thread other than the transaction's; ``columns`` stays readable.
    """

    __slots__ = ()

    @property
    def columns(self) -> List[Column]:
        """The columns, in order, as they were created (composite indexes,
        which only the raw module makes, are not listed)."""
        return [Column.from_engine(name, type_number, bits) for name, type_number, bits in self._specs]

    def _field_of(self, name: str) -> int:
        if not isinstance(name, str):
            raise TypeError(f"a column name is a str, not {type(name).__name__}")
        lower = name.lower()
        for field, spec in enumerate(self._specs):
            if spec[0].lower() == lower:
                return field
        raise ValueError(f"the table has no column {name!r}")

    def _indexed_field(self, column: Optional[str], what: str) -> Tuple[int, int]:
        """(field, index flags) of the column a scan or find walks."""
        if column is None:
            for spec in self._specs:
                if spec[2] & INDEXED and not spec[2] & SECONDARY:
                    return _PRIMARY, spec[2]
            return _PRIMARY, UNIQUE | ORDERED
        field = self._field_of(column)
        bits = self._specs[field][2]
        if not bits & INDEXED:
            raise ValueError(f"{what} needs an indexed column; {column!r} has no index")
        return field, bits

    def get(self, key: Any = None, /, **by_column: Any) -> Optional[Row]:
        """The row with this primary key, or ``get(column=value)`` the row with
        that value in another uniquely indexed column; None when there is none."""
        if by_column:
            if key is not None or len(by_column) != 1:
                raise TypeError("get() takes a primary key or one column=value")
            ((column, value),) = by_column.items()
            field, bits = self._indexed_field(column, "get(column=...)")
            if not bits & UNIQUE:
                raise ValueError(f"get(column=...) needs a unique index; {column!r} allows duplicates")
            return self._get(field, value)
        return self._get(_PRIMARY, key)

    def _where(self, where: Where) -> Tuple[Any, Any]:
        """(filter spec, predicate) of a where argument."""
        if where is None:
            return None, None
        if isinstance(where, Filter):
            return where.spec(self._field_of), None
        if callable(where):
            return None, where
        raise TypeError(f"where is a col() filter or a callable, not {type(where).__name__}")

    def scan(self, column: Optional[str] = None, low: Any = None, high: Any = None, *, reverse: bool = False,
             where: Where = None) -> _core.Cursor:
        """A Cursor over the rows in the order of column's index (the primary
        one by default), from low (inclusive) to high (exclusive); None leaves
        an end open. ``where`` is a col() filter or a callable taking a Row;
        what the callable raises propagates out of the iteration."""
        field, bits = self._indexed_field(column, "scan")
        if not bits & ORDERED and (low is not None or high is not None):
            raise ValueError(f"the index of {column!r} is unordered: it takes no bounds")
        spec, predicate = self._where(where)
        return self._scan(field, low, high, reverse, spec, predicate)

    def find(self, column: str, value: Any) -> _core.Cursor:
        """A Cursor over every row whose column equals value (all of them in an
        index with duplicates)."""
        field, bits = self._indexed_field(column, "find")
        if value is None:
            raise TypeError("find() looks for a value, not None")
        if bits & ORDERED:
            return self._scan(field, value, None, False, None, None, field, value)
        return self._scan(field, None, None, False, ("cmp", _core.ENGINE["fpta_node_eq"], field, value), None)

    def count(self, column: Optional[str] = None, low: Any = None, high: Any = None, *, where: Where = None) -> int:
        """The number of rows scan() would give, without building them (unless
        where is a callable, which sees each row)."""
        cursor = self.scan(column, low, high, where=where)
        if where is not None and not isinstance(where, Filter):
            return sum(1 for _ in cursor)
        return cursor._count()

    def sequence(self, increment: int = 1) -> int:
        """The table's sequence before adding increment (0 only reads it)."""
        if not isinstance(increment, int):
            raise TypeError(f"increment is an int, not {type(increment).__name__}")
        if not 0 <= increment < 1 << 64:
            raise OverflowError(f"increment {increment} is out of range")
        return self._sequence(increment)

    def clear(self, reset_sequence: bool = False) -> None:
        """Deletes every row (in a schema transaction); optionally sets the
        sequence back to 0."""
        if self._transaction_core.level != _core.ENGINE["fpta_schema"]:
            raise ProgrammingError("clear() needs a schema transaction (db.schema())")
        self._clear(reset_sequence)

    def _verify(self, progress: Optional[Callable[[int], object]] = None) -> List[str]:
        """One line of text per fault in the table's indexes against its rows;
        empty when sound. progress, if given, is called with the number of
        rows checked so far every few thousand rows."""
        return self._verify_core(progress)

    def _stats(self) -> Dict[str, int]:
        """The row count under "rows", and the engine's table statistics by
        name (total_bytes, btree_depth, branch_pages, leaf_pages, large_pages)."""
        return super()._stats()

    def __repr__(self) -> str:
        """<morvane.Table of N columns>."""
        return f"<morvane.Table of {len(self._specs)} columns>"
