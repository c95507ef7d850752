"""Equities of every game against numbers vantor did not compute itself.

Three kinds of reference:

* published figures (AA against KK over every suit combination, QQ against
  87s preflop);
* brute force in Python: every completion of small spots (turn and river
  spots, nearly complete stud and draw hands) is enumerated here and every
  hand judged by pokerkit's evaluators. Hi/lo pots are split here from
  pokerkit's hand strengths (pokerkit's own equity function quarters a scoop
  when no low qualifies, so it is not used);
* the exact walk itself, against which Monte Carlo answers must fall within
  four standard errors.

Run:  PYTHONPATH=build/<dir>/src python validation/check_equity.py [--spots N]
Prints how many spots were compared and how many disagreed; exits 1 on any
disagreement.
"""

from __future__ import annotations

import argparse
import functools
import itertools
import math
import random
import sys

from pokerkit import (
    BadugiHand,
    EightOrBetterLowHand,
    OmahaEightOrBetterLowHand,
    OmahaHoldemHand,
    RegularLowHand,
    ShortDeckHoldemHand,
    StandardHighHand,
    StandardLowHand,
)

import vantor

RANKS = "23456789TJQKA"
SUITS = "cdhs"
FULL_DECK = [r + s for r in RANKS for s in SUITS]
SHORT_DECK = [c for c in FULL_DECK if c[0] in "6789TJQKA"]

# key: (hole cards, board cards, deck, high evaluator, low evaluator or None)
# An evaluator maps (hole, board) to a pokerkit hand (stronger compares
# greater) or None when no hand qualifies.


def _from_game(cls):
    @functools.lru_cache(maxsize=None)
    def judge(hole, board):
        try:
            return cls.from_game("".join(hole), "".join(board))
        except ValueError:
            return None

    return judge


def _five(cls):
    @functools.lru_cache(maxsize=None)
    def judge(hole, board):
        return cls("".join(hole + board))

    return judge


HIGH = _from_game(StandardHighHand)
GAMES = {
    "holdem": (2, 5, FULL_DECK, HIGH, None),
    "short_deck": (2, 5, SHORT_DECK, _from_game(ShortDeckHoldemHand), None),
    "omaha": (4, 5, FULL_DECK, _from_game(OmahaHoldemHand), None),
    "omaha_five": (5, 5, FULL_DECK, _from_game(OmahaHoldemHand), None),
    "omaha_six": (6, 5, FULL_DECK, _from_game(OmahaHoldemHand), None),
    "omaha_hi_lo": (4, 5, FULL_DECK, _from_game(OmahaHoldemHand),
                    _from_game(OmahaEightOrBetterLowHand)),
    "omaha_five_hi_lo": (5, 5, FULL_DECK, _from_game(OmahaHoldemHand),
                         _from_game(OmahaEightOrBetterLowHand)),
    "courchevel": (5, 5, FULL_DECK, _from_game(OmahaHoldemHand), None),
    "courchevel_hi_lo": (5, 5, FULL_DECK, _from_game(OmahaHoldemHand),
                         _from_game(OmahaEightOrBetterLowHand)),
    "stud": (7, 0, FULL_DECK, HIGH, None),
    "stud_hi_lo": (7, 0, FULL_DECK, HIGH, _from_game(EightOrBetterLowHand)),
    "razz": (7, 0, FULL_DECK, _from_game(RegularLowHand), None),
    "deuce_seven": (5, 0, FULL_DECK, _five(StandardLowHand), None),
    "five_card_draw": (5, 0, FULL_DECK, _five(StandardHighHand), None),
    "badugi": (4, 0, FULL_DECK, _from_game(BadugiHand), None),
}


def split(hands):
    """Mask-free list of the seats holding the strongest hand (None never wins)."""
    live = [h for h in hands if h is not None]
    if not live:
        return []
    best = max(live)
    return [i for i, h in enumerate(hands) if h is not None and h == best]


def shares_of(game, holes, board):
    """Pot shares and low shares of one complete deal."""
    _, _, _, high, low = GAMES[game]
    n = len(holes)
    shares, lows = [0.0] * n, [0.0] * n
    high_part = 1.0
    if low is not None:
        low_winners = split([low(h, board) for h in holes])
        if low_winners:
            for i in low_winners:
                shares[i] += 0.5 / len(low_winners)
                lows[i] += 0.5 / len(low_winners)
            high_part = 0.5
    winners = split([high(h, board) for h in holes])
    for i in winners:
        shares[i] += high_part / len(winners)
    return shares, lows


