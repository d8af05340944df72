# cffi_modules is a setup() keyword that pyproject.toml cannot hold: cffi's
# setuptools hook calls build_morvane.ffibuilder() and compiles _morvane. The
# morvane package beside it is its Python modules and its compiled part,
# morvane._core (core/*.c), compiled against the same installed libfpta.
import glob
import os
import re
import sys

from setuptools import Extension, setup

# setuptools runs this file without its folder on the path.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from build_morvane import installed_libfpta  # noqa: E402


def project_version():
    """The version in project() of the top-level CMakeLists.txt: pip builds
    in this folder, inside the source tree."""
    cmake_lists = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "CMakeLists.txt")
    with open(cmake_lists, encoding="utf-8") as text:
        found = re.search(r"^project\(\S+ VERSION ([0-9.]+)", text.read(), re.MULTILINE)
    if found is None:
        raise RuntimeError(f"no project(... VERSION ...) in {cmake_lists}")
    return found.group(1)


include_dir, library_dir = installed_libfpta()
core = Extension(
    "morvane._core",
    sources=sorted(glob.glob("core/*.c")),
    include_dirs=[include_dir],
    library_dirs=[library_dir],
    libraries=["fpta"],
    # So that a libfpta outside the loader's default directories is found
    # without LD_LIBRARY_PATH.
    runtime_library_dirs=[library_dir])

setup(version=project_version(), cffi_modules=["build_morvane.py:ffibuilder"], packages=["morvane"], py_modules=[],
      package_data={"morvane": ["py.typed", "_core.pyi"]}, ext_modules=[core])
