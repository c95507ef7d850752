"""Every function of vantor, used as a typed program would use it.

test_typing.py runs this file and checks it with `mypy --strict`. The lines
marked `type: ignore[...]` are mistakes the stub must catch: under --strict an
ignore that suppresses nothing is itself an error.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, List, Optional

import vantor

if TYPE_CHECKING:
    from vantor import EquityResult, PlayerEquity, VariantEntry


def equities(result: EquityResult) -> List[float]:
    players: List[PlayerEquity] = result["players"]
    return [p["equity"] for p in players]


def main() -> None:
    games: List[VariantEntry] = vantor.variants()
    holdem = games[0]
    key: str = holdem["key"]
    hole: int = holdem["hole_cards"]
    deck: int = holdem["deck"] & vantor.full_deck()
    assert key == "holdem" and hole == 2 and deck == vantor.full_deck()

    threads: int = vantor.default_thread_count()
    ace: int = vantor.card_index("As")
    name: str = vantor.card_name(ace)
    dead: int = vantor.parse_dead_cards("2c")
    field: List[List[int]] = vantor.parse_hand_field("AhKh", 2)
    short: List[List[int]] = vantor.parse_hand_field("Ah", 2, allow_short=True)
    scores: List[int] = vantor.score_batch("high", ["AsKsQsJsTs"])
    assert name == "As" and dead == 1 and scores == [0] and len(short[0]) == 1

    sampled: EquityResult = vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=2000,
                                                   seed=1, threads=threads)
    masked: EquityResult = vantor.chunk("holdem", [field, [[1 << 49, 1 << 45]]], [], dead, 2000)
    walked: Optional[EquityResult] = vantor.exact_from_text("holdem", ["AhKh", "QsQd"],
                                                            "Kd 7c 2h 9s")
    flop = [1 << 20, 1 << 24, 1 << 28]
    masked_walk: Optional[EquityResult] = vantor.exact("holdem", [field, [[1 << 49, 1 << 45]]],
                                                       flop, dead)
    assert walked is not None and masked_walk is not None
    samples: int = sampled["samples"]
    exact: bool = walked["exact"]
    error: float = sampled["players"][0]["std_error"]
    counts: List[float] = masked["win_count"]
    assert samples == 2000 and exact and error > 0 and len(counts) == 2
    assert abs(sum(equities(walked)) - 1.0) < 1e-9 and masked_walk["players"][0]["tie"] > 0.5


def mistakes(sampled: EquityResult, walked: EquityResult) -> None:
    """Never run: each line is an error the stub must let mypy report."""
    sampled["equity"]  # type: ignore[typeddict-item]
    walked["players"][0]["equty"]  # type: ignore[typeddict-item]
    vantor.card_name("As")  # type: ignore[arg-type]
    vantor.chunk_from_text("holdem", "AhKh QsQd", samples="many")  # type: ignore[arg-type]
    vantor.exact_from_text("holdem", ["AhKh", "QsQd"])["exact"]  # type: ignore[index]


if __name__ == "__main__":
    main()