def cards_of(text):
    text = text.replace(" ", "")
    return [text[i:i + 2] for i in range(0, len(text), 2)]


def reference(game, hands, board=""):
    """Brute-force equities and low equities over every completion, each deal
    counted once, with the deal count. Hands are named cards and '*'."""
    hole_count, board_count, deck, _, _ = GAMES[game]
    named, open_counts = [], []
    for text in hands:
        stars = text.count("*")
        cards = cards_of(text.replace("*", ""))
        named.append(cards)
        open_counts.append(hole_count - len(cards))
        assert stars <= open_counts[-1]
    board_named = cards_of(board)
    used = set(board_named).union(*named)
    rest = [c for c in deck if c not in used]
    n = len(hands)
    totals, low_totals, deals = [0.0] * n, [0.0] * n, 0

    def walk(seat, remaining, holes):
        nonlocal deals
        if seat == n:
            for extra in itertools.combinations(remaining, board_count - len(board_named)):
                s, l = shares_of(game, holes, tuple(board_named) + extra)
                for j in range(n):
                    totals[j] += s[j]
                    low_totals[j] += l[j]
                deals += 1
            return
        for extra in itertools.combinations(remaining, open_counts[seat]):
            left = [c for c in remaining if c not in extra]
            walk(seat + 1, left, holes + [tuple(named[seat]) + extra])

    walk(0, rest, [])
    return [t / deals for t in totals], [t / deals for t in low_totals], deals


# Hand-picked spots of each game (hands, board), all small enough to brute force.
SPOTS = {
    "holdem": [(["AhKh", "QsQd"], "Kd7c2h5s"), (["AhAd", "KhKd"], "2c3c4c5c6c"),
               (["As2s", "KdKc", "7h8h"], "3s4s9h"), (["ThTd", "**"], "9h8h2c3dKs")],
    "short_deck": [(["AhKh", "9s9d"], "Th8c6d"), (["As9s", "KdKc"], "8s7s6dJc")],
    "omaha": [(["AhKhQd2c", "JsJdTs9d"], "Ks7d2h9c"), (["AsAhKdKc", "QsJs9d*"], "2s3s4s5s")],
    "omaha_five": [(["AhKhQd2c3c", "JsJdTs9d8d"], "Ks7d2h9c")],
    "omaha_six": [(["AhKhQd2c3c4d", "JsJdTs9d8d7c"], "Ks7d2h9c")],
    "omaha_hi_lo": [(["As2sKdKc", "Ad2d9c9h"], "3c4d8hKhQs"), (["As2s9d9c", "KsKd7c8c"], "3c4d5hKhQs"),
                    (["As2s9d9c", "KsKd7c8c"], "KcQdJh9s9h"),
                    (["As2s9d9c", "Ad2dKsKd", "3s3h7c8c"], "3c4d5hKhQs"),
                    (["As2s3dKc", "AdKd7c8c"], "4h5hQs9c")],
    "omaha_five_hi_lo": [(["As2s3dKcQh", "AdKd7c8c9h"], "4h5hQs9c")],
    "courchevel": [(["AhKhQd2c3c", "JsJdTs9d8d"], "Ks7d2h9c")],
    "courchevel_hi_lo": [(["As2s3dKcQh", "AdKd7c8c9h"], "4h5hQsTc")],
    "stud": [(["AhAd2c3s4h8d", "KsKd5c6s7s9c"], ""), (["AhAdAc2s3s8h", "KsKdKcQh4d8d"], "")],
    "stud_hi_lo": [(["As2d3c4hKd8s", "KsKc7h8h9hQd"], ""),
                   (["Ah2h3h4h5h6c", "KsKdKcQhQd2c"], "")],
    "razz": [(["As2d3c4hKd8s", "5s6c7d8h9sTc"], ""), (["7s6d5c4h3s2d", "AsAdKhKd2cQc"], "")],
    "deuce_seven": [(["7s5h4d3c", "8s6h4h3d"], ""), (["7s6h5d4c", "2s3h4d8c"], "")],
    "five_card_draw": [(["AsAhKd2c", "QsQdQc3d"], ""), (["AsKsQsJs", "2c2d5h7h"], "")],
    "badugi": [(["As2h3d", "KcQd5h"], ""), (["As2s3h4d", "KcQd7s"], "")],
}


