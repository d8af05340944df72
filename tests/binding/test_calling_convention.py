"""How every wrapper converts, calls and returns, seen from both sides."""
import os
import subprocess
import sys
import threading
import time

import pytest

from recorder import address

U32_MAX = 2**32 - 1
U64_MAX = 2**64 - 1


@pytest.mark.parametrize("function, count", [
    ("fptu_upsert_uint64", 3), ("fptu_upsert_null", 2), ("fpta_db_open", 7),
    ("fpta_insert_row", 3), ("fpta_value_string", 2), ("fptu_space", 2)])
@pytest.mark.parametrize("given", ["fewer", "more"])
def test_argument_count_is_exact(lib, recorder, function, count, given):
    # Arguments that no converter accepts: unpacking must fail first.
    passed = count - 1 if given == "fewer" else count + 1
    with pytest.raises(TypeError) as raised:
        getattr(lib, function)(*[object()] * passed)
    # The wording is the interpreter's; that it names the function is what
    # a user relies on.
    assert function in str(raised.value)
    assert recorder.last_call() == ""


@pytest.mark.parametrize("function, arguments", [
    ("fpta_cursor_eof", (None, None)),
    ("fpta_value_null", (None,)),
])
def test_argument_count_of_single_and_no_argument_wrappers(
        lib, recorder, function, arguments):
    with pytest.raises(TypeError) as raised:
        getattr(lib, function)(*arguments)
    assert function in str(raised.value)
    assert recorder.last_call() == ""


UPSERT = (None, 0, 1)
DB_OPEN = (b"db", 0, 0, 0o644, 1, False, None)

# (function, arguments the library accepts, position, rejected value, error)
REJECTED = [
    ("fptu_upsert_uint64", UPSERT, 0, object(), TypeError),
    ("fptu_upsert_uint64", UPSERT, 1, -1, OverflowError),
    ("fptu_upsert_uint64", UPSERT, 1, 2**32, OverflowError),
    ("fptu_upsert_uint64", UPSERT, 2, 2**64, OverflowError),
    ("fptu_upsert_uint64", UPSERT, 2, "1", TypeError),
    ("fptu_insert_int32", UPSERT, 2, 2**31, OverflowError),
    ("fptu_insert_int64", UPSERT, 2, -2**63 - 1, OverflowError),
    ("fptu_insert_fp64", UPSERT, 2, "1.5", TypeError),
    ("fptu_insert_fp32", UPSERT, 2, None, TypeError),
    ("fptu_insert_datetime", (None, 0, {"fixedpoint": 1}), 2, 1.5, TypeError),
    ("fptu_insert_string", (None, 0, b"text", 4), 2, "text", TypeError),
    ("fptu_insert_string", (None, 0, b"text", 4), 3, -1, OverflowError),
    ("fptu_insert_nested", (None, 0, {}), 2, {"nope": 0}, KeyError),
    ("fpta_db_open", DB_OPEN, 0, 7, TypeError),
    ("fpta_db_open", DB_OPEN, 1, "fpta_weak", TypeError),
    ("fpta_db_open", DB_OPEN, 1, 2**31, OverflowError),
    ("fpta_db_open", DB_OPEN, 2, 2**31, OverflowError),
    ("fpta_db_open", DB_OPEN, 3, -1, OverflowError),
    ("fpta_db_open", DB_OPEN, 4, -1, OverflowError),
    ("fpta_db_open", DB_OPEN, 5, 2, OverflowError),
    ("fpta_db_open", DB_OPEN, 6, b"x", TypeError),
    ("fpta_cursor_open", (None, None, {}, {}, None, 0, None), 3, 5, TypeError),
    ("fpta_strerror", (0,), 0, 2**31, OverflowError),
    ("fpta_field2value", (None,), 0, 5, TypeError),
]


@pytest.mark.parametrize("function, accepted, position, value, error", REJECTED)
def test_failed_conversion_does_not_reach_the_library(
        ffi, lib, recorder, function, accepted, position, value, error):
    accepted = [ffi.NULL if argument is None else argument
                for argument in accepted]
    getattr(lib, function)(*accepted)
    assert recorder.last_call().startswith(function + "(")
    rejected = list(accepted)
    rejected[position] = value
    recorder.lib.fpta_recorder_reset()
    with pytest.raises(error):
        getattr(lib, function)(*rejected)
    assert recorder.last_call() == ""


