"""The installed stub: found by mypy, true to the module, precise enough to
catch a misspelt result key."""

import os
import pathlib
import runpy
import subprocess
import sys

import pytest

USAGE = pathlib.Path(__file__).with_name("typed_usage.py")
# The sanitized run watches the binding; the type checkers run in the plain ones.
plain_run_only = pytest.mark.skipif(os.environ.get("VANTOR_SANITIZED") == "1",
                                reason="type checkers do not run under the sanitizers")


def run_tool(*args):
    run = subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True,
                         timeout=600, cwd=USAGE.parent)
    return run.returncode, run.stdout + run.stderr


def test_typed_usage_runs():
    runpy.run_path(str(USAGE), run_name="__main__")


@plain_run_only
def test_mypy_strict_accepts_typed_usage_and_flags_its_mistakes():
    pytest.importorskip("mypy")
    code, output = run_tool("mypy", "--strict", "--cache-dir", "/dev/null", str(USAGE))
    assert code == 0, output


@plain_run_only
def test_stubtest_finds_the_stub_matching_the_module():
    pytest.importorskip("mypy")
    code, output = run_tool("mypy.stubtest", "vantor")
    assert code == 0, output
