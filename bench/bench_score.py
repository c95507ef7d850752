"""Hand scoring throughput: the C++ kernel, score_batch, and PyPI evaluators.

    PYTHONPATH=build/<dir>/src python bench/bench_score.py [--hands N] [--binary PATH]

Prints the C++ seven-card figure (running bench_score when it is built), the
score_batch rate for N random seven-card hands (default one million), and the
same hands through evaluators from PyPI called once per hand from Python, with
how many times faster score_batch is per hand than the fastest of them.
"""

import argparse
import glob
import os
import random
import subprocess
import sys
import time

import vantor

RANKS = "23456789TJQKA"
SUITS = "cdhs"
NAMES = [r + s for r in RANKS for s in SUITS]
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def best_time(run, rounds=3):
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def cxx_figure(binary):
    candidates = [binary] if binary else sorted(glob.glob(os.path.join(ROOT, "build", "*", "bench", "bench_score")))
    for path in candidates:
        if path and os.access(path, os.X_OK):
            out = subprocess.run([path], capture_output=True, text=True, check=True).stdout
            return path, out.strip()
    return None, "bench_score is not built (configure with -DVANTOR_BUILD_BENCH=ON)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--hands", type=int, default=1_000_000)
    parser.add_argument("--binary", help="path of the bench_score program")
    args = parser.parse_args()

    path, figure = cxx_figure(args.binary)
    print(f"C++ ({path or 'not run'}):")
    print("  " + figure.replace("\n", "\n  "))

    rng = random.Random(1)
    indices = [rng.sample(range(52), 7) for _ in range(args.hands)]
    texts = ["".join(NAMES[c] for c in hand) for hand in indices]

    ours = best_time(lambda: vantor.score_batch("high", texts))
    per_hand = ours / args.hands
    print(f"score_batch('high'), {args.hands:,} seven-card hands: {ours:.3f} s, "
          f"{per_hand * 1e9:.0f} ns per hand, {args.hands / ours / 1e6:.2f} million hands/s")

    baselines = {}
    try:
        import eval7

        cards = [[eval7.Card(NAMES[c]) for c in hand] for hand in indices]
        evaluate = eval7.evaluate
        baselines["eval7.evaluate (cards made beforehand)"] = best_time(
            lambda: [evaluate(h) for h in cards], rounds=1)
    except ImportError:
        pass
    try:
        import phevaluator

        evaluate_cards = phevaluator.evaluate_cards
        baselines["phevaluator.evaluate_cards"] = best_time(
            lambda: [evaluate_cards(*h) for h in indices], rounds=1)
    except ImportError:
        pass

    for name, seconds in baselines.items():
        print(f"{name}: {seconds:.3f} s, {seconds / args.hands * 1e9:.0f} ns per hand, "
              f"score_batch is {seconds / ours:.1f}x faster")
    if baselines:
        name, seconds = min(baselines.items(), key=lambda item: item[1])
        print(f"fastest PyPI evaluator: {name}; score_batch per hand is {seconds / ours:.1f}x faster")
    return 0


if __name__ == "__main__":
    sys.exit(main())