@pytest.mark.parametrize("call, recorded", [
    (lambda lib, null: lib.fptu_insert_uint64(null, U32_MAX, U64_MAX),
     f"fptu_insert_uint64(null, {U32_MAX}, {U64_MAX})"),
    (lambda lib, null: lib.fptu_insert_uint32(null, 0, U32_MAX),
     f"fptu_insert_uint32(null, 0, {U32_MAX})"),
    (lambda lib, null: lib.fptu_upsert_uint32(null, 0, U64_MAX),
     f"fptu_upsert_uint32(null, 0, {U64_MAX})"),
    (lambda lib, null: lib.fptu_insert_int64(null, 0, -1),
     "fptu_insert_int64(null, 0, -1)"),
    (lambda lib, null: lib.fpta_transaction_end(null, True),
     "fpta_transaction_end(null, 1)"),
    (lambda lib, null: lib.fpta_cursor_count(null, null, U64_MAX),
     f"fpta_cursor_count(null, null, {U64_MAX})"),
    (lambda lib, null: lib.fpta_strerror(-1), "fpta_strerror(-1)"),
])
def test_all_ones_values_are_values(ffi, lib, recorder, call, recorded):
    call(lib, ffi.NULL)
    assert recorder.last_call() == recorded


def test_minus_one_is_a_float_value(lib):
    assert lib.fpta_value_float(-1.0).fp == -1.0
    assert lib.fpta_value_float(-1).fp == -1.0


@pytest.mark.parametrize("function", ["fptu_insert_fp32", "fptu_upsert_fp32"])
def test_float_is_narrowed_to_single_precision(ffi, lib, recorder, function):
    getattr(lib, function)(ffi.NULL, 0, 0.1)
    # printf("%.9g") of 0.1f; the double 0.1 would print 0.1.
    assert recorder.last_call() == f"{function}(null, 0, 0.100000001)"


def test_fp64_is_not_narrowed(ffi, lib, recorder):
    lib.fptu_insert_fp64(ffi.NULL, 0, 0.1)
    assert recorder.last_call() == "fptu_insert_fp64(null, 0, 0.10000000000000001)"


def test_small_pointer_temporary_is_zero_filled(ffi, lib):
    # A list makes the wrapper build the record in a temporary. junk is left
    # out; the tuple is sound only if it arrives as zero.
    empty = {"head": 1, "tail": 1, "pivot": 1, "end": 1}
    assert ffi.string(lib.fptu_check([dict(empty, junk=1)])) == \
        b"junk does not match the removed fields"
    assert lib.fptu_check([empty]) == ffi.NULL


def test_large_pointer_temporary_is_zero_filled_and_dropped(ffi, lib):
    # A column set is 10224 bytes: its temporary comes from the heap. Leave
    # freed memory of that size full of ones, where a set's count would say
    # it is full.
    freed = bytearray(b"\xff" * ffi.sizeof("fpta_column_set"))
    del freed
    status = lib.fpta_column_describe(b"id", lib.fptu_uint64,
                                      lib.fpta_primary_unique_ordered_obverse,
                                      [{}])
    assert status == lib.FPTA_SUCCESS
    # What the library wrote into a temporary is lost; a pointer object keeps it.
    column_set = ffi.new("fpta_column_set *")
    lib.fpta_column_set_init(column_set)
    lib.fpta_column_describe(b"id", lib.fptu_uint64,
                             lib.fpta_primary_unique_ordered_obverse, column_set)
    assert ffi.cast("uint32_t *", column_set)[0] == 1


@pytest.mark.parametrize("function, partial, recorded", [
    ("fpta_upsert_column", {"type": 8},
     "null, null, {type=8,length=0,payload=0x0000000000000000}"),
    ("fptu_insert_nested", {"total_bytes": 4},
     "null, 0, {units=null,total_bytes=4}"),
    ("fptu_insert_datetime", {"utc": 1}, f"null, 0, {2**32}"),
    ("fptu_insert_opaque_iov", {"iov_len": 3}, "null, 0, {base=null,len=3}"),
])
def test_record_by_value_members_not_given_arrive_as_zero(
        ffi, lib, recorder, function, partial, recorded):
    # The wrapper converts into a local on its stack: without zero-filling,
    # the members left out would carry whatever the stack held.
    second = ffi.NULL if function == "fpta_upsert_column" else 0
    getattr(lib, function)(ffi.NULL, second, partial)
    assert recorder.last_call() == f"{function}({recorded})"


