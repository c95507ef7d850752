"""What vantor_tools costs on top of the module: equity() against the raw call it makes.

Three lines:
- a river spot (one deal to walk, so the per-call overhead is all there is;
  goal: under 20 microseconds beyond the raw call);
- a preflop spot sampled in one batch of 100,000 deals;
- a preflop spot sampled to a target standard error of 0.0005, against one raw
  batch of as many deals: what splitting the run into batches costs.

Run after `pip install .`:  python bench/bench_tools.py
Figures are the best of several rounds; calls are interleaved so that both
sides see the same machine load.
"""

from __future__ import annotations

import time

import vantor
import vantor_tools


def per_call(f, calls: int) -> float:
    start = time.perf_counter()
    for _ in range(calls):
        f()
    return (time.perf_counter() - start) / calls


def compare(raw, tools, calls: int, rounds: int = 7):
    best_raw = best_tools = float("inf")
    for _ in range(rounds):
        best_raw = min(best_raw, per_call(raw, calls))
        best_tools = min(best_tools, per_call(tools, calls))
    return best_raw, best_tools


def line(name: str, raw: float, tools: float) -> None:
    extra = tools - raw
    print(f"{name:<34} raw {raw * 1e6:10.1f} us   equity() {tools * 1e6:10.1f} us   "
          f"overhead {extra * 1e6:8.1f} us ({extra / raw:+.1%})")


def main() -> None:
    hands = ["AhKh", "QsQd"]
    river = "Kd 7c 2h 3s 4d"
    raw, tools = compare(lambda: vantor.exact_from_text("holdem", hands, river),
                         lambda: vantor_tools.equity("holdem", hands, river), calls=2000)
    line("river, exact (1 deal)", raw, tools)
    print(f"{'':<34} goal: overhead under 20 us -> {'met' if tools - raw < 20e-6 else 'NOT met'}")

    raw, tools = compare(lambda: vantor.chunk_from_text("holdem", hands, samples=100_000, seed=1),
                         lambda: vantor_tools.equity("holdem", hands, samples=100_000, seed=1), calls=20)
    line("preflop, 100,000 sampled deals", raw, tools)

    ranges = ["QQ+, AKs", "JJ-88, AQs+", "**"]
    batches = []
    target = vantor_tools.equity("holdem", ranges, target_error=0.0005, progress=batches.append)
    raw, tools = compare(
        lambda: vantor.chunk_from_text("holdem", ranges, samples=target.samples, seed=1),
        lambda: vantor_tools.equity("holdem", ranges, target_error=0.0005), calls=1, rounds=5)
    line("preflop ranges, target 0.0005", raw, tools)
    print(f"{'':<34} {target.samples:,} deals in {len(batches)} batches, worst std error "
          f"{target.worst_error:.5f}")


if __name__ == "__main__":
    main()
