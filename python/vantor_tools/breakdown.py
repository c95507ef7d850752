"""How each holding of one seat's field does: one row per alternative, weighted by card removal.

    >>> from vantor_tools import breakdown
    >>> b = breakdown("holdem", ["QQ+, AKs", "JJ"], 0, board="Jc 7d 2h")
    >>> b.rows[0].holding, b.grid["AKs"].equity

Every row answers the spot with that holding alone in the seat. Its weight is
its share of the deals of the whole field (the exact walk counts every deal
once), so the weighted mean of the rows is the seat's equity for the whole
field: exactly, when the rows are walked, and within the standard error when
they are sampled.
"""

from __future__ import annotations

import math
import threading
from concurrent.futures import Future, ThreadPoolExecutor
from concurrent.futures import TimeoutError as StillRunning
from dataclasses import dataclass, field
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple, Union

import vantor

from .deals import TooMuchToWeigh, count_deals, holding_text, holdings
from .result import Equity
from .run import TooManyDeals, _check, sample_until, walk
from .seeds import batch_seed_for_chunk, chunk_seed
from .spot import Spot, find_game

# Sampled rows stop at this standard error when no target or limit is given.
DEFAULT_ROW_TARGET_ERROR = 0.005
# The exact walk's own limit: rows are walked while all of them together stay within it.
WALK_LIMIT = 50_000_000
# Rows are seeded this far apart, far more than the batches of any one row.
_ROW_STRIDE = 1 << 40

OnRow = Callable[[int, int], None]


@dataclass(frozen=True)
class Row:
    """One holding of the seat's field and how it does against the other seats.

    `weight` is the holding's share of the field's deals (card removal included);
    `deals` is how many deals of the field give the seat this holding (None when
    not counted: a field of one holding). A holding that no deal allows has weight
    0 and None for every result. `samples` is the number of deals walked or drawn.
    """

    holding: str
    weight: float
    deals: Optional[int]
    equity: Optional[float]
    win: Optional[float]
    tie: Optional[float]
    low_equity: Optional[float]
    scoop: Optional[float]
    std_error: Optional[float]
    samples: int
    exact: bool

    @property
    def high_equity(self) -> Optional[float]:
        """The share of the pot won through the high half (all of it in high-only games)."""
        return None if self.equity is None or self.low_equity is None else self.equity - self.low_equity


@dataclass(frozen=True)
class Cell:
    """One starting-hand class of the grid ("AA", "AKs", "AKo"): the weighted equity of its
    combinations (None when the field holds none of them) and its share of the field."""

    name: str
    equity: Optional[float]
    share: float
    std_error: Optional[float]
    combos: int


@dataclass(frozen=True)
class Breakdown:
    """The rows of one seat's field, in the field's order.

    `complete` is False when the run was stopped early: the rows then cover the
    holdings done so far, and weights are shares among those. `equity` and
    `std_error` are the weighted mean over the rows and its standard error;
    `grid` maps the starting-hand classes to cells in the two-card games, and is
    None in the others.
    """

    spot: Spot
    seat: int
    rows: Tuple[Row, ...]
    complete: bool = True
    equity: Optional[float] = field(init=False, compare=False)
    std_error: Optional[float] = field(init=False, compare=False)
    grid: Optional[Dict[str, Cell]] = field(init=False, compare=False, repr=False)

    def __post_init__(self) -> None:
        counted = [row for row in self.rows if row.weight > 0 and row.equity is not None]
        equity = sum(row.weight * (row.equity or 0.0) for row in counted) if counted else None
        error = math.sqrt(sum((row.weight * (row.std_error or 0.0)) ** 2 for row in counted))
        object.__setattr__(self, "equity", equity)
        object.__setattr__(self, "std_error", error if counted else None)
        from .grid import cells

        object.__setattr__(self, "grid", cells(self))

    @property
    def exact(self) -> bool:
        """Whether every row with a weight was walked exactly."""
        return all(row.exact for row in self.rows if row.weight > 0)

    @property
    def samples(self) -> int:
        """Deals walked or drawn over all rows."""
        return sum(row.samples for row in self.rows)

    def to_dict(self) -> Dict[str, Any]:
        """Everything as plain values for JSON: the spot, the rows and the grid."""
        from .report import to_dict

        return to_dict(self)

    def __str__(self) -> str:
        from .report import text

        return text(self)

    def _repr_html_(self) -> str:
        from .report import fragment

        return fragment(self)