def test_pointer_objects_pass_unchanged(ffi, lib, recorder):
    tuple_rw = lib.fptu_alloc(4, 64)
    try:
        lib.fptu_upsert_null(tuple_rw, 3)
        assert recorder.last_call() == f"fptu_upsert_null({address(ffi, tuple_rw)}, 3)"
    finally:
        lib.free(tuple_rw)


@pytest.mark.parametrize("function, argument", [
    ("fpta_strerror", -30798), ("fptu_check", None)])
def test_char_pointer_results_are_pointer_objects(ffi, lib, function, argument):
    result = getattr(lib, function)(ffi.NULL if argument is None else argument)
    assert ffi.typeof(result) is ffi.typeof("char *")
    assert ffi.string(result)


def test_tuple_pointer_result_is_a_pointer_object(ffi, lib):
    tuple_rw = lib.fptu_alloc(4, 64)
    try:
        assert ffi.typeof(tuple_rw) is ffi.typeof("fptu_rw *")
        assert lib.fptu_check(tuple_rw) == ffi.NULL
    finally:
        assert lib.free(tuple_rw) is None


def test_record_results_are_owned_copies(ffi, lib):
    tuple_rw = lib.fptu_alloc(4, 64)
    try:
        first = lib.fptu_take_noshrink(tuple_rw)
        second = lib.fptu_take_noshrink(tuple_rw)
    finally:
        lib.free(tuple_rw)
    assert ffi.typeof(first) is ffi.typeof("fptu_ro")
    assert first.total_bytes == second.total_bytes == 4
    first.total_bytes = 99
    assert second.total_bytes == 4
    value = lib.fpta_field2value(ffi.NULL)
    assert ffi.typeof(value) is ffi.typeof("fpta_value")
    assert value.type == lib.fpta_null


@pytest.mark.parametrize("items, data_bytes, space", [
    (0, 2**63, 2**63 + 24), (2**61, 0, 2**63 + 24), (U64_MAX, U64_MAX, U64_MAX)])
def test_space_of_two_to_the_63_and_more_is_positive(lib, items, data_bytes,
                                                     space):
    # 24 bytes of record and header unit, 4 per item and per data unit.
    assert lib.fptu_space(items, data_bytes) == space


def test_status_codes_come_back_as_ints(ffi, lib):
    assert lib.fptu_upsert_uint64(ffi.NULL, 0, 1) == lib.FPTA_EINVAL
    assert lib.fpta_cursor_eof(ffi.NULL) == lib.FPTA_EINVAL


def test_errno_restored_before_and_saved_after_the_call(ffi, lib, recorder):
    recorder.set_exit_errno(61)
    ffi.errno = 42
    lib.fpta_cursor_eof(ffi.NULL)
    assert ffi.errno == 61
    assert recorder.errno_at_entry() == 42


def test_interpreter_lock_released_during_the_call(ffi, lib, recorder):
    stamps, stop = [], threading.Event()

    def tick():
        while not stop.is_set():
            stamps.append(time.monotonic())
            time.sleep(0.001)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        recorder.set_delay_ms(400)
        start = time.monotonic()
        lib.fpta_cursor_eof(ffi.NULL)
        end = time.monotonic()
    finally:
        stop.set()
        ticker.join()
    assert end - start >= 0.4
    # Holding the lock for the call would leave no stamp inside it.
    assert any(start + 0.1 < stamp < end - 0.1 for stamp in stamps)


def test_import_fails_cleanly_without_the_backend():
    script = ("import sys\n"
              "sys.modules['_cffi_backend'] = None\n"
              "try:\n"
              "    import _morvane\n"
              "except ImportError as error:\n"
              "    print(type(error).__name__, error)\n"
              "print('_morvane' in sys.modules)\n")
    done = subprocess.run([sys.executable, "-c", script], env=os.environ,
                          capture_output=True, text=True, check=True)
    assert done.stdout == ("ModuleNotFoundError import of _cffi_backend halted;"
                           " None in sys.modules\nFalse\n")
