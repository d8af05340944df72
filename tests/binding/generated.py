"""Reads the tables and wrappers out of the module's generated C++ source.

Opcode numbers, record flags and export slots are taken from cffi's own
headers, so the figures the tests compare are independent of how cffi spells
them in the source.
"""
import os
import re

import cffi

CFFI_HEADERS = os.path.dirname(cffi.__file__)


def _header_defines(header, pattern):
    with open(os.path.join(CFFI_HEADERS, header)) as text:
        return {name: int(value, 0)
                for name, value in re.findall(pattern, text.read())}


OPCODES = _header_defines("parse_c_type.h", r"#define (_CFFI_OP_\w+)\s+(\d+)")
RECORD_FLAG_BITS = _header_defines("parse_c_type.h",
                                   r"#define (_CFFI_F_\w+)\s+(0x[0-9a-f]+)")
# Helpers of cffi's include file mapped to the export slot each one calls.
SLOT_OF_HELPER = _header_defines(
    "_cffi_include.h", r"#define (_cffi_\w+)\s*\\\s*\([^#]*?_cffi_exports\[(\d+)\]\)")
# Fills the zeroed temporary through the backend's array conversion.
SLOT_OF_HELPER["_cffi_convert_array_argument"] = SLOT_OF_HELPER[
    "_cffi_convert_array_from_object"]


class GeneratedSource:
    def __init__(self, text):
        self.text = text

    def table(self, name):
        match = re.search(r"%s\[\] = \{\n(.*?)\n\};" % name, self.text, re.S)
        return match.group(1)

    def context_counts(self):
        body = re.search(r"_cffi_type_context = \{(.*?)\};", self.text,
                         re.S).group(1)
        return {name: int(value)
                for value, name in re.findall(r"(\d+),\s*/\* (\w+) \*/", body)}

    def type_opcode_count(self):
        return len(re.findall(r"^/\* *\d+ \*/ ", self.table("_cffi_types"),
                              re.M))

    def globals(self):
        """(name, opcode, argument) per entry, in table order."""
        return [(name, OPCODES[op], int(argument))
                for name, op, argument in re.findall(
                    r'\{ "(\w+)", \(void \*\)\w+, _CFFI_OP\((\w+), (-?\d+)\)',
                    self.table("_cffi_globals"))]

    def field_count(self):
        return len(re.findall(r'^  \{ "', self.table("_cffi_fields"), re.M))

    def records(self):
        """name -> (flags word, size text, alignment text)."""
        return {name: (sum(RECORD_FLAG_BITS[flag] for flag in flags.split("|")
                           if flag != "0"), size, alignment)
                for name, flags, size, alignment in re.findall(
                    r'\{ "([$\w]+)", \d+, ([\w|]+),\s*(.*?), (.*?), -?\d+, \d+',
                    self.table("_cffi_struct_unions"))}

    def enumerations(self):
        """name -> enumerator names in the order the table lists them."""
        return {name: members.split(",")
                for name, members in re.findall(
                    r'\{ "(\w+)", \d+, _cffi_prim_int\(.*?\),\s*"([\w,]+)" \}',
                    self.table("_cffi_enums"))}

    def entry_count(self, table):
        return len(re.findall(r'^  \{ "', self.table(table), re.M))

    def protocol_version(self):
        return int(re.search(r'_cffi_init\("_morvane", (0x[0-9a-f]+),',
                             self.text).group(1), 16)

    def wrapper(self, function):
        return re.search(r"^_cffi_f_%s\(PyObject \*self, .*?\n\}\n" % function,
                         self.text, re.M | re.S).group(0)

    def wrapper_slots(self, function, ffi):
        """Export slots the wrapper calls, integer converters resolved by the
        size and signedness of their type on this platform."""
        body = self.wrapper(function)
        slots = {SLOT_OF_HELPER[helper]
                 for helper in re.findall(r"\b(_cffi_\w+)\(", body)
                 if helper in SLOT_OF_HELPER}
        for c_type in re.findall(r"_cffi_to_c_int\(\w+, ([\w ]+)\)", body):
            bits = 8 * ffi.sizeof(c_type)
            sign = "i" if int(ffi.cast(c_type, -1)) < 0 else "u"
            slots.add(SLOT_OF_HELPER[f"_cffi_to_c_{sign}{bits}"])
        return slots