def breakdown(
    game: str,
    hands: Sequence[str],
    seat: int,
    board: str = "",
    dead: str = "",
    *,
    exact: Optional[bool] = None,
    target_error: Optional[float] = None,
    max_samples: Optional[int] = None,
    seed: int = 0,
    threads: int = 0,
    progress: Union[bool, OnRow] = False,
) -> Breakdown:
    """How each holding of seat `seat`'s field (numbered from 0) does, as a `Breakdown`.

    By default every row is walked exactly when all of them together are within
    the walk's limit, and sampled otherwise, each to a standard error of
    DEFAULT_ROW_TARGET_ERROR; `exact=True` insists on walking, `exact=False` or
    `target_error` samples each row until its standard error is at most that, or
    `max_samples` deals. Row k samples from seeds derived from `seed` and k, so the
    same arguments give the same rows. `progress` shows a bar over the rows on
    standard error (True) or is called with (rows done, rows) after each row.
    Ctrl-C stops after the current row and returns the rows done, marked
    incomplete (or raises KeyboardInterrupt when none is done).
    """
    plan = Plan(Spot.of(game, hands, board, dead), seat, exact, target_error, max_samples, seed, threads)
    if progress is True:
        bar = RowBar(len(plan.holdings))
        try:
            return plan.run(bar.update)
        finally:
            bar.close()
    return plan.run(None if progress is False else progress)


def row_seed(seed: int, row: int) -> int:
    """The seed row `row` of a sampled breakdown starts from; row 0 uses `seed` itself."""
    return batch_seed_for_chunk(chunk_seed(seed, row * _ROW_STRIDE))


