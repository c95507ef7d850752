"""Seeded results do not depend on the processor.

The module picks vector kernels and a bit-deposit card selection at run time.
VANTOR_FORCE_BASELINE=1 makes it take the portable paths instead, as on a
processor without AVX2 or BMI2; every pinned seeded result must come out the
same there (the C++ dispatch test checks that the variable takes effect).
"""

import os
import pathlib
import subprocess
import sys


def test_pinned_seeded_results_hold_on_the_portable_paths():
    pinned = pathlib.Path(__file__).with_name("test_seeded_stream.py")
    env = dict(os.environ, VANTOR_FORCE_BASELINE="1")
    run = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", str(pinned)],
        env=env, capture_output=True, text=True, timeout=600,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    assert " passed" in run.stdout and "skipped" not in run.stdout
