"""Values handed to the tuple builders, read back out of the tuple."""
import struct

import pytest

REMOVED_COLUMN = 0x7FF
NO_LENGTH = 0xFFFFFFFF
COLUMN = 5


@pytest.fixture
def tuple_rw(lib):
    made = lib.fptu_alloc(8, 512)
    yield made
    lib.free(made)


def fields(ffi, lib, row):
    """column -> decoded values of its live fields, in header order."""
    found = {}
    for header in range(1, row.units[0].varlen.tuple_items + 1):
        column = row.units[header].field.ct >> 5
        if column != REMOVED_COLUMN:
            found.setdefault(column, []).append(
                lib.fpta_field2value(row.units + header))
    return found


def only_field(ffi, lib, tuple_rw):
    assert lib.fptu_check(tuple_rw) == ffi.NULL
    found = fields(ffi, lib, lib.fptu_take_noshrink(tuple_rw))
    assert list(found) == [COLUMN] and len(found[COLUMN]) == 1
    return found[COLUMN][0]


def single(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def pointed(ffi, value):
    return ffi.unpack(ffi.cast("char *", value.binary_data), value.binary_length)


# kind -> (value arguments, decoded type, payload member, payload)
SCALARS = {
    "uint16": ((65535,), "fpta_unsigned_int", "uint", 65535),
    "uint32": ((2**32 - 1,), "fpta_unsigned_int", "uint", 2**32 - 1),
    "uint64": ((2**64 - 1,), "fpta_unsigned_int", "uint", 2**64 - 1),
    "int32": ((-2**31,), "fpta_signed_int", "sint", -2**31),
    "int64": ((-2**63,), "fpta_signed_int", "sint", -2**63),
    "fp32": ((0.1,), "fpta_float_point", "fp", single(0.1)),
    "fp64": ((0.1,), "fpta_float_point", "fp", 0.1),
}
BLOBS = {"96": 12, "128": 16, "160": 20, "256": 32}


@pytest.mark.parametrize("verb", ["insert", "upsert"])
@pytest.mark.parametrize("kind", sorted(SCALARS))
def test_scalar(ffi, lib, tuple_rw, verb, kind):
    arguments, value_type, member, expected = SCALARS[kind]
    builder = getattr(lib, f"fptu_{verb}_{kind}")
    assert builder(tuple_rw, COLUMN, *arguments) == lib.FPTA_SUCCESS
    value = only_field(ffi, lib, tuple_rw)
    assert (value.type, value.binary_length) == (getattr(lib, value_type),
                                                 NO_LENGTH)
    assert getattr(value, member) == expected


@pytest.mark.parametrize("verb", ["insert", "upsert"])
def test_fp32_field_holds_the_single_precision_bits(ffi, lib, tuple_rw, verb):
    getattr(lib, f"fptu_{verb}_fp32")(tuple_rw, COLUMN, 0.1)
    row = lib.fptu_take_noshrink(tuple_rw)
    header = row.units[1].field
    data = row.units[1 + header.offset].data
    assert struct.pack("<I", data) == struct.pack("<f", 0.1)


@pytest.mark.parametrize("verb", ["insert", "upsert"])
def test_datetime(ffi, lib, tuple_rw, verb):
    stamp = {"fixedpoint": 0x0123456789ABCDEF}
    getattr(lib, f"fptu_{verb}_datetime")(tuple_rw, COLUMN, stamp)
    value = only_field(ffi, lib, tuple_rw)
    assert value.type == lib.fpta_datetime
    assert value.datetime.fixedpoint == 0x0123456789ABCDEF


@pytest.mark.parametrize("verb", ["insert", "upsert"])
@pytest.mark.parametrize("kind", sorted(BLOBS))
def test_fixed_blob(ffi, lib, tuple_rw, verb, kind):
    data = bytes(range(1, BLOBS[kind] + 1))
    getattr(lib, f"fptu_{verb}_{kind}")(tuple_rw, COLUMN, data)
    value = only_field(ffi, lib, tuple_rw)
    assert (value.type, value.binary_length) == (lib.fpta_binary, len(data))
    assert pointed(ffi, value) == data


@pytest.mark.parametrize("verb", ["insert", "upsert"])
def test_string_keeps_its_length_not_its_first_nul(ffi, lib, tuple_rw, verb):
    text = b"two\0words"
    getattr(lib, f"fptu_{verb}_string")(tuple_rw, COLUMN, text, len(text))
    value = only_field(ffi, lib, tuple_rw)
    assert (value.type, value.binary_length) == (lib.fpta_string, len(text))
    assert ffi.unpack(value.str, len(text) + 1) == text + b"\0"


@pytest.mark.parametrize("verb", ["insert", "upsert"])
@pytest.mark.parametrize("form", ["opaque", "opaque_iov"])
def test_opaque(ffi, lib, tuple_rw, verb, form):
    data = bytes([0, 255, 1, 254, 2])
    source = ffi.from_buffer(data)
    builder = getattr(lib, f"fptu_{verb}_{form}")
    if form == "opaque":
        status = builder(tuple_rw, COLUMN, source, len(data) - 1)
    else:
        status = builder(tuple_rw, COLUMN,
                         {"iov_base": source, "iov_len": len(data) - 1})
    assert status == lib.FPTA_SUCCESS
    value = only_field(ffi, lib, tuple_rw)
    assert (value.type, pointed(ffi, value)) == (lib.fpta_binary, data[:-1])


@pytest.mark.parametrize("verb", ["insert", "upsert"])
def test_nested(ffi, lib, tuple_rw, verb):
    inner_rw = lib.fptu_alloc(2, 16)
    try:
        lib.fptu_insert_uint64(inner_rw, 3, 0xDEADBEEF)
        inner = lib.fptu_take_noshrink(inner_rw)
        inner_bytes = ffi.unpack(ffi.cast("char *", inner.units),
                                 inner.total_bytes)
        getattr(lib, f"fptu_{verb}_nested")(tuple_rw, COLUMN, inner)
    finally:
        lib.free(inner_rw)
    value = only_field(ffi, lib, tuple_rw)
    assert (value.type, pointed(ffi, value)) == (lib.fpta_binary, inner_bytes)
    nested = ffi.new("fptu_ro *", {"units": ffi.cast("fptu_unit *",
                                                     value.binary_data),
                                   "total_bytes": value.binary_length})
    assert [v.uint for v in fields(ffi, lib, nested[0])[3]] == [0xDEADBEEF]


def test_upsert_null_removes_the_column(ffi, lib, tuple_rw):
    lib.fptu_insert_int32(tuple_rw, COLUMN, 1)
    lib.fptu_insert_int32(tuple_rw, COLUMN + 1, 2)
    assert lib.fptu_upsert_null(tuple_rw, COLUMN) == lib.FPTA_SUCCESS
    found = fields(ffi, lib, lib.fptu_take_noshrink(tuple_rw))
    assert {column: [v.sint for v in values]
            for column, values in found.items()} == {COLUMN + 1: [2]}


def test_every_scalar_kind_in_one_tuple(ffi, lib):
    kinds = sorted(SCALARS)
    tuple_rw = lib.fptu_alloc(len(kinds), 64)
    try:
        for column, kind in enumerate(kinds):
            getattr(lib, f"fptu_insert_{kind}")(tuple_rw, column,
                                                *SCALARS[kind][0])
        assert lib.fptu_check(tuple_rw) == ffi.NULL
        found = fields(ffi, lib, lib.fptu_take_noshrink(tuple_rw))
    finally:
        lib.free(tuple_rw)
    assert sorted(found) == list(range(len(kinds)))
    for column, kind in enumerate(kinds):
        _, _, member, expected = SCALARS[kind]
        assert [getattr(value, member) for value in found[column]] == [expected]
