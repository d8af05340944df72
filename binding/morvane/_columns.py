"""Column: how a table's column is declared, and how it maps to the engine's
type numbers and index flags."""
from __future__ import annotations

import re
from typing import Dict, Optional, Tuple

from . import _core

_ENGINE = _core.ENGINE

TYPES: Dict[str, int] = {
    "uint16": _ENGINE["fptu_uint16"],
    "int32": _ENGINE["fptu_int32"],
    "uint32": _ENGINE["fptu_uint32"],
    "int64": _ENGINE["fptu_int64"],
    "uint64": _ENGINE["fptu_uint64"],
    "float32": _ENGINE["fptu_fp32"],
    "float64": _ENGINE["fptu_fp64"],
    "datetime": _ENGINE["fptu_datetime"],
    "str": _ENGINE["fptu_cstr"],
    "bytes": _ENGINE["fptu_opaque"],
    "b96": _ENGINE["fptu_96"],
    "b128": _ENGINE["fptu_128"],
    "b160": _ENGINE["fptu_160"],
    "b256": _ENGINE["fptu_256"],
}
_TYPE_NAMES = {number: name for name, number in TYPES.items()}

UNIQUE = _ENGINE["fpta_index_funique"]
ORDERED = _ENGINE["fpta_index_fordered"]
OBVERSE = _ENGINE["fpta_index_fobverse"]
SECONDARY = _ENGINE["fpta_index_fsecondary"]
NULLABLE = _ENGINE["fpta_index_fnullable"]
INDEXED = UNIQUE | ORDERED | OBVERSE | SECONDARY

# The engine's names: a letter or '_', then letters, digits and '_'; 1 to 512.
_NAME = re.compile(r"[A-Za-z_][A-Za-z0-9_]{0,511}\Z")


def check_name(name: object, what: str) -> str:
    """name, when it is a valid table or column name (TypeError, ValueError)."""
    if not isinstance(name, str):
        raise TypeError(f"a {what} name is a str, not {type(name).__name__}")
    if not _NAME.match(name):
        raise ValueError(f"{name!r} is not a valid {what} name")
    return name


class Column:
    """A column of a table: ``Column(name, type, *, index=None, unique=True,
    ordered=True, reverse=False, nullable=False)``.

    ``type`` is one of "uint16", "int32", "uint32", "int64", "uint64",
    "float32", "float64", "datetime", "str", "bytes", "b96", "b128", "b160",
    "b256". ``index`` is None, "primary" or "secondary"; ``unique``,
    ``ordered`` and ``reverse`` describe the index and keep their defaults on
    a column without one. A Column is plain, immutable data; two are equal
    when every field is.
    """

    __slots__ = {
        "name": "The column's name, as created.",
        "type": 'The type word: "uint16" ... "b256".',
        "index": 'None, "primary" or "secondary".',
        "unique": "Whether the index refuses a second row with the same value.",
        "ordered": "Whether the index keeps its keys in order (scans with bounds need it).",
        "reverse": "Whether strings and binaries order from their last byte in the index.",
        "nullable": "Whether the column may be null.",
    }
    name: str
    type: str
    index: Optional[str]
    unique: bool
    ordered: bool
    reverse: bool
    nullable: bool

    def __init__(self, name: str, type: str, *, index: Optional[str] = None, unique: bool = True,
                 ordered: bool = True, reverse: bool = False, nullable: bool = False) -> None:
        """Checks the declaration: a bad name, type or index word is a
        ValueError, index options on a column without an index too."""
        check_name(name, "column")
        if type not in TYPES:
            raise ValueError(f"{type!r} is not a column type (one of {', '.join(TYPES)})")
        if index not in (None, "primary", "secondary"):
            raise ValueError(f"{index!r} is not an index (None, 'primary' or 'secondary')")
        if index is None and not (unique and ordered and not reverse):
            raise ValueError(f"column {name!r} has no index for unique, ordered or reverse to describe")
        self._assign(name, type, index, unique, ordered, reverse, nullable)

    def _assign(self, name: str, type: str, index: Optional[str], unique: bool, ordered: bool, reverse: bool,
                nullable: bool) -> None:
        fields = (("name", name), ("type", type), ("index", index), ("unique", bool(unique)),
                  ("ordered", bool(ordered)), ("reverse", bool(reverse)), ("nullable", bool(nullable)))
        for field, value in fields:
            object.__setattr__(self, field, value)

    def __setattr__(self, name: str, value: object) -> None:
        """Columns are immutable."""
        raise AttributeError("a Column is immutable")

    def _key(self) -> Tuple[object, ...]:
        return (self.name, self.type, self.index, self.unique, self.ordered, self.reverse, self.nullable)

    def __eq__(self, other: object) -> bool:
        """Equal when every field is."""
        return isinstance(other, Column) and self._key() == other._key()

    def __hash__(self) -> int:
        """Hash of the fields."""
        return hash(self._key())

    def __repr__(self) -> str:
        """Column('name', 'type', options that differ from the defaults)."""
        options = [f"index={self.index!r}"] if self.index else []
        defaults = {"unique": True, "ordered": True, "reverse": False, "nullable": False}
        options += [f"{option}={getattr(self, option)!r}" for option, default in defaults.items()
                    if getattr(self, option) != default]
        return f"Column({', '.join([repr(self.name), repr(self.type)] + options)})"

    def index_bits(self) -> int:
        """The engine's fpta_index_type of this column."""
        bits = NULLABLE if self.nullable else 0
        if self.index is None:
            return bits
        bits |= UNIQUE if self.unique else 0
        bits |= ORDERED if self.ordered else 0
        bits |= 0 if self.reverse else OBVERSE
        return bits | (SECONDARY if self.index == "secondary" else 0)

    @classmethod
    def from_engine(cls, name: str, type_number: int, bits: int) -> "Column":
        """The Column the engine's type number and index flags describe."""
        type_name = _TYPE_NAMES.get(type_number)
        if type_name is None:
            raise ValueError(f"column {name!r} is of engine type {type_number}, which morvane does not read")
        # Not checked again: a table made before names were kept has columns
        # named "#<number>" here.
        column = cls.__new__(cls)
        if bits & INDEXED == 0:
            column._assign(name, type_name, None, True, True, False, bool(bits & NULLABLE))
        else:
            column._assign(name, type_name, "secondary" if bits & SECONDARY else "primary", bool(bits & UNIQUE),
                           bool(bits & ORDERED), not bits & OBVERSE, bool(bits & NULLABLE))
        return column
