"""What one small call costs from Python: the river spot AhKh vs QsQd on
Kd 7c 2h 5s 9d (one deal), exact and as a one-sample chunk, by text and by
masks. Goal: at most 10 microseconds per call.

Run after `pip install .`:  python bench/bench_call.py
Each figure is the best of several rounds of processor time per call, so a
busy machine shows the call's own cost rather than the waits of others.
"""

from __future__ import annotations

import time

import vantor

GOAL = 10e-6


def per_call(f, calls: int, rounds: int = 7) -> float:
    best = float("inf")
    for _ in range(rounds):
        start = time.process_time()
        for _ in range(calls):
            f()
        best = min(best, (time.process_time() - start) / calls)
    return best


def main() -> None:
    hands = ["AhKh", "QsQd"]
    board = "Kd 7c 2h 5s 9d"
    masks = [[[1 << vantor.card_index(h[i:i + 2]) for i in (0, 2)]] for h in hands]
    board_masks = [1 << vantor.card_index(c) for c in board.split()]
    calls = {
        "exact_from_text": lambda: vantor.exact_from_text("holdem", hands, board),
        "exact (masks)": lambda: vantor.exact("holdem", masks, board_masks, 0),
        "chunk_from_text, 1 sample": lambda: vantor.chunk_from_text("holdem", hands, board,
                                                                     samples=1, seed=1),
        "chunk (masks), 1 sample": lambda: vantor.chunk("holdem", masks, board_masks, 0,
                                                        samples=1, seed=1),
    }
    for name, f in calls.items():
        f()
        cost = per_call(f, 2000)
        verdict = "met" if cost <= GOAL else "NOT met"
        print(f"river, {name:<28} {cost * 1e6:8.1f} us per call   goal 10 us: {verdict}")


if __name__ == "__main__":
    main()
