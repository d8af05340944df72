"""Runs the veltrix binary under test the way a user would and records what it did."""

import os
import subprocess
from dataclasses import dataclass


@dataclass(frozen=True)
class Outcome:
    """Everything a run shows to its caller, as raw bytes, so that comparisons are byte-exact."""

    stdout: bytes
    stderr: bytes
    status: int

    def is_error(self, message_start="Error: "):
        """True for a failed run whose only output is one standard-error line beginning so."""
        return (
            self.stdout == b""
            and self.status == 1
            and self.stderr.startswith(message_start.encode())
            and self.stderr.endswith(b"\n")
            and self.stderr.count(b"\n") == 1
        )


def _binary(variable):
    path = os.environ.get(variable)
    if not path:
        raise RuntimeError(f"{variable} must name the program under test (CTest sets it)")
    return path


def run_program(variable, cwd, *args, env=None, stdout=subprocess.PIPE, preexec_fn=None):
    """Runs the program named by the environment variable in cwd with args (str, bytes or paths).

    preexec_fn runs in the child before the program starts (limits, user);
    with another stdout than a pipe, Outcome.stdout is empty."""
    completed = subprocess.run(
        [_binary(variable), *args],
        cwd=cwd,
        env=None if env is None else {**os.environ, **env},
        stdin=subprocess.DEVNULL,
        stdout=stdout,
        stderr=subprocess.PIPE,
        preexec_fn=preexec_fn,
        timeout=120,
    )
    return Outcome(completed.stdout or b"", completed.stderr, completed.returncode)


def run_veltrix(cwd, *args, **options):
    return run_program("VELTRIX", cwd, *args, **options)


def run_make_demo_db(cwd, *args, **options):
    return run_program("VELTRIX_MAKE_DEMO_DB", cwd, *args, **options)
