"""Generates the C++ source of the _morvane module with cffi.

The declarations live in declarations/, one file per family of libfpta's
interface; this script only assembles them. Usage:

    build_morvane.py OUTPUT.cpp
"""
import pathlib
import sys

import cffi

DECLARATIONS = pathlib.Path(__file__).resolve().parent / "declarations"

# Records and enumerations first: every other family uses them.
FAMILIES = ("records", "database", "schema", "rows", "cursors", "values",
            "tuples")


def declarations():
    return "\n".join((DECLARATIONS / f"{family}.h").read_text()
                     for family in FAMILIES)


def make_builder():
    builder = cffi.FFI()
    # libfpta's records have no alignment gaps: every record that the
    # backend lays out itself is laid out packed.
    builder.cdef(declarations(), packed=True)
    builder.set_source("_morvane", '#include "fpta.h"',
                       source_extension=".cpp")
    return builder


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: build_morvane.py OUTPUT.cpp\n")
        return 2
    output = pathlib.Path(argv[1])
    make_builder().emit_c_code(str(output))
    # cffi leaves an unchanged file as it was; the build compares times.
    output.touch()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
