"""A breakdown as text, as plain values for JSON, and as HTML (a fragment for Jupyter, or a
self-contained page): the starting-hand grid coloured from red (low equity) to green (high),
the per-holding table beneath it."""

from __future__ import annotations

import html as _html
from typing import TYPE_CHECKING, Any, Dict, List, Optional, Tuple

from .grid import grid_text, layout
from .render import _duration, html_rows, percent, result_columns, spot_parts, text_table
from .spot import find_game

if TYPE_CHECKING:
    from .breakdown import Breakdown, Row


def _hi_lo(b: Breakdown) -> bool:
    game = find_game(b.spot.game)
    return game is not None and game.hi_lo


def describe(b: Breakdown, seconds: Optional[float] = None) -> str:
    """One line: the game, board, dead cards, the seat and its rivals, and how it was answered."""
    spot = b.spot
    parts = spot_parts(spot)
    rivals = "; ".join(hand for j, hand in enumerate(spot.hands) if j != b.seat)
    total = len(b.rows)
    line = (f"{', '.join(parts)}: seat {b.seat + 1} ({spot.hands[b.seat]}) against {rivals}: "
            f"{total:,} holding{'' if total == 1 else 's'}, {'exact' if b.exact else 'sampled'}, "
            f"{b.samples:,} deals")
    if seconds is not None:
        line += f", {_duration(seconds)}"
    return line


def columns(b: Breakdown) -> List[Tuple[str, List[str]]]:
    """The per-holding table's columns, each a heading and one cell per row."""
    rows = b.rows
    head = [("holding", [row.holding for row in rows]), ("weight", [percent(row.weight) for row in rows])]
    return head + result_columns(rows, b.exact, _hi_lo(b))


def table(b: Breakdown) -> str:
    """The rows as an aligned text table, a heading line first."""
    return text_table(columns(b), left="holding")


def summary(b: Breakdown) -> str:
    """The seat's equity over the whole field (the weighted mean of the rows)."""
    line = f"seat {b.seat + 1} equity {percent(b.equity)}"
    if not b.exact and b.std_error is not None:
        line += f" ± {percent(b.std_error)}"
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
    style = "padding:2px 8px;text-align:right;font-family:monospace"
    return f'<table style="border-collapse:collapse">{html_rows(columns(b), style)}</table>'


def fragment(b: Breakdown) -> str:
    """The caption, the grid (in the two-card games) and the per-holding table, for Jupyter."""
    caption = f"<p style=\"font-family:sans-serif\">{_html.escape(describe(b))}<br>{_html.escape(summary(b))}</p>"
    return f"<div>{caption}{grid_html(b)}{rows_html(b)}</div>"


def page(b: Breakdown) -> str:
    """A self-contained HTML page of the breakdown."""
    title = _html.escape(f"{b.spot.game}: seat {b.seat + 1} ({b.spot.hands[b.seat]})")
    return (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>{title}</title></head>'
            f'<body style="font-family:sans-serif;margin:16px">{fragment(b)}</body></html>\n')


