"""Batch files: counting spots, checking what an earlier run already answered, and
writing answers.

Output line n answers input line n. Lines are written whole, in order, and a
line that a killed run left without its newline is dropped on resume.
"""

from __future__ import annotations

import os
import stat
import time
from typing import Any, BinaryIO, Dict, Iterator, Tuple

from .batch import ANSWER_KEYS, parse_line

# Answers written are synced to disk at least this often.
SYNC_SECONDS = 2.0


class ResumeMismatch(ValueError):
    """The output file does not answer the spots it is checked against."""


def count_lines(path: str) -> int:
    """The number of lines in a file, a last line without a newline included."""
    count, last = 0, b"\n"
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            count += block.count(b"\n")
            last = block[-1:]
    return count + (last != b"\n")


def own_fields(line: bytes) -> Dict[str, Any]:
    """A line's fields without the answer's keys; {} for a line that is no JSON object."""
    try:
        fields = parse_line(line)
    except ValueError:
        return {}
    return {key: value for key, value in fields.items() if key not in ANSWER_KEYS}


def answered(output: BinaryIO, spots: Iterator[bytes], spots_name: str, output_name: str) -> Tuple[int, int]:
    """How many spots `output` already answers, and the length in bytes of those lines.

    Reads `output` from the start and takes one line of `spots` for each of its
    whole lines, which must carry that spot's fields. A last line without its
    newline is not counted (a run killed while writing it). Raises ResumeMismatch
    when a line answers another spot or there are more answers than spots.
    """
    count = length = 0
    for line in output:
        if not line.endswith(b"\n"):
            break
        spot = next(spots, None)
        if spot is None:
            raise ResumeMismatch(
                f"{output_name} has more lines than {spots_name} has spots; it answers another file"
            )
        if own_fields(line) != own_fields(spot):
            raise ResumeMismatch(
                f"line {count + 1} of {output_name} does not answer line {count + 1} of {spots_name}; "
                "it answers another file, or the spots changed"
            )
        count += 1
        length += len(line)
    return count, length


class LineWriter:
    """Writes each line whole, at once, with one call; syncs a regular file to disk now and then.

    Unbuffered, so a line is in the file as soon as its spot is answered, however
    long the next spot takes; a killed run loses nothing it had answered.
    """

    def __init__(self, fd: int) -> None:
        self.fd = fd
        # Pipes and terminals cannot be synced; nor need they be.
        self.sync = stat.S_ISREG(os.fstat(fd).st_mode)
        self.synced = time.monotonic()

    def write(self, line: str) -> None:
        data = memoryview((line + "\n").encode())
        while data:
            data = data[os.write(self.fd, data):]
        if self.sync and time.monotonic() - self.synced >= SYNC_SECONDS:
            os.fsync(self.fd)
            self.synced = time.monotonic()

    def close(self) -> None:
        """Syncs what was written; the descriptor stays open."""
        if self.sync:
            os.fsync(self.fd)
