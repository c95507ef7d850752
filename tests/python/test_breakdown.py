"""Breakdowns: rows weighted by card removal add up to the whole field's answer."""

import math
import pickle
import threading
from dataclasses import replace

import pytest

import vantor
from vantor_tools import Spot, TooManyDeals, breakdown, equity
from vantor_tools.breakdown import Plan, row_seed
from vantor_tools.deals import count_deals, holding_text, holdings
from vantor_tools.report import colour, page

# Hold'em on the flop (ranges, partly named holdings, holdings that clash with
# the board and with the other seat), Omaha Hi/Lo on the turn, razz with rank
# slots (whose suits the engine would fix for a lone holding), a board with a
# suit slot, short deck and stud with a dead card.
EXACT = [
    Spot("holdem", ("TT+, AQs+, KQo, 76s, A h, Kd *", "AsKd"), "Ah 7c 2d"),
    Spot("omaha_hi_lo", ("AhAd2c3d, KsKh9s8h, 5c6c7h8h, 4c5d6h7s, Ac2d * *", "QsQdJcTc"), "4c 7d 2s 9h"),
    Spot("razz", ("As2d3c4h5s9d, Kh2c3c4d5d6d, A 2 3c 4c 5c 6c", "KhQhJdTc9s8c")),
    Spot("holdem", ("JJ+, AK, 9h8h", "QQ, T9s", "Kh Qh"), "Jc 7d h 2s"),
    Spot("short_deck", ("AA, KQs, 66, T*", "TT"), "Kd 7c 8h"),
    Spot("stud", ("As2d3c4h5s6d, 2c3d4s6h7dKs, KhAd2s3s4s5c", "KhQhJdTd9d8d", "Qc Jc Tc 9c 8c 7c"), "", "2h"),
]


def whole(spot):
    return vantor.exact_from_text(spot.game, spot.hands, spot.board, spot.dead)


@pytest.mark.parametrize("spot", EXACT, ids=lambda s: s.game)
def test_exact_rows_add_up_to_the_whole_field(spot):
    b = breakdown(spot.game, spot.hands, 0, spot.board, spot.dead)
    field = whole(spot)
    assert b.exact and b.complete
    assert (b.grid is not None) == (spot.game in ("holdem", "short_deck"))
    # One row per alternative, in order, written so the module reads it back.
    listed = holdings(spot, 0)
    assert [row.holding for row in b.rows] == [holding_text(h) for h in listed]
    game = next(g for g in vantor.variants() if g["key"] == spot.game)
    for row, h in zip(b.rows, listed):
        assert vantor.parse_hand_field(row.holding, len(h), game["board_cards"] == 0) == [list(h)]
    # The walk counts every deal once, so the deal counts add up and the weighted
    # means are the field's answer.
    assert sum(row.deals for row in b.rows) == field["samples"]
    mine = field["players"][0]
    assert abs(b.equity - mine["equity"]) < 1e-9
    for key in ("win", "tie", "low_equity", "scoop"):
        mean = sum(row.weight * getattr(row, key) for row in b.rows if row.weight)
        assert abs(mean - mine[key]) < 1e-9, key
    # Holdings no deal allows have no answer, and are no error.
    for row in b.rows:
        assert (row.weight == 0) == (row.equity is None) == (row.deals == 0)
    assert any(row.weight == 0 for row in b.rows)
    # The deals counted without walking are the walk's own.
    assert count_deals(spot, 0, listed) == [row.deals for row in b.rows]


def test_sampled_rows_add_up_to_the_whole_field():
    hands = ("QQ+, AKs, A5s, KhQh", "JJ-99, AQs+, KQs")
    b = breakdown("holdem", hands, 0, target_error=0.01, seed=3, threads=2)
    assert not b.exact and all(row.std_error <= 0.01 for row in b.rows if row.weight)
    field = equity("holdem", hands, target_error=0.001, threads=2).seats[0]
    assert abs(b.equity - field.equity) < 4 * math.hypot(b.std_error, field.std_error)
    # Weights by brute force: a combo's share of the pairs of combos with no card in common.
    combos = [vantor.parse_hand_field(h, 2) for h in hands]
    masks = [[a | b for a, b in seat] for seat in combos]
    pairs = [sum(1 for other in masks[1] if not mine & other) for mine in masks[0]]
    assert [row.weight for row in b.rows] == pytest.approx([p / sum(pairs) for p in pairs], abs=1e-15)
    # The same arguments give the same rows; row k starts from its own seed.
    assert breakdown("holdem", hands, 0, target_error=0.01, seed=3, threads=2) == b
    assert row_seed(3, 0) == 3 and len({row_seed(3, k) for k in range(100)}) == 100


