import functools

import pytest

from veltrix_process import run_veltrix


@pytest.fixture
def veltrix(tmp_path):
    """Runs veltrix with this test's fresh temporary directory as working directory."""
    return functools.partial(run_veltrix, tmp_path)