def random_spot(game, rng):
    """A random spot of two or three seats with only a few cards left open."""
    hole_count, board_count, deck, _, _ = GAMES[game]
    seats = rng.choice([2, 2, 3])
    cards = rng.sample(deck, seats * hole_count + board_count)
    hands = ["".join(cards[i * hole_count:(i + 1) * hole_count]) for i in range(seats)]
    board = "".join(cards[seats * hole_count:])
    if board_count:
        # A turn or river spot; sometimes one seat's last card unseen too.
        board = board[: 2 * rng.choice([4, 5])]
        if rng.random() < 0.3:
            hands[0] = hands[0][:-2] + "*"
    else:
        # At most two cards still to come in all, so brute force stays small.
        if game.startswith("stud") or game == "razz":
            seats = 2  # stud seats show equally many cards: one to come each
            hands = [h[:-2] for h in hands[:2]]
        else:
            hands[0] = hands[0][: -2 * rng.choice([1, 2])]
            if len(hands[0]) == 2 * (hole_count - 1):
                hands[1] = hands[1][:-2]
    return hands, board


def compare(game, hands, board, mc_samples=0, tolerance=1e-9):
    """Problems found for one spot (an empty list when all agree)."""
    problems = []
    want, want_low, deals = reference(game, hands, board)
    got = vantor.exact_from_text(game, hands, board)
    where = f"{game} {hands} {board!r}"
    if got is None:
        return [f"{where}: exact walk declined {deals} deals"]
    if got["samples"] != deals:
        problems.append(f"{where}: {got['samples']} deals walked, {deals} expected")
    for j, player in enumerate(got["players"]):
        if abs(player["equity"] - want[j]) > tolerance or abs(player["low_equity"] - want_low[j]) > tolerance:
            problems.append(f"{where}: seat {j} {player['equity']:.9f}/{player['low_equity']:.9f}, "
                            f"expected {want[j]:.9f}/{want_low[j]:.9f}")
    if mc_samples:
        sampled = vantor.chunk_from_text(game, hands, board, samples=mc_samples, seed=deals)
        for j, player in enumerate(sampled["players"]):
            if abs(player["equity"] - want[j]) > 4 * player["std_error"] + 1e-12:
                problems.append(f"{where}: seat {j} sampled {player['equity']:.5f} "
                                f"± {player['std_error']:.5f}, exact {want[j]:.5f}")
    return problems


def published():
    """Published preflop figures: problems found (an empty list when all agree)."""
    problems = []
    wins = losses = ties = 0.0
    for aces in itertools.combinations("cdhs", 2):
        for kings in itertools.combinations("cdhs", 2):
            r = vantor.exact_from_text("holdem", ["A%sA%s" % aces, "K%sK%s" % kings])
            wins += r["win_count"][0]
            losses += r["win_count"][1]
            ties += r["tie_count"][0]
    if (wins, losses, ties) != (50_371_344, 10_986_372, 285_228):
        problems.append(f"AA vs KK: {wins:.0f} / {losses:.0f} / {ties:.0f}")
    if (wins + ties / 2) / 61_642_944 - 0.8194605 > 5e-8:
        problems.append("AA vs KK equity")
    r = vantor.exact_from_text("holdem", ["QQ", "87s"])
    if r is None or r["samples"] != 41_095_296 or abs(r["players"][0]["equity"] - 0.782594) > 5e-7:
        problems.append(f"QQ vs 87s: {r and (r['samples'], r['players'][0]['equity'])}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--spots", type=int, default=12, help="random spots per game")
    parser.add_argument("--samples", type=int, default=40_000, help="Monte Carlo samples per spot")
    parser.add_argument("--seed", type=int, default=2024)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    compared, problems = 0, []
    problems += published()
    compared += 2
    for game in GAMES:
        spots = list(SPOTS[game]) + [random_spot(game, rng) for _ in range(args.spots)]
        bad = 0
        for hands, board in spots:
            found = compare(game, hands, board, args.samples)
            compared += 1
            bad += bool(found)
            problems += found
        print(f"{game:18} {len(spots):4} spots, {bad} disagreed", flush=True)
    for p in problems:
        print("DISAGREES:", p)
    disagreed = len({p.split(":")[0] for p in problems})
    print(f"{compared} spots compared, {disagreed} disagreed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
