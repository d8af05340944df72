"""Row filters built from col(): comparisons of a column with a value,
combined with &, | and ~. The engine evaluates them on each row before the
row becomes a Python object."""
from __future__ import annotations

from typing import Any, Callable, Tuple

from . import _core

_ENGINE = _core.ENGINE

# What a Filter flattens to for the compiled part: ("cmp", op, field, value),
# ("and", a, b), ("or", a, b), ("not", a).
Spec = Tuple[Any, ...]


class Filter:
    """A condition on rows; combine with ``&``, ``|`` and ``~``."""

    __slots__ = ()

    def __and__(self, other: "Filter") -> "Filter":
        """Both conditions."""
        return _Junction("and", self, _checked(other))

    def __or__(self, other: "Filter") -> "Filter":
        """Either condition."""
        return _Junction("or", self, _checked(other))

    def __invert__(self) -> "Filter":
        """The opposite condition (a row lacking the column passes it)."""
        return _Negation(self)

    def spec(self, field_of: Callable[[str], int]) -> Spec:
        """The flattened form, with column names turned into fields."""
        raise NotImplementedError


def _checked(other: object) -> Filter:
    if not isinstance(other, Filter):
        raise TypeError(f"a filter combines with another filter, not {type(other).__name__}")
    return other


class _Comparison(Filter):
    __slots__ = ("name", "op", "value")

    def __init__(self, name: str, op: str, value: Any) -> None:
        if value is None:
            raise TypeError("col() compares with values, not None")
        self.name, self.op, self.value = name, op, value

    def spec(self, field_of: Callable[[str], int]) -> Spec:
        return ("cmp", _ENGINE["fpta_node_" + self.op], field_of(self.name), self.value)

    def __repr__(self) -> str:
        return f"col({self.name!r}) {self.op} {self.value!r}"


class _Junction(Filter):
    __slots__ = ("kind", "a", "b")

    def __init__(self, kind: str, a: Filter, b: Filter) -> None:
        self.kind, self.a, self.b = kind, a, b

    def spec(self, field_of: Callable[[str], int]) -> Spec:
        return (self.kind, self.a.spec(field_of), self.b.spec(field_of))

    def __repr__(self) -> str:
        return f"({self.a!r}) {'&' if self.kind == 'and' else '|'} ({self.b!r})"


class _Negation(Filter):
    __slots__ = ("a",)

    def __init__(self, a: Filter) -> None:
        self.a = a

    def spec(self, field_of: Callable[[str], int]) -> Spec:
        return ("not", self.a.spec(field_of))

    def __repr__(self) -> str:
        return f"~({self.a!r})"


class ColumnRef:
    """A column in a filter, made by col(name); compare it with a value."""

    __slots__ = ("name",)

    def __init__(self, name: str) -> None:
        self.name = name

    def __lt__(self, value: Any) -> Filter:
        """Rows whose column is below value."""
        return _Comparison(self.name, "lt", value)

    def __le__(self, value: Any) -> Filter:
        """Rows whose column is at most value."""
        return _Comparison(self.name, "le", value)

    def __gt__(self, value: Any) -> Filter:
        """Rows whose column is above value."""
        return _Comparison(self.name, "gt", value)

    def __ge__(self, value: Any) -> Filter:
        """Rows whose column is at least value."""
        return _Comparison(self.name, "ge", value)

    def __eq__(self, value: Any) -> Filter:  # type: ignore[override]
        """Rows whose column equals value."""
        return _Comparison(self.name, "eq", value)

    def __ne__(self, value: Any) -> Filter:  # type: ignore[override]
        """Rows whose column holds another value (a row without the column fails)."""
        return _Comparison(self.name, "ne", value)

    __hash__ = None  # type: ignore[assignment]


def col(name: str) -> ColumnRef:
    """A column of the scanned table, by name, to compare in a ``where`` filter:
    ``col("amount") > 10``, ``(col("a") == 1) & ~(col("b") < 2)``."""
    if not isinstance(name, str):
        raise TypeError(f"a column name is a str, not {type(name).__name__}")
    return ColumnRef(name)
