"""Row: one table row, read by column name or position; it owns its values."""
from __future__ import annotations

from typing import Any, ClassVar, Dict, List, Tuple, Type

from . import _core


class Row(_core.RowBase):
    """A row of a table: ``row["name"]`` (names compared without regard to
    case), ``row[1]``, ``len(row)``, iteration over the values in column
    order, ``row.keys()``, ``dict(row)``. A null column reads as None.
    Equal to another Row with the same column names and values."""

    __slots__ = ()
    _names: ClassVar[Tuple[str, ...]] = ()
    _index: ClassVar[Dict[str, int]] = {}

    def keys(self) -> List[str]:
        """The column names, in column order, as they were created."""
        return list(self._names)

    def values(self) -> List[Any]:
        """The values, in column order."""
        return list(self)

    def items(self) -> List[Tuple[str, Any]]:
        """(name, value) pairs, in column order."""
        return list(zip(self._names, self))

    def __eq__(self, other: object) -> bool:
        """Equal to a Row of the same column names and values."""
        if not isinstance(other, Row):
            return False
        return self._names == other._names and tuple.__eq__(self, other)

    def __ne__(self, other: object) -> bool:
        """Not __eq__."""
        return not self.__eq__(other)

    __hash__ = tuple.__hash__

    def __reduce__(self) -> Tuple[Any, ...]:
        """Pickles as its column names and values."""
        return (_rebuilt, (self._names, tuple(self)))

    def __repr__(self) -> str:
        """Row(name=value, ...)."""
        fields = ", ".join(f"{name}={value!r}" for name, value in zip(self._names, self))
        return f"Row({fields})"


_classes: Dict[Tuple[str, ...], Type[Row]] = {}
# Tables of distinct column names a process meets are few; past this many the
# cache starts again rather than grow.
_MAX_CLASSES = 1024


def row_class(names: Tuple[str, ...]) -> Type[Row]:
    """The Row subclass for rows of these column names (the compiled part
    fills its instances directly)."""
    cls = _classes.get(names)
    if cls is None:
        index: Dict[str, int] = {}
        for position, name in enumerate(names):
            index.setdefault(name, position)
            index.setdefault(name.lower(), position)
        cls = type("Row", (Row,), {"__slots__": (), "_names": names, "_index": index})
        if len(_classes) >= _MAX_CLASSES:
            _classes.clear()
        _classes[names] = cls
    return cls


def _rebuilt(names: Tuple[str, ...], values: Tuple[Any, ...]) -> Row:
    """A Row unpickled."""
    return row_class(names)(values)
