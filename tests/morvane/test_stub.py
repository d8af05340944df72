"""The compiled part's .pyi (which mypy --strict checks the package against)
says what the built module has, name for name."""
import os
import subprocess
import sys


def test_the_compiled_part_matches_its_stub(tmp_path):
    checked = subprocess.run([sys.executable, "-m", "mypy.stubtest", "morvane._core", "--mypy-config-file", os.devnull],
                             cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert checked.returncode == 0, checked.stdout + checked.stderr
