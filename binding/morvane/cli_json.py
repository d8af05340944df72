"""The JSON forms of column values that `python3 -m morvane dump` writes and
`load` reads.

A value takes the JSON form of its Python value, except where JSON has none:

- integers: JSON numbers, exact at any width (64-bit ones included);
- floats: JSON numbers written as Python's `repr` (exact for both float
  types); infinities and NaN as `Infinity`, `-Infinity` and `NaN`, as
  Python's `json` module writes and reads them;
- `str`: JSON strings (UTF-8, non-ASCII characters as they are);
- `bytes` and the fixed-size binaries `b96` ... `b256`: a string of
  lower-case hexadecimal digits, two per byte (`"00ff"`);
- `datetime`: an ISO 8601 string in UTC with six fraction digits and a `Z`,
  `"2024-03-05T06:07:08.000123Z"`; `load` takes any ISO 8601 form with a
  time zone that `datetime.fromisoformat` reads;
- null: `null`.
"""
from __future__ import annotations

import datetime
from typing import Any, Callable, Mapping, Sequence

from morvane import Column

BINARY_TYPES = frozenset({"bytes", "b96", "b128", "b160", "b256"})
DATETIME_FORMAT = "%Y-%m-%dT%H:%M:%S.%fZ"


def _datetime_text(value: datetime.datetime) -> str:
    return value.astimezone(datetime.timezone.utc).strftime(DATETIME_FORMAT)


def _datetime_value(text: Any) -> datetime.datetime:
    if not isinstance(text, str):
        raise TypeError(f"a datetime is an ISO 8601 string, not {_json_kind(text)}")
    value = datetime.datetime.fromisoformat(text)
    if value.tzinfo is None:
        raise ValueError(f"datetime {text!r} has no time zone")
    return value


def _binary_text(value: bytes) -> str:
    return value.hex()


def _binary_value(text: Any) -> bytes:
    if not isinstance(text, str):
        raise TypeError(f"a binary value is a string of hexadecimal digits, not {_json_kind(text)}")
    try:
        return bytes.fromhex(text)
    except ValueError:
        raise ValueError(f"{text!r} is not a string of hexadecimal digit pairs") from None


def _json_kind(value: Any) -> str:
    """What a value read by json.loads was in the JSON text."""
    kinds: Mapping[type, str] = {bool: "a boolean", int: "a number", float: "a number", str: "a string",
                                 list: "an array", dict: "an object"}
    return kinds.get(type(value), "null")


# (to JSON, from JSON) of the column types whose values JSON has no form for;
# the others' values pass as they are.
_CODECS: Mapping[str, tuple[Callable[[Any], Any], Callable[[Any], Any]]] = {
    "datetime": (_datetime_text, _datetime_value),
    **{type_name: (_binary_text, _binary_value) for type_name in BINARY_TYPES},
}
_NO_CODEC: tuple[None, None] = (None, None)


class RowCodec:
    """Turns the rows of one table into JSON objects and JSON values back into
    rows for Table.insert, by the table's columns."""

    def __init__(self, columns: Sequence[Column]) -> None:
        self.names = [column.name for column in columns]
        codecs = [_CODECS.get(column.type, _NO_CODEC) for column in columns]
        self._encoders = [encode for encode, _ in codecs]
        self._decoders = {column.name.lower(): decode for column, (_, decode) in zip(columns, codecs)}

    def to_json(self, values: Sequence[Any]) -> dict[str, Any]:
        """A JSON object of a row's values in column order (nulls as None)."""
        return {name: value if value is None or encode is None else encode(value)
                for name, encode, value in zip(self.names, self._encoders, values)}

    def from_json(self, document: Any) -> dict[str, Any] | list[Any]:
        """A row for Table.insert from a JSON object (column name to value) or
        array (values in column order). Names are left to the table to check;
        a value of a bytes or datetime column that is not in its text form
        raises ValueError or TypeError."""
        if isinstance(document, dict):
            return {name: self._decode(name, self._decoders.get(name.lower()), value)
                    for name, value in document.items()}
        if isinstance(document, list):
            if len(document) != len(self.names):
                raise ValueError(f"an array of {len(document)} values for {len(self.names)} columns")
            return [self._decode(name, decode, value)
                    for name, decode, value in zip(self.names, self._decoders.values(), document)]
        raise TypeError(f"a row is a JSON object or array, not {_json_kind(document)}")

    @staticmethod
    def _decode(name: str, decode: Callable[[Any], Any] | None, value: Any) -> Any:
        if value is None or decode is None:
            return value
        try:
            return decode(value)
        except (TypeError, ValueError) as error:
            raise type(error)(f"column {name}: {error}") from None
