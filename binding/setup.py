# cffi_modules is a setup() keyword that pyproject.toml cannot hold: cffi's
# setuptools hook calls build_morvane.ffibuilder() and compiles _morvane. The
# module is all the package holds; build_morvane.py and this file only build
# it, so there are no Python packages or modules to find.
from setuptools import setup

setup(cffi_modules=["build_morvane.py:ffibuilder"], packages=[], py_modules=[])
