"""The module's declarations (binding/declarations/) against libfpta's header.

The declarations are written as C for cffi; fpta.h is the library's own
statement of the same records and values. A C program compiled against
fpta.h prints the size of every record, the offset of every member and the
value of every integer constant the module publishes, and the test names the
first figure in which the module and the header disagree.
"""
import pathlib
import subprocess

HEADER_DIR = pathlib.Path(__file__).resolve().parents[2] / "fpta" / "include"


def members(ffi, ctype, path=()):
    """Yields the member paths of a record, nested records' members too."""
    for name, field in ctype.fields or ():
        if not name:
            continue
        yield path + (name,)
        if field.type.kind in ("struct", "union") and field.type.fields:
            yield from members(ffi, field.type, path + (name,))


def module_figures(ffi, lib):
    """(C expression, value) for every record size, member offset and constant."""
    typedefs, _, _ = ffi.list_types()
    for name in typedefs:
        ctype = ffi.typeof(name)
        if ctype.kind not in ("struct", "union") or ctype.fields is None:
            continue  # primitives and opaque handles
        yield f"sizeof({name})", ffi.sizeof(name)
        for path in members(ffi, ctype):
            yield f"offsetof({name}, {'.'.join(path)})", ffi.offsetof(name, *path)
    for name in sorted(dir(lib)):
        value = getattr(lib, name)
        if isinstance(value, int):
            yield f"(long long)({name})", value


def header_figures(expressions, scratch):
    program = scratch / "figures.c"
    program.write_text("\n".join(
        ["#include <stddef.h>", "#include <stdio.h>", '#include "fpta.h"', "int main(void) {"]
        + [f'  printf("%lld\\n", (long long)({expression}));' for expression in expressions]
        + ["  return 0;", "}", ""]))
    binary = scratch / "figures"
    subprocess.run(["cc", "-std=c11", f"-I{HEADER_DIR}", "-o", binary, program], check=True)
    output = subprocess.run([binary], check=True, capture_output=True, text=True).stdout
    return [int(line) for line in output.split()]


def test_declarations_agree_with_the_header(ffi, lib, tmp_path):
    figures = list(module_figures(ffi, lib))
    assert len(figures) > 200  # every record and constant, not a handful
    expressions = [expression for expression, _ in figures]
    from_header = header_figures(expressions, tmp_path)
    for (expression, in_module), in_header in zip(figures, from_header):
        assert in_module == in_header, f"{expression}: module {in_module}, fpta.h {in_header}"
