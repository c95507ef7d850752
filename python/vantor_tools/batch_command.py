"""`vantor batch SPOTS.jsonl`: every spot of a file answered, one JSON line each, in order."""

from __future__ import annotations

import argparse
import contextlib
import importlib
import os
import sys
import time
from typing import Any, BinaryIO, Iterator, Optional, Tuple

from .batch import BatchStopped, DaskClient, run_batch
from .cli import PROG, UserError, _positive, _seed, _whole
from .jsonl import LineWriter, ResumeMismatch, answered, count_lines
from .progress import Tqdm

DESCRIPTION = """\
Reads one spot per line: a JSON object with "game", "hands" (a list of hand fields)
and optional "board", "dead", "exact", "samples", "target_error", "max_samples",
"seed" and "threads"; other fields are passed through. Writes one line per spot, in
input order: the spot's fields and "result" (the module's result dictionary), or
"error" (why that spot has no answer). A spot that fails never stops the run.

The options below answer the spots that do not say how. Answers do not depend on
the machine or the number of workers: unless a spot names its "threads", every
sampled batch is split into chunks by its size alone."""


def build(parser: argparse.ArgumentParser) -> None:
    parser.description = DESCRIPTION
    parser.formatter_class = argparse.RawDescriptionHelpFormatter
    parser.add_argument("spots", metavar="SPOTS.jsonl", help="the spots, one JSON object a line ('-': standard input)")
    parser.add_argument("-o", "--output", metavar="OUT.jsonl", help="write the answers here, not to standard output")
    parser.add_argument("--resume", action="store_true",
                        help="keep the answers already in OUT.jsonl (checked against the spots) and answer the rest")
    parser.add_argument("--dask", metavar="ADDRESS",
                        help="run on the Dask scheduler at ADDRESS, or on a new cluster on this machine: 'local'")
    how = parser.add_mutually_exclusive_group()
    how.add_argument("--exact", action="store_true", default=None, help="walk every deal, or fail the spot")
    how.add_argument("--samples", type=_whole, metavar="N", help="sample N deals in one batch")
    how.add_argument("--target-error", type=_positive, metavar="E",
                     help="sample until every seat's standard error is at most E")
    parser.add_argument("--max-samples", type=_whole, metavar="N", help="stop sampling after N deals")
    parser.add_argument("--seed", type=_seed, default=0, metavar="S", help="seed of spots that name none (default 0)")
    parser.add_argument("--threads", type=_whole, default=0, metavar="T",
                        help="chunks per sampled batch for spots that name none (default 0: by the batch's size)")


def run(args: argparse.Namespace) -> int:
    if args.resume and args.output is None:
        raise UserError("--resume needs -o OUT.jsonl, the answers to resume")
    with contextlib.ExitStack() as stack:
        source: BinaryIO = sys.stdin.buffer if args.spots == "-" else stack.enter_context(_open(args.spots))
        lines: Iterator[bytes] = iter(source)
        executor: Optional[DaskClient] = None if args.dask is None else _connect(args.dask, stack)
        skipped = 0
        if args.output is None:
            sys.stdout.flush()
            fd = sys.stdout.fileno()
        else:
            skipped, fd = _open_output(args, lines)
            stack.callback(os.close, fd)
        writer = LineWriter(fd)
        stack.callback(writer.close)
        total = None
        if args.spots != "-" and sys.stderr.isatty():
            total = count_lines(args.spots) - skipped
        try:
            answers = run_batch(
                lines,
                executor=executor,
                exact=args.exact,
                samples=args.samples,
                target_error=args.target_error,
                max_samples=args.max_samples,
                seed=args.seed,
                threads=args.threads,
            )
            done, failed = _write(answers, writer, total)
        except BatchStopped as e:
            print(f"{PROG}: the run stopped: {e}", file=sys.stderr)
            if args.output is not None:
                print(f"{PROG}: the answers so far are kept; --resume answers the rest", file=sys.stderr)
            return 1
        except ValueError as e:  # the options themselves contradict each other
            raise UserError(str(e)) from None
        except OSError as e:
            raise UserError(f"cannot write {args.output or 'the answers'}: {e.strerror or e}") from None
    if failed:
        print(f"{PROG}: {failed:,} of {done:,} spots failed; their lines carry \"error\"", file=sys.stderr)
    return 0


def _write(answers: Iterator[Any], writer: LineWriter, total: Optional[int]) -> Tuple[int, int]:
    done = failed = deals = 0
    start = time.perf_counter()
    with Tqdm(total=total, unit=" spots", file=sys.stderr, disable=not sys.stderr.isatty(),
              dynamic_ncols=True) as bar:
        for answer in answers:
            writer.write(answer.to_json())
            done += 1
            if answer.equity is None:
                failed += 1
            else:
                deals += answer.equity.samples
            if not bar.disable:
                rate = deals / max(time.perf_counter() - start, 1e-9)
                bar.set_postfix_str(f"{Tqdm.format_sizeof(rate)} deals/s, {failed:,} failed", refresh=False)
                bar.update()
    return done, failed


def _open(path: str) -> BinaryIO:
    try:
        return open(path, "rb")
    except OSError as e:
        raise UserError(f"cannot read {path}: {e.strerror or e}") from None


def _open_output(args: argparse.Namespace, lines: Iterator[bytes]) -> Tuple[int, int]:
    """Opens the output for appending after the answers it keeps; returns (kept, descriptor)."""
    path: str = args.output
    if args.spots != "-" and os.path.exists(path) and os.path.samefile(path, args.spots):
        raise UserError("the answers would overwrite the spots; give -o another file")
    kept = length = 0
    try:
        if args.resume and os.path.exists(path):
            with open(path, "rb") as old:
                try:
                    kept, length = answered(old, lines, args.spots, path)
                except ResumeMismatch as e:
                    raise UserError(f"cannot resume: {e}") from None
            fd = os.open(path, os.O_WRONLY | os.O_APPEND)
            # Drops a line a killed run left without its end.
            os.ftruncate(fd, length)
        else:
            fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_APPEND, 0o666)
    except OSError as e:
        raise UserError(f"cannot write {path}: {e.strerror or e}") from None
    return kept, fd


def _connect(address: str, stack: contextlib.ExitStack) -> DaskClient:
    try:
        # Dask is optional and loosely typed; it is only ever reached through DaskClient.
        distributed: Any = importlib.import_module("distributed")
    except ImportError:
        raise UserError("--dask needs Dask: pip install 'vantor[dask]'") from None
    try:
        if address == "local":
            cluster = stack.enter_context(distributed.LocalCluster(dashboard_address=None))
            client: DaskClient = stack.enter_context(distributed.Client(cluster))
        else:
            client = stack.enter_context(distributed.Client(address, timeout="20s"))
    except Exception as e:
        raise UserError(f"cannot reach the Dask scheduler at {address}: {e}") from None
    return client
