"""A progress bar on standard error for runs that sample to a target."""

from __future__ import annotations

import sys
from types import TracebackType
from typing import Optional, Type

from tqdm import tqdm

from .result import Equity


class Tqdm(tqdm):  # type: ignore[type-arg]
    """tqdm without its monitor thread: that daemon thread would outlive the run,
    still asleep when the interpreter exits."""

    monitor_interval = 0


class Bar:
    """Shows the deals drawn so far and the current worst standard error; a context manager."""

    def __init__(self, total: Optional[int] = None) -> None:
        self._bar = Tqdm(
            total=total,
            unit=" deals",
            unit_scale=True,
            file=sys.stderr,
            leave=False,
            dynamic_ncols=True,
            # Quick runs show no bar at all; later, every batch redraws it.
            delay=0.25,
            mininterval=0,
        )

    def update(self, running: Equity) -> None:
        self._bar.set_postfix_str(f"worst std error {running.worst_error:.5f}", refresh=False)
        self._bar.update(running.samples - self._bar.n)

    def close(self) -> None:
        self._bar.close()

    def __enter__(self) -> Bar:
        return self

    def __exit__(
        self,
        kind: Optional[Type[BaseException]],
        value: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None:
        self.close()