class Plan:
    """A checked breakdown question: the holdings, their deal counts and how to answer each."""

    def __init__(
        self,
        spot: Spot,
        seat: int,
        exact: Optional[bool],
        target_error: Optional[float],
        max_samples: Optional[int],
        seed: int,
        threads: int,
    ) -> None:
        _check(exact, None, target_error, max_samples, None, seed, threads)
        if not 0 <= seat < len(spot.hands):
            raise ValueError(f"seat must be from 0 to {len(spot.hands) - 1}, the seats of the spot")
        # The engine checks the whole question first, with its own messages.
        vantor.chunk_from_text(spot.game, spot.hands, spot.board, spot.dead, 0)
        self.spot = spot
        self.seat = seat
        self.exact = exact
        self.max_samples = max_samples
        self.target_error = target_error
        if target_error is None and max_samples is None:
            self.target_error = DEFAULT_ROW_TARGET_ERROR
        self.seed = seed
        self.threads = threads
        self.holdings = holdings(spot, seat)
        self.texts = [holding_text(h) for h in self.holdings]
        # Razz gives a seat of one holding a fixed suit when every seat has one
        # holding; a row must be dealt with the field's unfixed suits, or its deal
        # count would not be its share of the field's. Two copies of the holding
        # keep the suits free and double every count.
        self.copies = 1
        if spot.game == "razz" and len(self.holdings) > 1:
            others = [holdings(spot, j) for j in range(len(spot.hands)) if j != seat]
            if all(len(h) == 1 for h in others):
                self.copies = 2
        self.counts: Optional[List[int]] = None
        self.weighing_error: Optional[TooMuchToWeigh] = None
        try:
            self.counts = count_deals(spot, seat, self.holdings)
        except TooMuchToWeigh as e:
            self.weighing_error = e
        self.walking = self._walking(exact is False or target_error is not None)

    def _walking(self, sampling: bool) -> bool:
        if self.exact:
            if self.counts is not None and max(self.counts) * self.copies > WALK_LIMIT:
                raise TooManyDeals("too many deals to walk a holding exactly; give target_error to sample instead")
            return True
        if sampling:
            self._need_counts()
            return False
        if self.counts is None:
            return True
        return sum(self.counts) * self.copies <= WALK_LIMIT

    def _need_counts(self) -> None:
        if self.weighing_error is not None and len(self.holdings) > 1:
            raise self.weighing_error

    def row_spot(self, k: int, copies: int = 1) -> Spot:
        hands = list(self.spot.hands)
        hands[self.seat] = ", ".join([self.texts[k]] * copies)
        return Spot(self.spot.game, tuple(hands), self.spot.board, self.spot.dead)

    def answer(self, k: int) -> Tuple[Optional[Equity], Optional[int]]:
        """Row k's answer and deal count; no answer when no deal gives the seat this holding."""
        if self.counts is not None and self.counts[k] == 0:
            return None, 0
        if self.walking:
            try:
                walked = walk(self.row_spot(k, self.copies))
            except ValueError:
                # The holding clashes with the board, the dead cards or another seat.
                return None, 0
            if walked is not None:
                deals = walked.samples // self.copies
                return (walked if deals else None), deals
            if self.exact:
                raise TooManyDeals("too many deals to walk a holding exactly; give target_error to sample instead")
            self._need_counts()
        sampled = sample_until(
            self.row_spot(k),
            target_error=self.target_error,
            max_samples=self.max_samples,
            seed=row_seed(self.seed, k),
            threads=self.threads,
        )
        return sampled, None if self.counts is None else self.counts[k]

    def run(self, on_row: Optional[OnRow] = None, stop: Optional[threading.Event] = None) -> Breakdown:
        """Answers every row in order; stops early, returning the rows done marked incomplete,
        on Ctrl-C or when `stop` is set (KeyboardInterrupt when no row is done)."""
        done: List[Tuple[Optional[Equity], Optional[int]]] = []
        total = len(self.holdings)
        try:
            for answer in self._answers(stop):
                done.append(answer)
                if on_row is not None:
                    on_row(len(done), total)
        except KeyboardInterrupt:
            if not done:
                raise
        if len(done) < total and not done:
            raise KeyboardInterrupt
        return self.finish(done, complete=len(done) == total)

    def _answers(self, stop: Optional[threading.Event]) -> Any:
        total = len(self.holdings)
        if not self.walking or total == 1:
            for k in range(total):
                if stop is not None and stop.is_set():
                    return
                yield self.answer(k)
            return
        # Each walk runs on one thread with the interpreter lock released, so rows
        # walk side by side; they are handed back in order.
        workers = self.threads or vantor.default_thread_count()
        pool = ThreadPoolExecutor(max_workers=workers)
        try:
            futures: List[Future[Tuple[Optional[Equity], Optional[int]]]] = [
                pool.submit(self.answer, k) for k in range(total)
            ]
            for future in futures:
                while True:
                    if stop is not None and stop.is_set():
                        return
                    try:
                        yield future.result(timeout=0.1)
                        break
                    except StillRunning:
                        continue
        finally:
            pool.shutdown(wait=False, cancel_futures=True)

    def finish(self, done: Sequence[Tuple[Optional[Equity], Optional[int]]], complete: bool) -> Breakdown:
        counted = [deals for answer, deals in done if answer is not None]
        whole = sum(d for d in counted if d is not None)
        rows = []
        for k, (answer, deals) in enumerate(done):
            if answer is None:
                rows.append(Row(self.texts[k], 0.0, deals, None, None, None, None, None, None, 0, False))
                continue
            if deals is None:
                weight = 1.0  # the field's only holding
            else:
                weight = deals / whole if whole else 0.0
            mine = answer.seats[self.seat]
            rows.append(Row(
                self.texts[k], weight, deals, mine.equity, mine.win, mine.tie, mine.low_equity, mine.scoop,
                mine.std_error, answer.samples // (self.copies if answer.exact else 1), answer.exact,
            ))
        return Breakdown(self.spot, self.seat, tuple(rows), complete)


class RowBar:
    """A progress bar over the rows on standard error, shown only past a short delay."""

    def __init__(self, total: int) -> None:
        import sys

        from .progress import Tqdm

        self._bar = Tqdm(total=total, unit=" holdings", file=sys.stderr, leave=False,
                         dynamic_ncols=True, delay=0.25, mininterval=0)

    def update(self, done: int, total: int) -> None:
        self._bar.update(done - self._bar.n)

    def close(self) -> None:
        self._bar.close()


def two_card_game(game: str) -> bool:
    """Whether the game deals two hole cards, so that its fields have a starting-hand grid."""
    found = find_game(game)
    return found is not None and found.hole_cards == 2
