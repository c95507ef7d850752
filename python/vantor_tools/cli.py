"""The `vantor` command: `vantor GAME HAND HAND ...` answers one spot; `vantor games` lists the games.

Further commands are entries of COMMANDS; the options of the equity question
are added by `add_spot_arguments` so that other commands can share them.
"""

from __future__ import annotations

import argparse
import json
import math
import os
import sys
import textwrap
import threading
import time
from dataclasses import dataclass
from typing import Callable, Dict, List, Optional, Sequence, TypeVar

import vantor

from .notation import locate
from .render import text
from .run import TooManyDeals, equity
from .spot import Spot, games

PROG = "vantor"
USER_ERROR = 2
INTERRUPTED = 130

T = TypeVar("T")


class UserError(Exception):
    """A mistake in what the user asked for: its text is printed, with no traceback."""


@dataclass(frozen=True)
class Command:
    """A named command: `build` adds its arguments, `run` carries it out and returns the exit status."""

    summary: str
    build: Callable[[argparse.ArgumentParser], None]
    run: Callable[[argparse.Namespace], int]


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = list(sys.argv[1:] if argv is None else argv)
    try:
        if args and args[0] in COMMANDS:
            command = COMMANDS[args[0]]
            parser = argparse.ArgumentParser(prog=f"{PROG} {args[0]}", description=command.summary)
            command.build(parser)
            return command.run(parser.parse_args(args[1:]))
        return run_equity(equity_parser().parse_args(args))
    except UserError as e:
        print(f"{PROG}: {e}", file=sys.stderr)
        return USER_ERROR
    except KeyboardInterrupt:
        # Leave at once: an engine call may still be running on a helper thread,
        # and the interpreter's shutdown would wait for the worker pool.
        if sys.stderr.isatty():
            sys.stderr.write("\n")
        sys.stderr.write(f"{PROG}: interrupted\n")
        _flush()
        os._exit(INTERRUPTED)
    except BrokenPipeError:
        # The reader went away (`vantor ... | head`); say nothing more.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1


# --- the equity question -----------------------------------------------------


