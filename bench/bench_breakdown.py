"""What a breakdown costs: wall time and rows per second.

Two lines, both with the full starting-hand grid (all 169 classes, 1326
combinations) as the seat's field against "QQ+, AKs":
- on the flop Jc 7d 2h, every row walked exactly (the weighted mean is checked
  against the whole field's exact answer);
- preflop, every row sampled to a standard error of 0.005.

Run after `pip install .`:  python bench/bench_breakdown.py [--threads T]
"""

from __future__ import annotations

import argparse
import time

import vantor
import vantor_tools

FIELD = "22+, A2+, K2+, Q2+, J2+, T2+, 92+, 82+, 72+, 62+, 52+, 42+, 32"
RIVAL = "QQ+, AKs"


def line(name: str, b: vantor_tools.Breakdown, seconds: float) -> None:
    rows = len(b.rows)
    print(f"{name:<36} {rows:5} rows  {b.samples:>12,} deals  {seconds:7.2f} s  "
          f"{rows / seconds:8.1f} rows/s  {b.samples / seconds / 1e6:6.1f}M deals/s")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--threads", type=int, default=0)
    threads = parser.parse_args().threads
    assert len(vantor.parse_hand_field(FIELD, 2)) == 1326
    grid_classes = 169

    start = time.perf_counter()
    flop = vantor_tools.breakdown("holdem", [FIELD, RIVAL], 0, board="Jc 7d 2h", threads=threads)
    line("flop, exact", flop, time.perf_counter() - start)
    whole = vantor.exact_from_text("holdem", [FIELD, RIVAL], "Jc 7d 2h")
    print(f"{'':<36} {grid_classes} classes; weighted mean - whole field's exact equity: "
          f"{flop.equity - whole['players'][0]['equity']:+.1e}")

    start = time.perf_counter()
    pre = vantor_tools.breakdown("holdem", [FIELD, RIVAL], 0, target_error=0.005, threads=threads)
    line("preflop, target 0.005 per row", pre, time.perf_counter() - start)
    worst = max(row.std_error for row in pre.rows if row.weight)
    print(f"{'':<36} worst row std error {worst:.4f}; seat equity {pre.equity:.4f} ± {pre.std_error:.4f}")


if __name__ == "__main__":
    main()
