"""The tables and wrappers that cffi generated, checked in the source."""
import collections

import pytest

from figures import (CONSTANT, ENUMERATIONS, ENUMERATORS, FUNCTION_KINDS,
                     NODE_RECORD_FLAGS, RECORD_FLAGS)
from generated import OPCODES, GeneratedSource

WRAPPER_OPCODES = {"T": 23, "N": 25, "O": 27}
# Integer converters by size and signedness (5: int32, 6: uint32, 7: int64,
# 8: uint64); 10 pointer results, 13/14 errno, 17 by-value conversion,
# 18 record results, 22 _Bool, 23/24 pointer arguments and their temporaries.
SLOTS_USED = {5, 6, 7, 8, 10, 13, 14, 17, 18, 22, 23, 24}


@pytest.fixture(scope="module")
def source(generated_source):
    return GeneratedSource(generated_source)


def test_context_counts(source):
    assert source.context_counts() == {
        "num_globals": 234, "num_struct_unions": 20, "num_enums": 12,
        "num_typenames": 26, "num_types": 348, "flags": 0}
    assert "NULL,  /* no includes */" in source.text


def test_tables_hold_what_the_context_counts(source):
    assert source.type_opcode_count() == 348
    assert len(source.globals()) == 234
    assert source.entry_count("_cffi_struct_unions") == 20
    assert source.entry_count("_cffi_enums") == 12
    assert source.entry_count("_cffi_typenames") == 26


def test_fields_are_56_plus_the_two_members_of_iovec(source):
    # iovec's members are declared so that it can be passed by value.
    assert source.field_count() == 56 + 2


def test_protocol_version(source):
    assert source.protocol_version() == 0x2601 == 9729


def test_globals_sorted_by_bytes_errors_first_free_last(source):
    names = [name for name, _, _ in source.globals()]
    assert names == sorted(names, key=str.encode)
    assert len(set(names)) == len(names)
    assert names[:5] == ["FPTA_EEXIST", "FPTA_EINVAL", "FPTA_NODATA",
                         "FPTA_NOTFOUND", "FPTA_SUCCESS"]
    assert names[-1] == "free"


def test_global_kinds(source):
    kinds = collections.Counter(op for _, op, _ in source.globals())
    assert kinds == {OPCODES["_CFFI_OP_CPYTHON_BLTN_V"]: 65,
                     OPCODES["_CFFI_OP_CPYTHON_BLTN_O"]: 16,
                     OPCODES["_CFFI_OP_CPYTHON_BLTN_N"]: 3,
                     OPCODES["_CFFI_OP_ENUM"]: 149,
                     OPCODES["_CFFI_OP_CONSTANT"]: 1}
    assert WRAPPER_OPCODES == {
        "T": OPCODES["_CFFI_OP_CPYTHON_BLTN_V"],
        "N": OPCODES["_CFFI_OP_CPYTHON_BLTN_N"],
        "O": OPCODES["_CFFI_OP_CPYTHON_BLTN_O"]}


def test_each_function_has_its_wrapper_kind(source):
    functions = {name: op for name, op, _ in source.globals()
                 if op in WRAPPER_OPCODES.values()}
    assert functions == {name: WRAPPER_OPCODES[kind]
                         for name, kind in FUNCTION_KINDS.items()}


def test_enumerator_getters_and_constant(source):
    entries = {name: (op, argument) for name, op, argument in source.globals()}
    for name in ENUMERATORS:
        assert entries[name] == (OPCODES["_CFFI_OP_ENUM"], -1)
    assert entries[CONSTANT][0] == OPCODES["_CFFI_OP_CONSTANT"]


def test_enumerators_keep_their_declaration_order(source):
    assert source.enumerations() == {
        tag: [name for name, _ in members]
        for (tag, _), members in ENUMERATIONS.items()}


def test_record_flags(source):
    records = source.records()
    nodes = {name: entry for name, entry in records.items()
             if name.startswith("$")}
    named = {name: flags for name, (flags, _, _) in records.items()
             if not name.startswith("$")}
    assert named == RECORD_FLAGS
    assert len(nodes) == 4
    for flags, size, alignment in nodes.values():
        # The backend computes the layout of the unnamed node records.
        assert (flags, size, alignment) == (NODE_RECORD_FLAGS, "(size_t)-2",
                                            "-2")
    for name in ("fpta_cursor", "fpta_db", "fpta_txn"):
        assert records[name][1:] == ("(size_t)-1", "-1")


@pytest.mark.parametrize("function", sorted(
    name for name, kind in FUNCTION_KINDS.items() if kind == "T"))
def test_tuple_wrapper_unpacks_under_its_name_exactly(source, ffi, lib,
                                                      function):
    count = len(ffi.typeof(ffi.addressof(lib, function)).args)
    assert (f'PyArg_UnpackTuple(args, "{function}", {count}, {count},'
            in source.wrapper(function))


def test_wrappers_use_the_listed_export_slots(source, ffi):
    used = set()
    for function in FUNCTION_KINDS:
        used |= source.wrapper_slots(function, ffi)
    assert used == SLOTS_USED


# int_fast32_t, uint_fast16_t and uint_fast32_t are 64 bits wide on Linux
# x86-64, so their values go through the 64-bit converters (7, 8) where a
# platform with 32-bit fast types uses 5 and 6.
@pytest.mark.parametrize("function, slots", [
    ("fpta_db_open", {23, 24, 17, 6, 8, 22, 13, 14}),
    ("fpta_strerror", {5, 13, 14, 10}),
    ("fpta_value_null", {13, 14, 18}),
    ("fpta_value_sint", {7, 13, 14, 18}),
    ("fpta_value_float", {13, 14, 18}),
    ("fpta_value_datetime", {17, 13, 14, 18}),
    ("fptu_alloc", {8, 13, 14, 10}),
    ("fptu_space", {8, 13, 14}),
    ("fpta_column_set_init", {23, 24, 13, 14}),
    ("fptu_insert_fp32", {23, 24, 6, 13, 14}),
    ("fptu_insert_int32", {23, 24, 6, 5, 13, 14}),
    ("fptu_upsert_int32", {23, 24, 6, 7, 13, 14}),
    ("fptu_upsert_uint16", {23, 24, 6, 8, 13, 14}),
    ("fptu_upsert_uint32", {23, 24, 6, 8, 13, 14}),
    ("fptu_upsert_uint64", {23, 24, 6, 8, 13, 14}),
    ("fptu_insert_opaque_iov", {23, 24, 6, 17, 13, 14}),
    ("fptu_take_noshrink", {23, 24, 13, 14, 18}),
])
def test_wrapper_slots(source, ffi, function, slots):
    assert source.wrapper_slots(function, ffi) == slots
