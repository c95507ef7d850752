"""Equity answers as a text table and as an HTML table."""

from __future__ import annotations

import html as _html
from typing import List, Optional, Protocol, Sequence, Tuple

from .result import Equity
from .spot import Spot, find_game


def describe(result: Equity, seconds: Optional[float] = None) -> str:
    """One line: the game, board, dead cards, deal count, exact or sampled, and the timing if known."""
    parts = spot_parts(result.spot)
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
    head = [("seat", [str(i) for i in range(1, len(seats) + 1)]), ("hand", [seat.hand for seat in seats])]
    game = find_game(result.spot.game)
    return head + result_columns(seats, result.exact, game is not None and game.hi_lo)


def table(result: Equity) -> str:
    """The seats as an aligned text table, a heading line first."""
    return text_table(columns(result), left="hand")


def text(result: Equity, seconds: Optional[float] = None) -> str:
    """The describing line, then the table."""
    return describe(result, seconds) + "\n" + table(result)


def html(result: Equity) -> str:
    """The table as HTML, the describing line as its caption."""
    caption = _html.escape(describe(result))
    return f"<table><caption>{caption}</caption>{html_rows(columns(result))}</table>"


# --- shared by the equity table here and the breakdown table in report.py -------------


class Answered(Protocol):
    """A seat's answer or a breakdown row: what the result columns show."""

    @property
    def equity(self) -> Optional[float]: ...
    @property
    def std_error(self) -> Optional[float]: ...
    @property
    def win(self) -> Optional[float]: ...
    @property
    def tie(self) -> Optional[float]: ...
    @property
    def high_equity(self) -> Optional[float]: ...
    @property
    def low_equity(self) -> Optional[float]: ...
    @property
    def scoop(self) -> Optional[float]: ...


def spot_parts(spot: Spot) -> List[str]:
    """The game's label, then the board (or that there is none) and the dead cards if any."""
    game = find_game(spot.game)
    parts = [game.label if game else spot.game]
    if spot.board.strip():
        parts.append(f"board {spot.board.strip()}")
    elif game is None or game.board_cards:
        parts.append("no board cards")
    if spot.dead.strip():
        parts.append(f"dead {spot.dead.strip()}")
    return parts


def result_columns(items: Sequence[Answered], exact: bool, hi_lo: bool) -> List[Tuple[str, List[str]]]:
    """Equity, its standard error when sampled, win and tie, and the hi/lo split in hi/lo games."""
    cols = [("equity", [percent(x.equity) for x in items])]
    if not exact:
        cols.append(("±", [percent(x.std_error) for x in items]))
    cols += [("win", [percent(x.win) for x in items]), ("tie", [percent(x.tie) for x in items])]
    if hi_lo:
        cols += [
            ("high", [percent(x.high_equity) for x in items]),
            ("low", [percent(x.low_equity) for x in items]),
            ("scoop", [percent(x.scoop) for x in items]),
        ]
    return cols


def text_table(cols: List[Tuple[str, List[str]]], left: str) -> str:
    """Columns as aligned text, a heading line first: the column headed `left` is text,
    aligned left; every other column is numbers, aligned right."""
    widths = [max(len(head), *(len(cell) for cell in cells)) for head, cells in cols]

    def line(cells: List[str]) -> str:
        out = [c.ljust(w) if head == left else c.rjust(w) for c, w, (head, _) in zip(cells, widths, cols)]
        return "  ".join(out).rstrip()

    rows = [line([head for head, _ in cols])]
    rows += [line([cells[i] for _, cells in cols]) for i in range(len(cols[0][1]))]
    return "\n".join(rows)


def html_rows(cols: List[Tuple[str, List[str]]], style: str = "") -> str:
    """Columns as an HTML table's head and body, every cell given `style` if any."""
    attr = f' style="{style}"' if style else ""
    head = "".join(f"<th{attr}>{_html.escape(h)}</th>" for h, _ in cols)
    body = "".join(
        "<tr>" + "".join(f"<td{attr}>{_html.escape(cells[i])}</td>" for _, cells in cols) + "</tr>"
        for i in range(len(cols[0][1]))
    )
    return f"<thead><tr>{head}</tr></thead><tbody>{body}</tbody>"


def percent(x: Optional[float]) -> str:
    """A fraction as a percentage with two decimals; "-" for no value."""
    return "-" if x is None else f"{x:.2%}"


def _duration(seconds: float) -> str:
    return f"{seconds * 1000:.2f} ms" if seconds < 1 else f"{seconds:.2f} s"


def _count(x: float) -> str:
    for size, suffix in ((1e9, "G"), (1e6, "M"), (1e3, "k")):
        if x >= size:
            return f"{x / size:.3g}{suffix}"
    return f"{x:.3g}"