def test_grid_against_brute_force():
    b = breakdown("holdem", ["QQ+, AKs, AKo", "JJ"], 0, target_error=0.008, threads=2)
    grid = b.grid
    assert len(grid) == 169 and list(grid)[:3] == ["AA", "AKs", "AQs"] and list(grid)[13] == "AKo"
    # No combination of the field shares a card with a jack, so every one of the
    # 34 holds the same share; by the symmetry of suits every combination of a
    # class has the class's equity, walked here for one of them.
    expected = {"AA": ("AcAd", 6), "KK": ("KcKd", 6), "QQ": ("QcQd", 6), "AKs": ("AcKc", 4), "AKo": ("AcKd", 12)}
    for name, cell in grid.items():
        if name not in expected:
            assert cell.equity is None and cell.share == 0 and cell.combos == 0
            continue
        combo, count = expected[name]
        assert cell.combos == count and cell.share == pytest.approx(count / 34, abs=1e-12)
        exact = vantor.exact_from_text("holdem", [combo, "JJ"])["players"][0]["equity"]
        assert abs(cell.equity - exact) < 4 * cell.std_error
    assert sum(cell.share for cell in grid.values()) == pytest.approx(1)
    assert breakdown("omaha", ["AAKK, QQJJ", "****"], 0, target_error=0.02).grid is None
    short = breakdown("short_deck", ["AA, 66", "KK"], 0, board="Ts 9s 8s").grid
    assert len(short) == 81 and "66" in short and "22" not in short


def test_stopping_keeps_the_rows_done():
    spot = Spot("holdem", ("TT+, AQs+", "AsKd"), "Ah 7c 2d")
    stop = threading.Event()
    seen = []

    def on_row(done, total):
        seen.append((done, total))
        if done == 3:
            stop.set()

    plan = Plan(spot, 0, False, None, 20_000, 1, 1)
    part = plan.run(on_row, stop)
    assert not part.complete and len(part.rows) == 3 and seen[0] == (1, 38)
    assert sum(row.weight for row in part.rows) == pytest.approx(1)
    stop.set()
    with pytest.raises(KeyboardInterrupt):
        Plan(spot, 0, None, None, None, 0, 0).run(None, stop)
    full = breakdown(spot.game, spot.hands, 0, spot.board, exact=False, max_samples=20_000, seed=1, threads=1)
    assert [replace(row, weight=0) for row in part.rows] == [replace(row, weight=0) for row in full.rows[:3]]


def test_results_travel():
    b = breakdown("omaha_hi_lo", ["AhAd2c3d, KsKh9s8h", "QsQdJcTc"], 0, board="4c 7d 2s 9h")
    assert pickle.loads(pickle.dumps(b)) == b
    d = b.to_dict()
    assert d["seat"] == 0 and d["grid"] is None and list(d["rows"][0]) == [
        "holding", "weight", "deals", "equity", "win", "tie", "high", "low", "scoop", "std_error", "samples",
        "exact"]
    assert "high" not in breakdown("holdem", ["AA, KK", "QQ"], 1, board="2c 3d 4h").to_dict()["rows"][0]
    assert "<table" in b._repr_html_() and "high" in str(b)
    html = page(breakdown("holdem", ["AA, AKs", "QQ"], 0, board="2c 3d 4h"))
    assert html.startswith("<!DOCTYPE html>") and html.count("<td title=") == 2 and html.count("#eee") == 167
    assert colour(0.0) == "hsl(0, 75%, 62%)" and colour(1.0) == "hsl(120, 75%, 62%)"


@pytest.mark.parametrize("kwargs, error", [
    (dict(seat=2), "seat must be from 0 to 1"),
    (dict(exact=True, target_error=0.01), "exact answer"),
    (dict(hands=["AhKh", "AhQh"]), "duplicated card: Ah"),
    (dict(hands=["AhKx", "QQ"]), "not a rank"),
])
def test_errors(kwargs, error):
    args = {**dict(game="holdem", hands=["AK", "QQ"], seat=0), **kwargs}
    with pytest.raises(ValueError, match=error):
        breakdown(**args)


def test_too_many_deals_to_walk_is_refused_before_walking():
    with pytest.raises(TooManyDeals):
        breakdown("holdem", ["AA, KK", "**", "**"], 0, exact=True)
    # Without exact=True the same question is sampled.
    assert not breakdown("holdem", ["AA, KK", "**", "**"], 0, max_samples=10_000).exact


def test_counts_match_the_walk_for_each_holding_alone():
    # Alternatives counted one by one against fields of several holdings, open
    # seats and a board with rank slots: the count is what the walk finds.
    for spot in (Spot("holdem", ("AhKh, A*, 5c K", "J*, QQ"), "Kd 7c 2 h 9d"),
                 Spot("holdem", ("AA, KhQh, 7 8", "**", "QQ"), "2c 3d 4h 5s")):
        rows = holdings(spot, 0)
        for h, n in zip(rows, count_deals(spot, 0, rows)):
            hands = (holding_text(h),) + spot.hands[1:]
            assert n == vantor.exact_from_text(spot.game, hands, spot.board)["samples"], holding_text(h)


def test_ctrl_c_in_python_returns_the_rows_done():
    calls = []

    def on_row(done, total):
        calls.append(done)
        if done == 2:
            raise KeyboardInterrupt

    for exact in (True, False):  # walked side by side on a pool, or sampled one by one
        b = breakdown("holdem", ["JJ+, AK", "QQ"], 0, board="Tc 7d 2h", exact=exact, max_samples=None,
                      progress=on_row)
        assert not b.complete and len(b.rows) == 2 and b.equity is not None
    assert calls == [1, 2, 1, 2]
