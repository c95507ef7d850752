"""A breakdown as text, as plain values for JSON, and as HTML (a fragment for Jupyter, or a
self-contained page): the starting-hand grid coloured from red (low equity) to green (high),
the per-holding table beneath it."""

from __future__ import annotations

import html as _html
from typing import TYPE_CHECKING, Any, Dict, List, Optional, Tuple

from .grid import grid_text, layout
from .render import _duration
from .spot import find_game

if TYPE_CHECKING:
    from .breakdown import Breakdown, Row


def _hi_lo(b: Breakdown) -> bool:
    game = find_game(b.spot.game)
    return game is not None and game.hi_lo


def describe(b: Breakdown, seconds: Optional[float] = None) -> str:
    """One line: the game, board, dead cards, the seat and its rivals, and how it was answered."""
    spot = b.spot
    game = find_game(spot.game)
    parts = [game.label if game else spot.game]
    if spot.board.strip():
        parts.append(f"board {spot.board.strip()}")
    elif game is None or game.board_cards:
        parts.append("no board cards")
    if spot.dead.strip():
        parts.append(f"dead {spot.dead.strip()}")
    rivals = "; ".join(hand for j, hand in enumerate(spot.hands) if j != b.seat)
    total = len(b.rows)
    line = (f"{', '.join(parts)}: seat {b.seat + 1} ({spot.hands[b.seat]}) against {rivals}: "
            f"{total:,} holding{'' if total == 1 else 's'}, {'exact' if b.exact else 'sampled'}, "
            f"{b.samples:,} deals")
    if seconds is not None:
        line += f", {_duration(seconds)}"
    return line


def _percent(x: Optional[float]) -> str:
    return "-" if x is None else f"{x:.2%}"


def columns(b: Breakdown) -> List[Tuple[str, List[str]]]:
    """The per-holding table's columns, each a heading and one cell per row."""
    rows = b.rows
    cols = [
        ("holding", [row.holding for row in rows]),
        ("weight", [_percent(row.weight) for row in rows]),
        ("equity", [_percent(row.equity) for row in rows]),
    ]
    if not b.exact:
        cols.append(("±", [_percent(row.std_error) for row in rows]))
    cols += [("win", [_percent(row.win) for row in rows]), ("tie", [_percent(row.tie) for row in rows])]
    if _hi_lo(b):
        cols += [
            ("high", [_percent(row.high_equity) for row in rows]),
            ("low", [_percent(row.low_equity) for row in rows]),
            ("scoop", [_percent(row.scoop) for row in rows]),
        ]
    return cols


def table(b: Breakdown) -> str:
    """The rows as an aligned text table, a heading line first."""
    cols = columns(b)
    widths = [max(len(head), *(len(cell) for cell in cells)) for head, cells in cols]

    def line(cells: List[str]) -> str:
        out = [c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(cells, widths))]
        return "  ".join(out).rstrip()

    lines = [line([head for head, _ in cols])]
    lines += [line([cells[i] for _, cells in cols]) for i in range(len(b.rows))]
    return "\n".join(lines)


def summary(b: Breakdown) -> str:
    """The seat's equity over the whole field (the weighted mean of the rows)."""
    line = f"seat {b.seat + 1} equity {_percent(b.equity)}"
    if not b.exact and b.std_error is not None:
        line += f" ± {_percent(b.std_error)}"
    if not b.complete:
        line += " over the holdings done so far (interrupted)"
    return line


def text(b: Breakdown, seconds: Optional[float] = None, grid: bool = False) -> str:
    """The describing line, the seat's equity, then the grid or the table of rows."""
    body = grid_text(b) if grid else table(b)
    return "\n".join([describe(b, seconds), summary(b), body])


