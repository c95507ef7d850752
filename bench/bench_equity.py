"""Equity throughput: vantor against the fastest PyPI peer that answers the same spot.

For each spot it prints vantor's wall time, deals per second per thread, the
speed-up of two threads over one (sampled spots), the peer's deals per
second and the ratio vantor / peer. Peers: eval7 for hold'em (its Monte Carlo
for hands and ranges; its evaluator in a Python loop over every board for
the exact spots, since its exact function needs a complete board), pokerkit's equity calculator for the
other games, and eval7's evaluator in a Python loop where no peer deals the
spot itself (six random hands).

Run:  PYTHONPATH=build/<dir>/src python bench/bench_equity.py [--quick]
Timings on a shared machine are noisy; each vantor figure is the best of
three runs.
"""

from __future__ import annotations

import argparse
import itertools
import random
import time

import eval7
import pokerkit
from pokerkit import (
    BadugiHand,
    Card,
    Deck,
    OmahaEightOrBetterLowHand,
    OmahaHoldemHand,
    RegularLowHand,
    StandardHighHand,
    StandardLowHand,
)

import vantor


def best_of(runs, f):
    best, value = float("inf"), None
    for _ in range(runs):
        start = time.perf_counter()
        value = f()
        best = min(best, time.perf_counter() - start)
    return best, value


def timed(f):
    start = time.perf_counter()
    value = f()
    return time.perf_counter() - start, value


# --- peers ---------------------------------------------------------------

def eval7_walk(hero, villain, board, limit=200_000):
    """eval7 answers exact questions only on a complete board, so the peer
    walks the boards in a Python loop around eval7's evaluator; the rate is
    taken over at most `limit` boards."""
    cards = lambda text: [eval7.Card(text[i:i + 2]) for i in range(0, len(text), 2)]  # noqa: E731
    h, v, b = cards(hero), cards(villain), cards(board)
    rest = [c for c in eval7.Deck().cards if c not in h + v + b]

    def run():
        deals = 0
        for extra in itertools.islice(itertools.combinations(rest, 5 - len(b)), limit):
            full = b + list(extra)
            eval7.evaluate(h + full) > eval7.evaluate(v + full)
            deals += 1
        return deals

    seconds, deals = timed(run)
    return deals / seconds


def eval7_heads_up(hero, villain, iterations):
    hand = [eval7.Card(hero[:2]), eval7.Card(hero[2:])]
    seconds, _ = timed(lambda: eval7.py_hand_vs_range_monte_carlo(
        hand, eval7.HandRange(villain), [], iterations))
    return iterations / seconds


def eval7_ranges(hero, villain, iterations):
    # One Monte Carlo run per hero combo, as eval7 offers it.
    hero_range, villain_range = eval7.HandRange(hero), eval7.HandRange(villain)
    seconds, _ = timed(lambda: eval7.py_all_hands_vs_range(hero_range, villain_range, [], iterations))
    return len(hero_range.hands) * iterations / seconds


def eval7_loop_six(deals):
    deck = [eval7.Card(r + s) for r in "23456789TJQKA" for s in "cdhs"]
    rng = random.Random(1)

    def run():
        for _ in range(deals):
            cards = rng.sample(deck, 17)
            board = cards[12:]
            scores = [eval7.evaluate(cards[2 * i:2 * i + 2] + board) for i in range(6)]
            max(scores)

    seconds, _ = timed(run)
    return deals / seconds


def pokerkit_equity(hands, board, hole, board_count, types, samples):
    ranges = [[tuple(Card.parse(h))] for h in hands]
    seconds, _ = timed(lambda: pokerkit.calculate_equities(
        ranges, tuple(Card.parse(board)), hole, board_count, Deck.STANDARD, types,
        sample_count=samples))
    return samples / seconds


# --- spots ---------------------------------------------------------------

HOLDEM_RANGE = "22+, A2s+, K9s+, QTs+, JTs, ATo+, KJo+"


