"""Compares vantor's hand scores with outside evaluators.

    PYTHONPATH=build/<dir>/src python validation/check_rankings.py [--random N]

Every five-card hand (2,598,960) is scored with each ranking kernel and compared
with an evaluator written elsewhere: phevaluator for the high order (its class
numbers count from 1), pokerkit for deuce-to-seven and ace-to-five (the same
dense numbering) and for short deck (pokerkit numbers only hands of the 36-card
deck, upwards, so there the order is compared). Random six- and seven-card hands,
Omaha hands and every four-card badugi hand follow. Prints how many hands were
compared and how many disagreed; exits non-zero on any disagreement.

pokerkit is slow per call, and a five-card hand's value depends only on its
ranks and on whether it is a flush, so its answers are cached per such pattern.
"""

import argparse
import itertools
import random
import sys
import time

import phevaluator
from pokerkit import lookups

import vantor

RANKS = "23456789TJQKA"
SUITS = "cdhs"
NAMES = [r + s for r in RANKS for s in SUITS]  # index = rank * 4 + suit
CHUNK = 400_000

failures = 0


def report(name, compared, disagreed, started, elapsed=None):
    global failures
    failures += disagreed
    elapsed = time.time() - started if elapsed is None else elapsed
    print(f"{name:<44} compared {compared:>10,}  disagreed {disagreed:>6,}  ({elapsed:.1f} s)")
    sys.stdout.flush()


def text(combo):
    return "".join(NAMES[c] for c in combo)


def pattern(combo):
    """Ranks in ascending order and the flush flag: all a five-card value depends on."""
    ranks = tuple(sorted(c >> 2 for c in combo))
    suit = combo[0] & 3
    return ranks, all((c & 3) == suit for c in combo)


class PatternLookup:
    """A pokerkit lookup asked once per rank pattern."""

    def __init__(self, lookup):
        self.lookup = lookup
        self.cache = {}

    def index(self, combo):
        key = pattern(combo)
        value = self.cache.get(key)
        if value is None:
            value = self.cache[key] = self.lookup.get_entry(text(combo)).index
        return value


def chunks(iterable, size=CHUNK):
    it = iter(iterable)
    while batch := list(itertools.islice(it, size)):
        yield batch


def check_five_card_hands():
    deuce_seven = PatternLookup(lookups.Standard2Lookup())
    ace_five = PatternLookup(lookups.RegularLookup())
    elapsed = {k: 0.0 for k in ("high", "deuce_seven", "low_a5")}
    counts = {k: [0, 0] for k in elapsed}
    for batch in chunks(itertools.combinations(range(52), 5)):
        texts = [text(c) for c in batch]
        for kernel, theirs in (
            ("high", lambda c: phevaluator.evaluate_cards(*c) - 1),
            ("deuce_seven", deuce_seven.index),
            ("low_a5", ace_five.index),
        ):
            t = time.time()
            ours = vantor.score_batch(kernel, texts)
            counts[kernel][0] += len(batch)
            counts[kernel][1] += sum(o != theirs(c) for o, c in zip(ours, batch))
            elapsed[kernel] += time.time() - t
    names = {
        "high": "five cards, high vs phevaluator",
        "deuce_seven": "five cards, deuce_seven vs pokerkit",
        "low_a5": "five cards, low_a5 vs pokerkit",
    }
    for kernel, (compared, disagreed) in counts.items():
        report(names[kernel], compared, disagreed, 0, elapsed[kernel])


def order_disagreements(pairs):
    """Pairs (theirs, ours) where a higher `theirs` is better and a lower `ours`
    is better: how many pairs break a strictly decreasing one-to-one map."""
    distinct = sorted(set(pairs))
    bad = len(distinct) - len({t for t, _ in distinct})  # one of theirs, two of ours
    bad += len(distinct) - len({o for _, o in distinct})  # two of theirs, one of ours
    bad += sum(a[1] <= b[1] for a, b in zip(distinct, distinct[1:]))
    return bad, dict(distinct)