def _row_dict(row: Row, hi_lo: bool) -> Dict[str, Any]:
    out: Dict[str, Any] = {
        "holding": row.holding,
        "weight": row.weight,
        "deals": row.deals,
        "equity": row.equity,
        "win": row.win,
        "tie": row.tie,
    }
    if hi_lo:
        out.update(high=row.high_equity, low=row.low_equity, scoop=row.scoop)
    out.update(std_error=row.std_error, samples=row.samples, exact=row.exact)
    return out


def to_dict(b: Breakdown) -> Dict[str, Any]:
    """The breakdown as plain values: seats numbered from 0, percentages as fractions."""
    hi_lo = _hi_lo(b)
    grid = None
    if b.grid is not None:
        grid = {name: {"equity": cell.equity, "share": cell.share, "std_error": cell.std_error,
                       "combos": cell.combos} for name, cell in b.grid.items()}
    return {
        "game": b.spot.game,
        "hands": list(b.spot.hands),
        "board": b.spot.board,
        "dead": b.spot.dead,
        "seat": b.seat,
        "complete": b.complete,
        "exact": b.exact,
        "equity": b.equity,
        "std_error": b.std_error,
        "samples": b.samples,
        "rows": [_row_dict(row, hi_lo) for row in b.rows],
        "grid": grid,
    }


def colour(equity: float) -> str:
    """Red at 0, through yellow, to green at 1."""
    hue = 120 * min(max(equity, 0.0), 1.0)
    return f"hsl({hue:.0f}, 75%, 62%)"


_CELL = ("width:3.6em;height:3.1em;text-align:center;vertical-align:middle;border:1px solid #fff;"
         "font-size:12px;line-height:1.25;padding:1px;")


def grid_html(b: Breakdown) -> str:
    """The grid as an HTML table: class, equity and share of the field in every cell."""
    grid = b.grid
    if grid is None:
        return ""
    out = ['<table style="border-collapse:collapse;font-family:sans-serif;margin-bottom:1em">']
    for line in layout(b.spot.game):
        out.append("<tr>")
        for name in line:
            cell = grid[name]
            if cell.equity is None:
                out.append(f'<td style="{_CELL}background:#eee;color:#999">{name}</td>')
                continue
            tip = f"{name}: equity {cell.equity:.2%}, {cell.share:.2%} of the field, {cell.combos} combos"
            out.append(
                f'<td title="{_html.escape(tip)}" style="{_CELL}background:{colour(cell.equity)};color:#111">'
                f"<b>{name}</b><br>{cell.equity * 100:.1f}<br>"
                f'<span style="font-size:10px;color:#333">{cell.share * 100:.2f}%</span></td>'
            )
        out.append("</tr>")
    out.append("</table>")
    return "".join(out)


def rows_html(b: Breakdown) -> str:
    """The per-holding table as HTML."""
    cols = columns(b)
    style = "padding:2px 8px;text-align:right;font-family:monospace"
    head = "".join(f'<th style="{style}">{_html.escape(h)}</th>' for h, _ in cols)
    body = "".join(
        "<tr>" + "".join(f'<td style="{style}">{_html.escape(cells[i])}</td>' for _, cells in cols) + "</tr>"
        for i in range(len(b.rows))
    )
    return f'<table style="border-collapse:collapse"><thead><tr>{head}</tr></thead><tbody>{body}</tbody></table>'


def fragment(b: Breakdown) -> str:
    """The caption, the grid (in the two-card games) and the per-holding table, for Jupyter."""
    caption = f"<p style=\"font-family:sans-serif\">{_html.escape(describe(b))}<br>{_html.escape(summary(b))}</p>"
    return f"<div>{caption}{grid_html(b)}{rows_html(b)}</div>"


def page(b: Breakdown) -> str:
    """A self-contained HTML page of the breakdown."""
    title = _html.escape(f"{b.spot.game}: seat {b.seat + 1} ({b.spot.hands[b.seat]})")
    return (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>{title}</title></head>'
            f'<body style="font-family:sans-serif;margin:16px">{fragment(b)}</body></html>\n')


