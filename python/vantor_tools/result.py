"""An equity answer kept as the engine's raw sums, so that answers merge exactly."""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from typing import Any, Dict, Iterable, List, Mapping, Tuple

from .spot import Spot

# The per-seat sums of the module's result dictionary, in its order.
SUM_KEYS = (
    "share_sum",
    "share_square_sum",
    "square_weight_share_sum",
    "low_share_sum",
    "win_count",
    "tie_count",
    "scoop_count",
    "high_win_count",
    "high_tie_count",
    "low_win_count",
    "low_tie_count",
)


@dataclass(frozen=True)
class Seat:
    """One seat's answer; `std_error` is the standard error of `equity` (0 when exact)."""

    hand: str
    equity: float
    win: float
    tie: float
    low_equity: float
    scoop: float
    high_win: float
    high_tie: float
    low_win: float
    low_tie: float
    std_error: float

    @property
    def high_equity(self) -> float:
        """The share of the pot won through the high half (all of it in high-only games)."""
        return self.equity - self.low_equity

    def to_dict(self) -> Dict[str, float]:
        """The module's per-seat dictionary."""
        return {
            "equity": self.equity,
            "win": self.win,
            "tie": self.tie,
            "low_equity": self.low_equity,
            "scoop": self.scoop,
            "high_win": self.high_win,
            "high_tie": self.high_tie,
            "low_win": self.low_win,
            "low_tie": self.low_tie,
            "std_error": self.std_error,
        }


Sums = Tuple[float, ...]


@dataclass(frozen=True)
class Equity:
    """The answer to one spot: the engine's raw sums, and the per-seat `seats` derived from them.

    Prints as a table, renders as HTML in Jupyter, converts to the module's
    dictionary with `to_dict()`, and merges with other answers to the same spot
    exactly as one accumulator would have recorded all their deals.
    """

    spot: Spot
    samples: int
    exact: bool
    attempts: int
    weighted: bool
    weight_sum: float
    weight_square_sum: float
    share_sum: Sums
    share_square_sum: Sums
    square_weight_share_sum: Sums
    low_share_sum: Sums
    win_count: Sums
    tie_count: Sums
    scoop_count: Sums
    high_win_count: Sums
    high_tie_count: Sums
    low_win_count: Sums
    low_tie_count: Sums
    seats: Tuple[Seat, ...] = field(init=False, repr=False, compare=False)

    def __post_init__(self) -> None:
        object.__setattr__(self, "seats", _seats(self))

    @classmethod
    def from_dict(cls, spot: Spot, result: Mapping[str, Any]) -> Equity:
        """Wraps a result dictionary of the module for `spot`."""
        return cls(
            spot,
            result["samples"],
            result["exact"],
            result["attempts"],
            result["weighted"],
            result["weight_sum"],
            result["weight_square_sum"],
            *(tuple(result[key]) for key in SUM_KEYS),
        )

    def to_dict(self) -> Dict[str, Any]:
        """The module's result dictionary for these sums, key for key and bit for bit."""
        w, w2 = self.weight_sum, self.weight_square_sum
        out: Dict[str, Any] = {
            "samples": self.samples,
            "exact": self.exact,
            "attempts": self.attempts,
            "acceptance": float(self.samples) / float(self.attempts) if self.attempts else 1.0,
            "weighted": self.weighted,
            "weight_sum": w,
            "weight_square_sum": w2,
            "effective_samples": w * w / w2 if w2 > 0 else 0.0,
        }
        for key in SUM_KEYS:
            out[key] = list(getattr(self, key))
        out["players"] = [seat.to_dict() for seat in self.seats]
        return out

    @property
    def worst_error(self) -> float:
        """The largest standard error of any seat's equity."""
        return max(seat.std_error for seat in self.seats)

    def merge(self, other: Equity) -> Equity:
        """The answer for the deals of both, as if one accumulator had recorded them all."""
        return Equity.merge_all((self, other))

    @staticmethod
    def merge_all(results: Iterable[Equity]) -> Equity:
        """Merges answers to one spot in the given order (the order fixes the rounding)."""
        items = iter(results)
        first = next(items, None)
        if first is None:
            raise ValueError("merge_all needs at least one result")
        samples, exact, attempts, weighted = first.samples, first.exact, first.attempts, first.weighted
        w, w2 = first.weight_sum, first.weight_square_sum
        sums: List[List[float]] = [list(getattr(first, key)) for key in SUM_KEYS]
        for item in items:
            if item.spot != first.spot:
                raise ValueError("only answers to the same spot merge")
            # An empty answer neither sets nor clears the exact flag of a non-empty one.
            if samples == 0:
                exact = item.exact
            elif item.samples > 0:
                exact = exact and item.exact
            samples += item.samples
            attempts += item.attempts
            weighted = weighted or item.weighted
            w += item.weight_sum
            w2 += item.weight_square_sum
            for total, key in zip(sums, SUM_KEYS):
                for j, value in enumerate(getattr(item, key)):
                    total[j] += value
        return Equity(first.spot, samples, exact, attempts, weighted, w, w2, *map(tuple, sums))

    def __str__(self) -> str:
        from .render import text

        return text(self)

    def __repr__(self) -> str:
        equities = ", ".join(f"{seat.equity:.4f}" for seat in self.seats)
        return (
            f"Equity(game={self.spot.game!r}, hands={self.spot.hands!r}, board={self.spot.board!r}, "
            f"dead={self.spot.dead!r}, samples={self.samples}, exact={self.exact}, "
            f"equities=({equities}))"
        )

    def _repr_html_(self) -> str:
        from .render import html

        return html(self)


def _seats(r: Equity) -> Tuple[Seat, ...]:
    # The engine's own arithmetic, operation for operation, so that the values
    # match its dictionary to the last bit.
    w2 = r.weight_square_sum
    c = r.weight_sum if r.weight_sum > 0 else float(max(r.samples, 1))
    spread = not r.exact and r.samples >= 2
    seats = []
    for j, hand in enumerate(r.spot.hands):
        e = r.share_sum[j] / c
        std_error = 0.0
        if spread:
            v = e * e * w2 + (r.share_square_sum[j] - 2 * e * r.square_weight_share_sum[j])
            std_error = math.sqrt(max(v, 0.0)) / c
        seats.append(
            Seat(
                hand,
                e,
                r.win_count[j] / c,
                r.tie_count[j] / c,
                r.low_share_sum[j] / c,
                r.scoop_count[j] / c,
                r.high_win_count[j] / c,
                r.high_tie_count[j] / c,
                r.low_win_count[j] / c,
                r.low_tie_count[j] / c,
                std_error,
            )
        )
    return tuple(seats)
