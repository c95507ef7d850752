"""What a question is about: the game, the seats' hand fields, the board and the dead cards."""

from __future__ import annotations

import functools
from dataclasses import dataclass
from typing import Dict, Optional, Sequence, Tuple

import vantor


@dataclass(frozen=True)
class Game:
    """One row of `vantor.variants()`."""

    key: str
    label: str
    hole_cards: int
    board_cards: int

    @property
    def hi_lo(self) -> bool:
        """Whether the pot is split between the best high and the best low hand."""
        return self.key.endswith("_hi_lo")

    @property
    def short_hands(self) -> bool:
        """Whether a hand field may name fewer cards than are dealt (the games without a board)."""
        return self.board_cards == 0


@functools.lru_cache(maxsize=None)
def _games() -> Dict[str, Game]:
    return {
        row["key"]: Game(row["key"], row["label"], row["hole_cards"], row["board_cards"])
        for row in vantor.variants()
    }


def games() -> Tuple[Game, ...]:
    """Every game, in the module's order."""
    return tuple(_games().values())


def find_game(key: str) -> Optional[Game]:
    """The game with this key, or None when the module has no such game."""
    return _games().get(key)


@dataclass(frozen=True)
class Spot:
    """An equity question in the module's text notation: one hand field per seat."""

    game: str
    hands: Tuple[str, ...]
    board: str = ""
    dead: str = ""

    @classmethod
    def of(cls, game: str, hands: Sequence[str], board: str = "", dead: str = "") -> Spot:
        # A lone string would otherwise be read as one seat per character.
        if isinstance(hands, str):
            raise TypeError("hands must be a sequence of hand fields, one per seat, not one str")
        return cls(game, tuple(hands), board, dead)
