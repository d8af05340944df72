"""Generates the C++ source of the _morvane module with cffi.

The declarations live in declarations/, one file per family of libfpta's
interface; this script only assembles them. Two builds use it:

- CMake runs it as `build_morvane.py OUTPUT.cpp` to write the source, which
  it compiles itself against the libfpta it builds;
- setuptools (setup.py's cffi_modules) calls ffibuilder() to compile the
  module against an installed libfpta, found through pkg-config's `fpta`
  or, when FPTA_PREFIX is set, under that prefix.
"""
import os
import pathlib
import subprocess
import sys
import sysconfig

import cffi

DECLARATIONS = pathlib.Path(__file__).resolve().parent / "declarations"

# Records and enumerations first: every other family uses them.
FAMILIES = ("records", "database", "schema", "rows", "cursors", "values",
            "tuples")


def declarations():
    return "\n".join((DECLARATIONS / f"{family}.h").read_text()
                     for family in FAMILIES)


def make_builder(**compile_options):
    """compile_options: set_source's keywords, for builds that let cffi
    compile the module."""
    builder = cffi.FFI()
    # libfpta's records have no alignment gaps: every record that the
    # backend lays out itself is laid out packed.
    builder.cdef(declarations(), packed=True)
    builder.set_source("_morvane", '#include "fpta.h"',
                       source_extension=".cpp", **compile_options)
    return builder


def pkg_config_variable(name):
    return subprocess.run(["pkg-config", f"--variable={name}", "fpta"],
                          check=True, capture_output=True,
                          text=True).stdout.strip()


def installed_libfpta():
    """(include directory, library directory) of an installed libfpta."""
    prefix = os.environ.get("FPTA_PREFIX")
    if not prefix:
        return pkg_config_variable("includedir"), pkg_config_variable("libdir")
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for libdir in (f"lib/{multiarch}", "lib64", "lib"):
        if os.path.exists(os.path.join(prefix, libdir, "libfpta.so")):
            return os.path.join(prefix, "include"), os.path.join(prefix, libdir)
    raise SystemExit(f"FPTA_PREFIX={prefix}: no lib*/libfpta.so there")


def ffibuilder():
    include_dir, library_dir = installed_libfpta()
    return make_builder(
        include_dirs=[include_dir], library_dirs=[library_dir],
        libraries=["fpta"],
        # So that a libfpta outside the loader's default directories is
        # found without LD_LIBRARY_PATH.
        runtime_library_dirs=[library_dir],
        # The option binding/CMakeLists.txt compiles the module with; the
        # reason is given there.
        extra_compile_args=["-ftrivial-auto-var-init=zero"])


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
