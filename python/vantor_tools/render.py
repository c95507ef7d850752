"""Equity answers as a text table and as an HTML table."""

from __future__ import annotations

import html as _html
from typing import List, Optional, Tuple

from .result import Equity
from .spot import find_game


def describe(result: Equity, seconds: Optional[float] = None) -> str:
    """One line: the game, board, dead cards, deal count, exact or sampled, and the timing if known."""
    spot = result.spot
    game = find_game(spot.game)
    parts = [game.label if game else spot.game]
    if spot.board.strip():
        parts.append(f"board {spot.board.strip()}")
    elif game is None or game.board_cards:
        parts.append("no board cards")
    if spot.dead.strip():
        parts.append(f"dead {spot.dead.strip()}")
    deals = "deal" if result.samples == 1 else "deals"
    line = ", ".join(parts) + f": {result.samples:,} {deals}, " + ("exact" if result.exact else "sampled")
    if seconds is not None:
        line += f", {_duration(seconds)}"
        if seconds > 0:
            line += f", {_count(result.samples / seconds)} deals/s"
    return line


def columns(result: Equity) -> List[Tuple[str, List[str]]]:
    """The table's columns, each a heading and one cell per seat."""
    seats = result.seats
    cols = [
        ("seat", [str(i) for i in range(1, len(seats) + 1)]),
        ("hand", [seat.hand for seat in seats]),
        ("equity", [_percent(seat.equity) for seat in seats]),
    ]
    if not result.exact:
        cols.append(("±", [_percent(seat.std_error) for seat in seats]))
    cols += [("win", [_percent(seat.win) for seat in seats]), ("tie", [_percent(seat.tie) for seat in seats])]
    game = find_game(result.spot.game)
    if game is not None and game.hi_lo:
        cols += [
            ("high", [_percent(seat.high_equity) for seat in seats]),
            ("low", [_percent(seat.low_equity) for seat in seats]),
            ("scoop", [_percent(seat.scoop) for seat in seats]),
        ]
    return cols


def table(result: Equity) -> str:
    """The seats as an aligned text table, a heading line first."""
    cols = columns(result)
    widths = [max(len(head), *(len(cell) for cell in cells)) for head, cells in cols]

    def line(cells: List[str]) -> str:
        # The hand column is left-aligned text; every other column is numbers.
        out = [c.ljust(w) if head == "hand" else c.rjust(w) for c, w, (head, _) in zip(cells, widths, cols)]
        return "  ".join(out).rstrip()

    rows = [line([head for head, _ in cols])]
    rows += [line([cells[i] for _, cells in cols]) for i in range(len(result.seats))]
    return "\n".join(rows)


def text(result: Equity, seconds: Optional[float] = None) -> str:
    """The describing line, then the table."""
    return describe(result, seconds) + "\n" + table(result)


def html(result: Equity) -> str:
    """The table as HTML, the describing line as its caption."""
    cols = columns(result)
    head = "".join(f"<th>{_html.escape(h)}</th>" for h, _ in cols)
    body = "".join(
        "<tr>" + "".join(f"<td>{_html.escape(cells[i])}</td>" for _, cells in cols) + "</tr>"
        for i in range(len(result.seats))
    )
    caption = _html.escape(describe(result))
    return f"<table><caption>{caption}</caption><thead><tr>{head}</tr></thead><tbody>{body}</tbody></table>"


def _percent(x: float) -> str:
    return f"{x:.2%}"


def _duration(seconds: float) -> str:
    return f"{seconds * 1000:.2f} ms" if seconds < 1 else f"{seconds:.2f} s"


def _count(x: float) -> str:
    for size, suffix in ((1e9, "G"), (1e6, "M"), (1e3, "k")):
        if x >= size:
            return f"{x / size:.3g}{suffix}"
    return f"{x:.3g}"


