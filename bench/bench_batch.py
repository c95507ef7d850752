"""Many spots at once: one file of 1,000 hold'em and Omaha spots answered three ways.

- serially: one spot after another, one engine thread, in this process;
- locally: run_batch's default, a few threads of this process and the engine's own;
- on a two-worker Dask LocalCluster (worker processes of one thread each).

The spots are preflop, flop and turn, walked exactly or sampled (some to a target
standard error, some large enough to be split over workers), drawn from a fixed seed.
Prints the wall time and spots per second of each, the CPU time this process
spent (the cluster's workers are other processes), and checks that the three
outputs are byte-identical. On a machine shared with other work, wall times
follow the load; the CPU times show what each way costs.

Run after `pip install .[dask]`:  python bench/bench_batch.py [SPOTS]
"""

from __future__ import annotations

import concurrent.futures as cf
import json
import os
import random
import sys
import tempfile
import time
from typing import Any, Callable, List, Optional

import vantor
import vantor_tools

RANKS = "23456789TJQKA"
SUITS = "cdhs"
DECK = [r + s for r in RANKS for s in SUITS]


def make_spots(count: int, seed: int = 2024) -> List[dict]:
    rng = random.Random(seed)
    spots = []
    for i in range(count):
        game = "holdem" if rng.random() < 0.55 else "omaha"
        seats = rng.choice((2, 2, 3))
        street = rng.choice(("preflop", "preflop", "flop", "flop", "flop", "turn", "turn"))
        hole = 2 if game == "holdem" else 4
        board_cards = {"preflop": 0, "flop": 3, "turn": 4}[street]
        cards = rng.sample(DECK, seats * hole + board_cards)
        hands = ["".join(cards[s * hole:(s + 1) * hole]) for s in range(seats)]
        if game == "holdem" and rng.random() < 0.2:
            hands[-1] = rng.choice(("QQ+, AKs", "22+", "**"))
        spot: dict = {"id": i, "game": game, "hands": hands, "board": " ".join(cards[seats * hole:])}
        # Omaha preflop has a million boards of 60 hands each: sampled only.
        exact_ok = street != "preflop" or (game == "holdem" and "*" not in hands[-1] and rng.random() < 0.1)
        if exact_ok and rng.random() < 0.6:
            spot["exact"] = True
        elif rng.random() < 0.15:
            spot["target_error"] = 0.003
        elif game == "holdem":
            spot["samples"] = rng.choice((100_000, 300_000, 1_000_000))
        else:
            spot["samples"] = rng.choice((10_000, 25_000, 50_000, 400_000))
        spot["seed"] = i
        spots.append(spot)
    return spots


class Inline(cf.Executor):
    """Runs every task at once in the caller's thread."""

    def submit(self, fn: Callable[..., Any], /, *args: Any, **kwargs: Any) -> cf.Future:
        future: cf.Future = cf.Future()
        future.set_result(fn(*args, **kwargs))
        return future


def timed(name: str, lines: List[bytes], executor: Optional[Any], serial: Optional[float]) -> tuple:
    start, cpu = time.perf_counter(), time.process_time()
    out = [answer.to_json() for answer in vantor_tools.run_batch(lines, executor=executor)]
    seconds, cpu = time.perf_counter() - start, time.process_time() - cpu
    ratio = "" if serial is None else f"   {serial / seconds:5.2f}x serial"
    print(f"{name:<30} {seconds:8.2f} s   {len(lines) / seconds:7.1f} spots/s   "
          f"CPU here {cpu:6.2f} s{ratio}", flush=True)
    return seconds, "\n".join(out)


def main() -> None:
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    spots = make_spots(count)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "spots.jsonl")
        with open(path, "w") as f:
            f.writelines(json.dumps(spot) + "\n" for spot in spots)
        with open(path, "rb") as f:
            lines = f.readlines()
    kinds = {}
    for spot in spots:
        how = "exact" if spot.get("exact") else "target" if "target_error" in spot else "sampled"
        street = {0: "preflop", 3: "flop", 4: "turn"}[len(spot["board"].split())]
        key = f"{spot['game']} {street} {how}"
        kinds[key] = kinds.get(key, 0) + 1
    print(f"{count:,} spots: " + ", ".join(f"{n} {k}" for k, n in sorted(kinds.items())))
    print(f"engine default threads {vantor.default_thread_count()}, CPUs {os.cpu_count()}")

    serial, expected = timed("serial (one thread)", lines, Inline(), None)
    _, local = timed("local (engine threads)", lines, None, serial)

    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        client.submit(len, "warm up").result()
        _, dask = timed("Dask LocalCluster, 2 workers", lines, client, serial)
    print("outputs byte-identical:", "yes" if expected == local == dask else "NO")
    failed = sum('"error"' in line for line in expected.splitlines())
    print(f"{failed} spots failed")


if __name__ == "__main__":
    main()
