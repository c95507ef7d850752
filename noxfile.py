"""The Python tests on the oldest and the newest supported CPython.

The interpreters are the ones pyenv installed; tools/test.sh runs every
session after the tests on the default Python. Each session builds the module
from this tree into a fresh environment of its own.
"""

from __future__ import annotations

import glob
import os
import subprocess

import nox

VERSIONS = ["3.9", "3.13"]

nox.options.envdir = "build/nox"
nox.options.error_on_missing_interpreters = True
nox.options.default_venv_backend = "venv"


def pyenv_bins() -> list[str]:
    """The bin folder of the newest installed patch release of each version."""
    try:
        root = subprocess.run(["pyenv", "root"], capture_output=True, text=True,
                              check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        root = os.path.expanduser("~/.pyenv")
    bins = []
    for version in VERSIONS:
        found = glob.glob(os.path.join(root, "versions", f"{version}.*", "bin", f"python{version}"))
        found.sort(key=lambda path: [int(p) for p in path.split("/")[-3].split(".") if p.isdigit()])
        if found:
            bins.append(os.path.dirname(found[-1]))
    return bins


# pyenv's shims answer only for the selected version; the real binaries do not.
os.environ["PATH"] = os.pathsep.join([*pyenv_bins(), os.environ.get("PATH", "")])


@nox.session(python=VERSIONS)
def tests(session: nox.Session) -> None:
    groups = nox.project.dependency_groups(nox.project.load_toml("pyproject.toml"), "typing")
    session.install(".[test]", *groups)
    session.chdir("tests/python")
    session.run("python", "-m", "pytest", "-q", "-p", "no:cacheprovider", ".", *session.posargs)
