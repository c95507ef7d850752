"""Equity answers to a target precision, printed as tables and merged exactly, on top of `vantor`.

    >>> from vantor_tools import equity
    >>> print(equity("holdem", ["AhKh", "QsQd"], board="Kd 7c 2h"))

The same answers from the command line: `vantor holdem AhKh QsQd --board "Kd 7c 2h"`.
"""

from __future__ import annotations

from .batch import BatchAnswer, BatchStopped, run_batch
from .breakdown import Breakdown, Cell, Row, breakdown
from .result import Equity, Seat
from .run import DEFAULT_TARGET_ERROR, TooManyDeals, equity, sample, sample_until, walk
from .seeds import batch_seed, chunk_plan
from .spot import Game, Spot, find_game, games

__all__ = [
    "BatchAnswer",
    "BatchStopped",
    "DEFAULT_TARGET_ERROR",
    "Breakdown",
    "Cell",
    "Equity",
    "Game",
    "Seat",
    "Spot",
    "Row",
    "TooManyDeals",
    "batch_seed",
    "breakdown",
    "chunk_plan",
    "equity",
    "find_game",
    "games",
    "run_batch",
    "sample",
    "sample_until",
    "walk",
]
