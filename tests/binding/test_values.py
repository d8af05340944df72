"""What the module computes itself: value constructors, the column set
initialiser and row insertion."""
import struct

import pytest

from recorder import address

NO_LENGTH = 0xFFFFFFFF
CLAMPED = 0x7FFFFFFF


def image(ffi, value):
    return bytes(ffi.buffer(ffi.new("fpta_value *", value)))


def packed(kind, length, payload_format="Q", payload=0):
    return struct.pack("<iI" + payload_format, kind, length, payload)


@pytest.mark.parametrize("construct, expected", [
    (lambda lib, null: lib.fpta_value_null(), bytes(16)),
    (lambda lib, null: lib.fpta_value_begin(), packed(8, NO_LENGTH)),
    (lambda lib, null: lib.fpta_value_end(), packed(9, NO_LENGTH)),
    (lambda lib, null: lib.fpta_value_sint(-2), packed(1, NO_LENGTH, "q", -2)),
    (lambda lib, null: lib.fpta_value_sint(-2**63),
     packed(1, NO_LENGTH, "q", -2**63)),
    (lambda lib, null: lib.fpta_value_uint(2**64 - 1),
     packed(2, NO_LENGTH, "Q", 2**64 - 1)),
    (lambda lib, null: lib.fpta_value_datetime({"fixedpoint": 0x0123456789ABCDEF}),
     packed(3, NO_LENGTH, "Q", 0x0123456789ABCDEF)),
    (lambda lib, null: lib.fpta_value_float(-1.0),
     packed(4, NO_LENGTH, "d", -1.0)),
    (lambda lib, null: lib.fpta_value_float(5e-324),
     packed(4, NO_LENGTH, "d", 5e-324)),
    (lambda lib, null: lib.fpta_value_cstr(null), packed(5, 0)),
    (lambda lib, null: lib.fpta_value_string(null, 0), packed(5, 0)),
    (lambda lib, null: lib.fpta_value_string(null, CLAMPED), packed(5, CLAMPED)),
    (lambda lib, null: lib.fpta_value_string(null, CLAMPED + 1),
     packed(5, CLAMPED)),
    (lambda lib, null: lib.fpta_value_string(null, 2**64 - 1), packed(5, CLAMPED)),
    (lambda lib, null: lib.fpta_value_binary(null, 2**32), packed(6, CLAMPED)),
    (lambda lib, null: lib.fpta_value_binary(null, 7), packed(6, 7)),
])
def test_constructor_bytes(ffi, lib, recorder, construct, expected):
    assert image(ffi, construct(lib, ffi.NULL)) == expected
    assert recorder.last_call() == ""


def test_constructors_store_the_pointer_given(ffi, lib):
    text = ffi.new("char[]", b"hello")
    value = lib.fpta_value_cstr(text)
    assert (value.type, value.binary_length, value.str) == (
        lib.fpta_string, 5, text)
    blob = b"\x00\x01\x02"
    value = lib.fpta_value_binary(blob, len(blob))
    assert address(ffi, value.binary_data) == address(ffi, ffi.from_buffer(blob))
    far = ffi.cast("char *", 0xFEDCBA9876543210)
    value = lib.fpta_value_string(far, 2**40)
    assert (value.binary_length, value.str) == (CLAMPED, far)


def test_cstr_length_stops_at_the_terminator(lib):
    assert lib.fpta_value_cstr(b"ab\0cd").binary_length == 2


def test_column_set_init_clears_exactly_three_words(ffi, lib, recorder):
    size = ffi.sizeof("fpta_column_set")
    column_set = ffi.new("fpta_column_set *")
    ffi.memmove(column_set, b"\xa5" * size, size)
    assert lib.fpta_column_set_init(column_set) is None
    cleared = set(range(0, 12)) | {8180, 8181}
    assert bytes(ffi.buffer(column_set)) == bytes(
        0 if offset in cleared else 0xA5 for offset in range(size))
    assert recorder.last_call() == ""


def test_insert_row_is_put_with_insert(ffi, lib, recorder):
    units = ffi.new("fptu_unit[2]")
    row = {"units": units, "total_bytes": 8}
    inserted = lib.fpta_insert_row(ffi.NULL, ffi.NULL, row)
    recorded = recorder.last_call()
    assert recorded == (
        f"fpta_put(null, null, {{units={address(ffi, units)},total_bytes=8}}, 0)")
    assert inserted == lib.fpta_put(ffi.NULL, ffi.NULL, row, lib.fpta_insert)
    assert recorder.last_call() == recorded
