"""Names, types, layouts and enumerators as Python sees them."""
import ctypes
import os

import pytest

from figures import (CONSTANT, ENUMERATIONS, ENUMERATORS, FILTER_NODES,
                     FUNCTION_KINDS, HANDLES, LAYOUTS, NODE, TYPE_NAMES)
from recorder import address


def test_lib_holds_the_234_names_and_nothing_else(lib):
    expected = set(FUNCTION_KINDS) | set(ENUMERATORS) | {CONSTANT}
    assert len(FUNCTION_KINDS) == 84 and len(ENUMERATORS) == 149
    assert set(dir(lib)) == expected
    assert len(expected) == 234


@pytest.mark.parametrize("name, kind", sorted(TYPE_NAMES.items()))
def test_type_name(ffi, name, kind):
    ctype = ffi.typeof(name)
    assert ctype.kind == kind
    if kind == "primitive":
        assert ctype is ffi.typeof("unsigned int")
    else:
        assert ctype is ffi.typeof(f"{kind} {name}")


@pytest.mark.parametrize("tagged", ["enum fpta_bits", "enum fpta_error",
                                    "struct iovec"])
def test_reachable_only_by_tag(ffi, tagged):
    ffi.typeof(tagged)
    with pytest.raises(ffi.error):
        ffi.typeof(tagged.split()[1])


@pytest.mark.parametrize("handle", HANDLES)
def test_handles_have_no_size(ffi, handle):
    with pytest.raises(ffi.error):
        ffi.sizeof(handle)
    with pytest.raises(TypeError):
        ffi.new(f"{handle} *")
    assert ffi.new(f"{handle} **")[0] == ffi.NULL


def member_type(ctype):
    """A member's type as the figures spell it: unnamed records by kind."""
    if ctype.kind == "struct" and ctype.cname.startswith("struct $"):
        return NODE
    return ctype


@pytest.mark.parametrize("record", sorted(LAYOUTS))
def test_layout(ffi, record):
    size, alignment, members = LAYOUTS[record]
    ctype = ffi.typeof(record)
    assert (ffi.sizeof(ctype), ffi.alignof(ctype)) == (size, alignment)
    published = [(name, member_type(field.type), field.offset,
                  ffi.sizeof(field.type))
                 for name, field in ctype.fields or ()]
    assert published == [
        (name, c_type if c_type == NODE else ffi.typeof(c_type), offset, size)
        for name, c_type, offset, size in members or ()]


@pytest.mark.parametrize("node", sorted(FILTER_NODES))
def test_filter_node_records(ffi, node):
    node_type = dict(ffi.typeof("fpta_filter").fields)[node].type
    assert [(name, field.type, field.offset)
            for name, field in node_type.fields] == [
        (name, ffi.typeof(c_type), offset)
        for name, c_type, offset in FILTER_NODES[node]]
    assert ffi.alignof(node_type) == 1


def test_filter_nodes_start_right_after_type(ffi):
    assert ffi.offsetof("fpta_filter", "node_cmp", "right_value") == 12
    assert ffi.offsetof("fpta_filter", "node_fncol", "arg") == 20
    assert (dict(ffi.typeof("fpta_filter").fields)["node_or"].type
            is dict(ffi.typeof("fpta_filter").fields)["node_and"].type)


def test_value_payload_members_overlap(ffi):
    value = ffi.new("fpta_value *")
    value.sint = -2
    assert value.uint == 2**64 - 2
    assert value.datetime.fixedpoint == 2**64 - 2
    assert int(ffi.cast("uintptr_t", value.str)) == 2**64 - 2
    assert value.binary_data == value.str
    value.fp = 1.0
    assert value.uint == 0x3FF0000000000000


def test_time_halves(ffi):
    stamp = ffi.new("fptu_time *", {"fixedpoint": 0x0123456789ABCDEF})
    assert (stamp.utc, stamp.fractional) == (0x01234567, 0x89ABCDEF)
    stamp.utc = 7
    assert stamp.fixedpoint == (7 << 32) | 0x89ABCDEF


@pytest.mark.parametrize("name, value", sorted(ENUMERATORS.items()))
def test_enumerator(lib, name, value):
    published = getattr(lib, name)
    assert type(published) is int and published == value


@pytest.mark.parametrize("tag, type_name", sorted(ENUMERATIONS))
def test_enumeration(ffi, tag, type_name):
    ctype = ffi.typeof(f"enum {tag}")
    assert ffi.sizeof(ctype) == 4 and int(ffi.cast(ctype, -1)) == -1
    assert ctype.relements == dict(ENUMERATIONS[tag, type_name])
    # A value shared by several enumerators shows under the first declared.
    first = {}
    for name, value in ENUMERATIONS[tag, type_name]:
        first.setdefault(value, name)
    assert ctype.elements == first


def test_aliases(lib):
    assert lib.fptu_bool == lib.fptu_16 == lib.fptu_char == lib.fptu_uint16 == 1
    assert lib.fptu_md5 == lib.fptu_uuid == lib.fptu_ipv6 == lib.fptu_128 == 10
    assert lib.fpta_dont_fetch == lib.fpta_unsorted_dont_fetch == 4
    assert lib.fpta_noindex_nullable == lib.fpta_index_fnullable == 512


def test_constant_is_the_librarys_variadic_function(ffi, lib):
    constant = getattr(lib, CONSTANT)
    assert ffi.typeof(constant) is ffi.typeof(
        "int(*)(char *, fpta_index_type, fpta_column_set *, char *, char *,"
        " char *, ...)")
    exported = ctypes.cast(
        getattr(ctypes.CDLL(os.environ["FPTA_LIBRARY"]), CONSTANT),
        ctypes.c_void_p).value
    assert int(ffi.cast("uintptr_t", constant)) == exported
    assert type(lib.fpta_describe_composite_index).__name__ == \
        "builtin_function_or_method"


def test_constant_is_callable_through_the_backend(ffi, lib, recorder):
    column_set = ffi.new("fpta_column_set *")
    lib.fpta_column_set_init(column_set)
    lib.fpta_column_describe(b"a", lib.fptu_uint64,
                             lib.fpta_primary_unique_ordered_obverse, column_set)
    lib.fpta_column_describe(b"b", lib.fptu_cstr, lib.fpta_index_none,
                             column_set)
    name, first = ffi.new("char[]", b"pair"), ffi.new("char[]", b"a")
    status = getattr(lib, CONSTANT)(
        name, lib.fpta_secondary_unique_ordered_obverse, column_set, first,
        b"b", ffi.NULL, ffi.cast("char *", 0))
    assert status == lib.FPTA_SUCCESS
    assert ffi.cast("uint32_t *", column_set)[0] == 3
    assert recorder.last_call().startswith(
        f"{CONSTANT}({address(ffi, name)}, 480, {address(ffi, column_set)}, "
        f"{address(ffi, first)}, 0x")
    assert recorder.last_call().endswith(", null, ...)")
