"""The starting-hand grid of the two-card games: pairs on the diagonal, suited hands above
it, offsuit hands below, the highest rank first (13 by 13 in hold'em, 9 by 9 in short deck)."""

from __future__ import annotations

import math
import re
from typing import TYPE_CHECKING, Dict, List, Optional

from .deals import RANKS, deck_of
from .spot import find_game

if TYPE_CHECKING:
    from .breakdown import Breakdown, Cell, Row

_COMBO = re.compile(r"^([2-9TJQKA])([cdhs])([2-9TJQKA])([cdhs])$")


def ranks(game: str) -> str:
    """The ranks of the game's deck, highest first."""
    deck = deck_of(game)
    return "".join(r for i, r in reversed(list(enumerate(RANKS))) if deck >> (4 * i) & 1)


def layout(game: str) -> List[List[str]]:
    """The class names of the grid, row by row."""
    order = ranks(game)
    return [
        [a + b if i == j else (a + b + "s" if i < j else b + a + "o") for j, b in enumerate(order)]
        for i, a in enumerate(order)
    ]


def class_of(holding: str) -> Optional[str]:
    """The starting-hand class of a holding of two named cards ("AhKh" is "AKs"), else None."""
    found = _COMBO.match(holding)
    if found is None:
        return None
    a, s, b, t = found.groups()
    if a == b:
        return a + b
    if RANKS.index(a) < RANKS.index(b):
        a, b = b, a
    return a + b + ("s" if s == t else "o")


def cells(b: Breakdown) -> Optional[Dict[str, Cell]]:
    """The grid of a breakdown in a two-card game: every class of the deck, in grid order;
    None in the other games."""
    from .breakdown import Cell

    game = find_game(b.spot.game)
    if game is None or game.hole_cards != 2:
        return None
    names = [name for line in layout(b.spot.game) for name in line]
    members: Dict[str, List[Row]] = {name: [] for name in names}
    for row in b.rows:
        name = class_of(row.holding)
        if name is not None and name in members:
            members[name].append(row)
    out: Dict[str, Cell] = {}
    for name in names:
        rows = members[name]
        share = sum(row.weight for row in rows)
        counted = [row for row in rows if row.weight > 0 and row.equity is not None]
        if share > 0 and counted:
            equity: Optional[float] = sum(row.weight * (row.equity or 0.0) for row in counted) / share
            error: Optional[float] = math.sqrt(sum((row.weight * (row.std_error or 0.0)) ** 2
                                                   for row in counted)) / share
        else:
            equity = error = None
        out[name] = Cell(name, equity, share, error, len(rows))
    return out


def grid_text(b: Breakdown) -> str:
    """The grid as a text table of equities in percent ("." where the field holds no combination)."""
    grid = b.grid
    if grid is None:
        raise ValueError("only the two-card games (holdem, short_deck) have a starting-hand grid")
    order = ranks(b.spot.game)
    lines = ["   " + "".join(f"{r:>6}" for r in order)]
    for i, line in enumerate(layout(b.spot.game)):
        cells_text = []
        for name in line:
            equity = grid[name].equity
            cells_text.append(f"{'.' if equity is None else f'{equity * 100:.1f}':>6}")
        lines.append(f"{order[i]:>3}" + "".join(cells_text))
    return "\n".join(lines)