def equity_parser() -> argparse.ArgumentParser:
    others = "\n".join(f"  {PROG} {name:<8} {c.summary}" for name, c in COMMANDS.items())
    parser = argparse.ArgumentParser(
        prog=PROG,
        usage=f"{PROG} GAME HAND HAND [HAND ...] [options]\n       {PROG} COMMAND ...",
        description="Each seat's share of the pot: exact when every deal can be walked, "
        "sampled otherwise.",
        epilog=f"commands:\n{others}",
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument("game", metavar="GAME", help="the game's key (see: vantor games)")
    parser.add_argument("hands", metavar="HAND", nargs="+", help="one hand field per seat, e.g. AhKh or 'QQ+, AKs'")
    add_spot_arguments(parser)
    parser.add_argument("--json", action="store_true", help="print the result dictionary as JSON")
    from .breakdown_cli import add_breakdown_arguments

    add_breakdown_arguments(parser)
    return parser


def add_spot_arguments(parser: argparse.ArgumentParser) -> None:
    """The options of one equity question besides the game and hands."""
    parser.add_argument("--board", default="", metavar="TEXT", help="board cards, e.g. 'Kd 7c 2h'")
    parser.add_argument("--dead", default="", metavar="TEXT", help="dead cards, e.g. '2c 2d'")
    how = parser.add_mutually_exclusive_group()
    how.add_argument("--exact", action="store_true", help="walk every deal, or fail if there are too many")
    how.add_argument("--samples", type=_whole, metavar="N", help="sample N deals in one batch")
    how.add_argument("--target-error", type=_positive, metavar="E",
                     help="sample until every seat's standard error is at most E")
    parser.add_argument("--max-samples", type=_whole, metavar="N", help="stop sampling after N deals")
    parser.add_argument("--time-limit", type=_positive, metavar="S", help="stop sampling after S seconds")
    parser.add_argument("--seed", type=_seed, default=0, metavar="S", help="seed of the first batch (default 0)")
    parser.add_argument("--threads", type=_whole, default=0, metavar="T",
                        help="threads per batch (default 0: the module's default)")


def spot_of(args: argparse.Namespace) -> Spot:
    return Spot.of(args.game, args.hands, args.board, args.dead)


def run_equity(args: argparse.Namespace) -> int:
    from .breakdown_cli import run_breakdown, wants_breakdown

    if wants_breakdown(args):
        return run_breakdown(args)
    spot = spot_of(args)
    start = time.perf_counter()
    try:
        result = in_background(lambda: equity(
            spot.game, spot.hands, spot.board, spot.dead,
            exact=True if args.exact else None,
            samples=args.samples,
            target_error=args.target_error,
            max_samples=args.max_samples,
            time_limit=args.time_limit,
            seed=args.seed,
            threads=args.threads,
            progress=sys.stderr.isatty(),
        ))
    except TooManyDeals:
        raise UserError("--exact: too many deals to walk; use --samples or --target-error") from None
    except ValueError as e:
        raise UserError(explain(spot, str(e))) from None
    seconds = time.perf_counter() - start
    print(json.dumps(result.to_dict()) if args.json else text(result, seconds))
    return 0


def explain(spot: Spot, error: str) -> str:
    """An equity call's error as the user should see it: notation errors underlined in their field."""
    located = locate(spot, error)
    if located is not None:
        field, underlined = located
        return f"notation error in {field}:\n" + textwrap.indent(underlined, "  ", lambda _: True)
    if error.startswith("no game called "):
        return f"{error}\n(`{PROG} games` lists them)"
    return error


def in_background(compute: Callable[[], T]) -> T:
    """Runs `compute` on a helper thread and waits for it, so that Ctrl-C is felt at
    once even while the engine works (it never returns to Python meanwhile)."""
    value: List[T] = []
    failure: List[BaseException] = []

    def work() -> None:
        try:
            value.append(compute())
        except BaseException as e:  # handed to the waiting thread
            failure.append(e)

    thread = threading.Thread(target=work, daemon=True)
    thread.start()
    while thread.is_alive():
        thread.join(0.1)
    if failure:
        raise failure[0]
    return value[0]


# --- vantor games ----------------------------------------------------------------


def _build_games(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--json", action="store_true", help="print the module's game list as JSON")


def _run_games(args: argparse.Namespace) -> int:
    if args.json:
        print(json.dumps(vantor.variants()))
        return 0
    rows = [("key", "game", "hole cards", "board cards")]
    rows += [(g.key, g.label, str(g.hole_cards), str(g.board_cards)) for g in games()]
    widths = [max(len(row[i]) for row in rows) for i in range(4)]
    for row in rows:
        print(f"{row[0]:<{widths[0]}}  {row[1]:<{widths[1]}}  {row[2]:>{widths[2]}}  {row[3]:>{widths[3]}}")
    return 0


def _build_batch(parser: argparse.ArgumentParser) -> None:
    from . import batch_command  # only `vantor batch` pays for loading it

    batch_command.build(parser)


def _run_batch(args: argparse.Namespace) -> int:
    from . import batch_command

    return batch_command.run(args)


COMMANDS: Dict[str, Command] = {
    "games": Command("list the games: key, name, hole and board cards", _build_games, _run_games),
    "batch": Command("answer every spot of a JSON-lines file, one line each, in order", _build_batch, _run_batch),
}


# --- argument types --------------------------------------------------------------


def _whole(text: str) -> int:
    """A count: 1000, 1_000 or 1e3."""
    try:
        value = float(text) if any(c in text for c in ".eE") else int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if not (math.isfinite(value) and value == int(value) and 0 <= value < 1 << 64):
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number from 0 to 2**64 - 1")
    return int(value)


def _positive(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not 0 < value < float("inf"):
        raise argparse.ArgumentTypeError(f"{text!r} is not a number greater than 0")
    return value


def _seed(text: str) -> int:
    try:
        value = int(text, 0)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if not 0 <= value < 1 << 64:
        raise argparse.ArgumentTypeError(f"{text!r} is not from 0 to 2**64 - 1")
    return value


def _flush() -> None:
    for stream in (sys.stdout, sys.stderr):
        try:
            stream.flush()
        except (OSError, ValueError):
            pass