def check_short_deck(random_count):
    started = time.time()
    short = PatternLookup(lookups.ShortDeckHoldemLookup())
    deck = list(range(16, 52))
    combos = list(itertools.combinations(deck, 5))
    ours = vantor.score_batch("short_deck", [text(c) for c in combos])
    pairs = [(short.index(c), o) for c, o in zip(combos, ours)]
    bad, to_ours = order_disagreements(pairs)
    report("five cards (36-card deck), short_deck order", len(combos), bad, started)

    started = time.time()
    rng = random.Random(36)
    compared = disagreed = 0
    for n in (6, 7):
        hands = [rng.sample(deck, n) for _ in range(random_count)]
        ours = vantor.score_batch("short_deck", [text(h) for h in hands])
        for hand, o in zip(hands, ours):
            best = max(short.index(f) for f in itertools.combinations(hand, 5))
            disagreed += to_ours.get(best) != o
        compared += len(hands)
    report("6/7 cards (36-card deck), short_deck", compared, disagreed, started)


def check_six_and_seven(random_count):
    deuce_seven = PatternLookup(lookups.Standard2Lookup())
    ace_five = PatternLookup(lookups.RegularLookup())
    rng = random.Random(7)
    hands = [rng.sample(range(52), n) for n in (6, 7) for _ in range(random_count)]
    texts = [text(h) for h in hands]

    started = time.time()
    ours = vantor.score_batch("high", texts)
    bad = sum(o != phevaluator.evaluate_cards(*h) - 1 for h, o in zip(hands, ours))
    report("6/7 cards, high vs phevaluator", len(hands), bad, started)

    started = time.time()
    ours = vantor.score_batch("deuce_seven", texts)
    # Deuce-to-seven takes the worst five: the highest high hand.
    bad = sum(o != max(deuce_seven.index(f) for f in itertools.combinations(h, 5)) for h, o in zip(hands, ours))
    report("6/7 cards, deuce_seven vs pokerkit subsets", len(hands), bad, started)

    started = time.time()
    ours = vantor.score_batch("low_a5", texts)
    bad = sum(o != min(ace_five.index(f) for f in itertools.combinations(h, 5)) for h, o in zip(hands, ours))
    report("6/7 cards, low_a5 vs pokerkit subsets", len(hands), bad, started)


def check_omaha(count):
    started = time.time()
    rng = random.Random(4)
    hands = [rng.sample(range(52), 4 + rng.choice((3, 4, 5))) for _ in range(count)]
    ours = vantor.score_batch("omaha", [text(h) for h in hands])
    bad = 0
    for hand, o in zip(hands, ours):
        hole, board = hand[:4], hand[4:]
        best = min(
            phevaluator.evaluate_cards(*p, *t) - 1
            for p in itertools.combinations(hole, 2)
            for t in itertools.combinations(board, 3)
        )
        bad += best != o
    report("omaha (4 hole + 3..5 board) vs phevaluator", len(hands), bad, started)


def check_badugi():
    started = time.time()
    badugi = lookups.BadugiLookup()
    cache = {}

    def best_index(combo):
        best = None
        for k in range(1, 5):
            for sub in itertools.combinations(combo, k):
                ranks = {c >> 2 for c in sub}
                suits = {c & 3 for c in sub}
                if len(ranks) == k and len(suits) == k:
                    key = tuple(sorted(ranks))
                    if key not in cache:
                        cache[key] = badugi.get_entry(text(sub)).index
                    best = cache[key] if best is None else min(best, cache[key])
        return best

    combos = list(itertools.combinations(range(52), 4))
    ours = vantor.score_batch("badugi", [text(c) for c in combos])
    # pokerkit counts up from the best badugi, vantor's scores grow from it too.
    pairs = [(-best_index(c), o) for c, o in zip(combos, ours)]
    bad, _ = order_disagreements(pairs)
    report("four cards, badugi order vs pokerkit", len(combos), bad, started)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--random", type=int, default=100_000, help="random hands per size")
    args = parser.parse_args()
    check_five_card_hands()
    check_short_deck(args.random)
    check_six_and_seven(args.random)
    check_omaha(max(1, args.random // 10))
    check_badugi()
    print("all agree" if failures == 0 else f"{failures:,} disagreements")
    return 0 if failures == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
