"""`vantor GAME HAND HAND ... --breakdown SEAT [--grid] [--html FILE]`: how each holding of a
seat's field does, as a table, the starting-hand grid, JSON or an HTML page."""

from __future__ import annotations

import argparse
import json
import os
import sys
import threading
import time
from typing import List, Tuple

from .breakdown import Breakdown, Plan, RowBar, two_card_game
from .cli import INTERRUPTED, PROG, UserError, _flush, explain, in_background, spot_of
from .report import page, text
from .run import TooManyDeals


def add_breakdown_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--breakdown", type=_seat, metavar="SEAT",
                        help="how each holding of seat SEAT's field does (seats numbered from 1)")
    parser.add_argument("--grid", action="store_true",
                        help="with --breakdown: print the starting-hand grid (hold'em, short deck)")
    parser.add_argument("--html", metavar="FILE", help="with --breakdown: write the grid and the table as an HTML page")


def wants_breakdown(args: argparse.Namespace) -> bool:
    return args.breakdown is not None or args.grid or args.html is not None


def run_breakdown(args: argparse.Namespace) -> int:
    if args.breakdown is None:
        raise UserError("--grid and --html show a breakdown; give --breakdown SEAT")
    if args.samples is not None or args.time_limit is not None:
        raise UserError("--breakdown samples each holding to --target-error or --max-samples; "
                        "--samples and --time-limit do not apply")
    spot = spot_of(args)
    if args.breakdown > len(spot.hands):
        raise UserError(f"--breakdown: there is no seat {args.breakdown}; the seats are 1 to {len(spot.hands)}")
    if args.grid and not two_card_game(spot.game):
        raise UserError("--grid: only the two-card games (holdem, short_deck) have a starting-hand grid")
    start = time.perf_counter()
    try:
        plan = in_background(lambda: Plan(
            spot, args.breakdown - 1, True if args.exact else None, args.target_error, args.max_samples,
            args.seed, args.threads,
        ))
        result, interrupted = _run(plan)
    except TooManyDeals:
        raise UserError("--exact: too many deals to walk a holding; use --target-error") from None
    except ValueError as e:
        raise UserError(explain(spot, str(e))) from None
    seconds = time.perf_counter() - start
    if args.html is not None:
        try:
            with open(args.html, "w", encoding="utf-8") as out:
                out.write(page(result))
        except OSError as e:
            raise UserError(f"--html: cannot write {args.html}: {e.strerror}") from None
    print(json.dumps(result.to_dict()) if args.json else text(result, seconds, grid=args.grid))
    if interrupted:
        sys.stderr.write(f"{PROG}: interrupted\n")
        _flush()
        # Walks of later rows may still run on the pool's threads; do not wait for them.
        os._exit(INTERRUPTED)
    return 0


def _run(plan: Plan) -> Tuple[Breakdown, bool]:
    """Runs the rows on a helper thread; the first Ctrl-C stops after the current row (the
    rows done are then returned, marked incomplete), a second one leaves at once."""
    bar = RowBar(len(plan.holdings)) if sys.stderr.isatty() else None
    stop = threading.Event()
    finished = threading.Event()
    value: List[Breakdown] = []
    failure: List[BaseException] = []

    def work() -> None:
        try:
            value.append(plan.run(None if bar is None else bar.update, stop))
        except BaseException as e:  # handed to the waiting thread
            failure.append(e)
        finally:
            finished.set()

    # Waiting on an event, not on the thread: a join cut short by Ctrl-C can
    # leave the thread looking finished while it still runs.
    threading.Thread(target=work, daemon=True).start()
    interrupted = False
    try:
        try:
            while not finished.wait(0.1):
                pass
        except KeyboardInterrupt:
            interrupted = True
            stop.set()
            while not finished.wait(0.1):
                pass
    finally:
        if bar is not None:
            bar.close()
    if failure:
        raise failure[0]
    return value[0], interrupted


def _seat(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a seat number") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"{text!r} is not a seat number (seats are numbered from 1)")
    return value

