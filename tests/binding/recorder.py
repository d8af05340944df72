"""libfpta's test-only recorder, reached through cffi's ABI mode.

It is no part of the module's declarations: libfpta exports it for tests.
"""
import cffi

RECORDER_DECLARATIONS = """
    void fpta_recorder_enable(int on);
    const char *fpta_recorder_last_call(void);
    int fpta_recorder_errno_at_entry(void);
    void fpta_recorder_set_exit_errno(int value);
    void fpta_recorder_set_delay_ms(unsigned milliseconds);
    void fpta_recorder_reset(void);
"""


class Recorder:
    """Recording switch, last call text, errno at entry, exit errno, delay."""

    def __init__(self, library_path):
        self.ffi = cffi.FFI()
        self.ffi.cdef(RECORDER_DECLARATIONS)
        self.lib = self.ffi.dlopen(library_path)

    def last_call(self):
        return self.ffi.string(self.lib.fpta_recorder_last_call()).decode()

    def errno_at_entry(self):
        return self.lib.fpta_recorder_errno_at_entry()

    def set_exit_errno(self, value):
        self.lib.fpta_recorder_set_exit_errno(value)

    def set_delay_ms(self, milliseconds):
        self.lib.fpta_recorder_set_delay_ms(milliseconds)


def address(ffi, pointer):
    """The recorder's spelling of a pointer argument."""
    value = int(ffi.cast("uintptr_t", pointer))
    return f"0x{value:x}" if value else "null"