def spots(quick):
    scale = 0.2 if quick else 1.0
    n = lambda x: max(1000, int(x * scale))  # noqa: E731
    return [
        ("AhKh vs QsQd preflop", "holdem", ["AhKh", "QsQd"], "", None,
         lambda: eval7_walk("AhKh", "QsQd", "")),
        ("AhKh vs QsQd on Kd 7c 2h", "holdem", ["AhKh", "QsQd"], "Kd7c2h", None,
         lambda: eval7_walk("AhKh", "QsQd", "Kd7c2h")),
        ("AhKh vs QsQd preflop", "holdem", ["AhKh", "QsQd"], "", n(4_000_000),
         lambda: eval7_heads_up("AhKh", "QsQd", n(2_000_000))),
        ("QQ+,AKs vs wide range preflop", "holdem", ["QQ+, AKs", HOLDEM_RANGE], "", n(4_000_000),
         lambda: eval7_ranges("QQ+, AKs", HOLDEM_RANGE, n(20_000))),
        ("six random hands preflop", "holdem", ["**"] * 6, "", n(2_000_000),
         lambda: eval7_loop_six(n(20_000))),
        ("Omaha AhKhQd2c vs JsJdTs9d", "omaha", ["AhKhQd2c", "JsJdTs9d"], "", n(1_000_000),
         lambda: pokerkit_equity(["AhKhQd2c", "JsJdTs9d"], "", 4, 5, (OmahaHoldemHand,), n(500))),
        ("Omaha Hi/Lo As2s3dKc vs AdKd7c8c", "omaha_hi_lo", ["As2s3dKc", "AdKd7c8c"], "", n(1_000_000),
         lambda: pokerkit_equity(["As2s3dKc", "AdKd7c8c"], "", 4, 5,
                                 (OmahaHoldemHand, OmahaEightOrBetterLowHand), n(300))),
        ("Stud AhAd2c vs KsKd5c", "stud", ["AhAd2c", "KsKd5c"], "", n(2_000_000),
         lambda: pokerkit_equity(["AhAd2c", "KsKd5c"], "", 7, 0, (StandardHighHand,), n(1000))),
        ("Razz As2d3c vs 4h5s6d", "razz", ["As2d3c", "4h5s6d"], "", n(2_000_000),
         lambda: pokerkit_equity(["As2d3c", "4h5s6d"], "", 7, 0, (RegularLowHand,), n(1000))),
        ("2-7 7s5h4d3c vs 8s6h4h", "deuce_seven", ["7s5h4d3c", "8s6h4h"], "", n(2_000_000),
         lambda: pokerkit_equity(["7s5h4d3c", "8s6h4h"], "", 5, 0, (StandardLowHand,), n(3000))),
        ("Badugi As2h3d vs KcQd", "badugi", ["As2h3d", "KcQd"], "", n(2_000_000),
         lambda: pokerkit_equity(["As2h3d", "KcQd"], "", 4, 0, (BadugiHand,), n(3000))),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer samples")
    args = parser.parse_args()
    print(f"{'spot':34} {'mode':6} {'wall':>9} {'deals/s/thread':>15} {'2T/1T':>6} "
          f"{'peer deals/s':>13} {'vs peer':>8}")
    for name, game, hands, board, samples, peer in spots(args.quick):
        if samples is None:
            wall, result = best_of(3, lambda: vantor.exact_from_text(game, hands, board))
            rate, scaling, mode = result["samples"] / wall, None, "exact"
        else:
            wall, _ = best_of(3, lambda: vantor.chunk_from_text(
                game, hands, board, samples=samples, seed=1, threads=1))
            wall2, _ = best_of(3, lambda: vantor.chunk_from_text(
                game, hands, board, samples=samples, seed=1, threads=2))
            rate, scaling, mode = samples / wall, wall / wall2, "sample"
        peer_rate = peer()
        print(f"{name:34} {mode:6} {wall * 1e3:7.1f}ms {rate / 1e6:13.2f}M "
              f"{'' if scaling is None else f'{scaling:5.2f}x':>6} {peer_rate / 1e6:12.3f}M "
              f"{rate / peer_rate:7.1f}x", flush=True)


if __name__ == "__main__":
    main()
