# cffi_modules is a setup() keyword that pyproject.toml cannot hold: cffi's
# setuptools hook calls build_morvane.ffibuilder() and compiles _morvane.
from setuptools import setup

setup(cffi_modules=["build_morvane.py:ffibuilder"])
