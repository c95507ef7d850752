"""Many spots at once: answers in input order, on this machine's threads or on any executor.

    >>> from vantor_tools import run_batch
    >>> spots = [{"game": "holdem", "hands": ["AhKh", "QsQd"], "board": "Kd 7c 2h"},
    ...          {"game": "omaha", "hands": ["AhAd2c3d", "****"], "samples": 100000, "seed": 1}]
    >>> for answer in run_batch(spots):
    ...     print(answer.to_json())

Every answer depends only on its spot, never on where or in what order the work
ran: a sampled batch is split into chunks by its size alone (or by the spot's
"threads"), each chunk draws from a seed derived from the spot's seed (seeds.py),
and the chunks' raw sums merge in chunk order. So the same spots give
byte-identical lines on one thread, on the engine's threads or on a cluster.
"""

from __future__ import annotations

import concurrent.futures as cf
import contextlib
import heapq
import json
import math
import os
import time
from collections import deque
from dataclasses import dataclass, field
from typing import (
    Any,
    Callable,
    Deque,
    Dict,
    Iterable,
    Iterator,
    List,
    Mapping,
    NamedTuple,
    Optional,
    Protocol,
    Sequence,
    Tuple,
    Union,
    runtime_checkable,
)

import vantor

from .notation import locate
from .result import Equity
from .run import DEFAULT_TARGET_ERROR, FIRST_BATCH, _check, next_batch_size, sample, walk
from .seeds import batch_seed, chunk_plan
from .spot import Spot

# A sampled batch is split into chunks of at most this many deals unless the spot
# names its "threads": enough for a cluster task to outweigh its scheduling, small
# enough to spread one large spot over many workers.
CHUNK_SAMPLES = 250_000

# The keys of an answer line that are not the spot's own.
ANSWER_KEYS = ("result", "error")

TOO_MANY_DEALS = "too many deals to walk exactly; give samples or target_error to sample instead"

# The least work, in seconds, to put into one task: per-task costs stay below 5%
# of it (tens of microseconds for threads, a few milliseconds for Dask).
LOCAL_TASK_SECONDS = 0.002
EXECUTOR_TASK_SECONDS = 0.02
DASK_TASK_SECONDS = 0.2

# Spots read ahead of the oldest unanswered one, and pieces in one task, at most.
MAX_WINDOW = 50_000
MAX_GROUP = 10_000

SpotLike = Union[Mapping[str, Any], Spot, str, bytes]
_END: Any = object()


@runtime_checkable
class DaskClient(Protocol):
    """What run_batch uses of a `distributed.Client`."""

    def get_executor(self, **kwargs: Any) -> cf.Executor: ...

    def nthreads(self) -> Any: ...


class BatchStopped(RuntimeError):
    """The executor failed (not a spot): the run cannot go on. Answers already yielded stand."""


@dataclass(frozen=True)
class BatchAnswer:
    """One spot's answer: its own `fields` and either its `equity` or the `error` that stopped it.

    `index` counts the spots from 0 in input order.
    """

    index: int
    fields: Mapping[str, Any]
    equity: Optional[Equity] = None
    error: Optional[str] = None

    def to_json(self) -> str:
        """One line: the spot's fields, then "result" (the module's dictionary) or "error"."""
        out = {key: value for key, value in self.fields.items() if key not in ANSWER_KEYS}
        if self.equity is not None:
            out["result"] = self.equity.to_dict()
        else:
            out["error"] = self.error
        return json.dumps(out)


@dataclass(frozen=True)
class Question:
    """A spot and how to answer it, as one line of a batch gives them."""

    spot: Spot
    exact: Optional[bool] = None
    samples: Optional[int] = None
    target_error: Optional[float] = None
    max_samples: Optional[int] = None
    seed: int = 0
    threads: int = 0

    @classmethod
    def from_fields(cls, fields: Mapping[str, Any], defaults: Question) -> Question:
        """Reads "game", "hands", "board", "dead", "exact", "samples", "target_error",
        "max_samples", "seed" and "threads"; other fields are left alone.

        Where the fields say none of exact, samples, target_error and max_samples,
        those four come from `defaults`, as do a missing seed and thread count.
        """
        game = fields.get("game")
        if not isinstance(game, str):
            raise ValueError('a spot needs "game", the game\'s key')
        hands = fields.get("hands")
        if not isinstance(hands, list) or not all(isinstance(h, str) for h in hands):
            raise ValueError('a spot needs "hands", a list of hand fields')
        board, dead = fields.get("board", ""), fields.get("dead", "")
        for key, value in (("board", board), ("dead", dead)):
            if not isinstance(value, str):
                raise ValueError(f'"{key}" must be a string')
        if "time_limit" in fields:
            raise ValueError('"time_limit" does not belong in a batch: answers there never depend on timing')
        how = any(fields.get(key) is not None for key in ("exact", "samples", "target_error", "max_samples"))
        exact = _bool(fields, "exact") if how else defaults.exact
        samples = _whole(fields, "samples") if how else defaults.samples
        target_error = _number(fields, "target_error") if how else defaults.target_error
        max_samples = _whole(fields, "max_samples") if how else defaults.max_samples
        seed = _whole(fields, "seed")
        threads = _whole(fields, "threads")
        question = cls(
            Spot(game, tuple(hands), board, dead),
            exact,
            samples,
            target_error,
            max_samples,
            defaults.seed if seed is None else seed,
            defaults.threads if threads is None else threads,
        )
        question.check()
        return question

    def check(self) -> None:
        """Raises ValueError when the ways to answer contradict each other or are out of range."""
        _check(self.exact, self.samples, self.target_error, self.max_samples, None, self.seed, self.threads)
        if self.threads >= 1 << 64:
            raise ValueError("threads must be less than 2**64")


def parse_line(line: Union[str, bytes]) -> Dict[str, Any]:
    """One line of a batch file as a JSON object (strict JSON: no NaN or Infinity)."""
    if not line.strip():
        raise ValueError("the line is empty")
    try:
        value = json.loads(line, parse_constant=_no_constant)
    except UnicodeDecodeError:
        raise ValueError("the line is not UTF-8 text") from None
    except json.JSONDecodeError as e:
        raise ValueError(f"the line is not JSON: {e.msg} at column {e.colno}") from None
    except ValueError as e:  # NaN or Infinity
        raise ValueError(f"the line is not JSON: {e}") from None
    if not isinstance(value, dict):
        raise ValueError(f"a spot is a JSON object, not {type(value).__name__}")
    return value


def run_batch(
    spots: Iterable[SpotLike],
    *,
    executor: Union[cf.Executor, DaskClient, None] = None,
    exact: Optional[bool] = None,
    samples: Optional[int] = None,
    target_error: Optional[float] = None,
    max_samples: Optional[int] = None,
    seed: int = 0,
    threads: int = 0,
    task_seconds: Optional[float] = None,
) -> Iterator[BatchAnswer]:
    """Answers every spot and yields a `BatchAnswer` for each, in input order.

    A spot is a mapping with the fields of a batch line ("game", "hands", optional
    "board", "dead", "exact", "samples", "target_error", "max_samples", "seed",
    "threads", and any others, which are kept), one line of JSON text, or a `Spot`.
    The keyword arguments answer the spots that do not say how (as `equity()` does)
    and give the seed and thread count to spots that name none. A spot's "threads"
    fixes how each of its sampled batches is split into chunks, as for `equity()`;
    0 splits every batch into chunks of at most CHUNK_SAMPLES deals, so that answers
    are the same on every machine.

    Without an executor the spots run on a few threads of this process and the
    engine's own worker threads, several small spots to a task. With any
    `concurrent.futures.Executor` or a Dask `distributed.Client`, the chunks of large
    batches are spread over its workers too. Either way an answer depends only on
    its spot, so the lines are byte-identical whatever runs them. A spot that fails
    gets its error text; an executor that fails raises `BatchStopped`.
    """
    defaults = Question(Spot("", ()), exact, samples, target_error, max_samples, seed, threads)
    defaults.check()
    if task_seconds is not None and not task_seconds >= 0:
        raise ValueError("task_seconds must not be negative")
    return _run(iter(spots), defaults, _pool(executor, task_seconds))


# --- work shipped to the workers -----------------------------------------------


class Piece(NamedTuple):
    """One engine call: the walk (samples None) or one native batch."""

    spot: Spot
    samples: Optional[int]
    seed: int
    threads: int


# An engine call's answer: an Equity, None when the walk declined, or an error's text.
Outcome = Union[Equity, str, None]


def answer_pieces(pieces: Sequence[Piece]) -> List[Tuple[Outcome, float]]:
    """Runs each piece; returns its outcome and the seconds it took. Never raises for a spot."""
    out: List[Tuple[Outcome, float]] = []
    for piece in pieces:
        start = time.perf_counter()
        outcome: Outcome
        try:
            if piece.samples is None:
                outcome = walk(piece.spot)
            else:
                outcome = sample(piece.spot, piece.samples, piece.seed, piece.threads)
        except ValueError as e:
            outcome = str(e)
        except Exception as e:  # a spot's fault must not end the run
            outcome = f"{type(e).__name__}: {e}"
        out.append((outcome, time.perf_counter() - start))
    return out


# --- one spot's progress ---------------------------------------------------------


class _Job:
    """Turns one spot into rounds of pieces; a round's outcomes merge in piece order."""

    def __init__(self, index: int, item: SpotLike, defaults: Question, spread: bool) -> None:
        self.index = index
        self.spread = spread
        self.answer: Optional[BatchAnswer] = None
        self.fields: Mapping[str, Any] = {}
        self.pending: List[Outcome] = []
        self.missing = 0
        self.walking = False
        self.fixed = False
        self.total: Optional[Equity] = None
        self.batch = 0
        try:
            if isinstance(item, Spot):
                self.fields = {"game": item.game, "hands": list(item.hands), "board": item.board,
                               "dead": item.dead}
                self.question = Question(item, *_how(defaults))
            elif isinstance(item, (str, bytes)):
                self.fields = parse_line(item)
                self.question = Question.from_fields(self.fields, defaults)
            elif isinstance(item, Mapping):
                self.fields = item
                self.question = Question.from_fields(item, defaults)
            else:
                raise ValueError(f"a spot is a mapping, a line of JSON or a Spot, not {type(item).__name__}")
        except ValueError as e:
            self.answer = BatchAnswer(index, self.fields, error=str(e))

    def start(self) -> List[Piece]:
        if self.answer is not None:
            return []
        q = self.question
        if q.exact or (q.exact is None and q.samples is None and q.target_error is None):
            self.walking = True
            return self._round([Piece(q.spot, None, 0, 0)])
        if q.samples is not None:
            self.fixed = True
            return self._round(self._batch(q.samples, q.seed))
        return self._next_batch()

    def give(self, position: int, outcome: Outcome) -> List[Piece]:
        """Records one piece's outcome; returns the next round's pieces once the round is in."""
        self.pending[position] = outcome
        self.missing -= 1
        if self.missing:
            return []
        outcomes, self.pending = self.pending, []
        for outcome in outcomes:
            if isinstance(outcome, str):
                return self._fail(outcome)
        results = [o for o in outcomes if isinstance(o, Equity)]
        q = self.question
        if self.walking:
            self.walking = False
            if results:
                return self._finish(results[0])
            if q.exact:
                return self._fail(TOO_MANY_DEALS)
            return self._next_batch()
        part = Equity.merge_all(results)
        if self.fixed:
            return self._finish(part)
        self.total = part if self.total is None else self.total.merge(part)
        self.batch += 1
        return self._next_batch()

    def _next_batch(self) -> List[Piece]:
        # The batches of a run to a target, as sample_until draws them; with no
        # target and no cap, equity()'s default target.
        q, total = self.question, self.total
        goal = q.target_error
        if goal is None and q.max_samples is None:
            goal = DEFAULT_TARGET_ERROR
        if total is not None:
            if goal is not None and total.samples >= 2 and total.worst_error <= goal:
                return self._finish(total)
            if q.max_samples is not None and total.samples >= q.max_samples:
                return self._finish(total)
        size = FIRST_BATCH if total is None else next_batch_size(total, goal)
        if q.max_samples is not None:
            size = min(size, q.max_samples - (0 if total is None else total.samples))
        return self._round(self._batch(size, batch_seed(q.seed, self.batch)))

    def _batch(self, size: int, seed: int) -> List[Piece]:
        spot, threads = self.question.spot, self.question.threads
        chunks = threads or max(1, math.ceil(size / CHUNK_SAMPLES))
        if not self.spread:
            return [Piece(spot, size, seed, chunks)]
        # The native batch's own chunks, each drawn alone: merged in order they are that batch.
        return [Piece(spot, n, s, 1) for n, s in chunk_plan(size, seed, chunks)]

    def _round(self, pieces: List[Piece]) -> List[Piece]:
        self.pending = [None] * len(pieces)
        self.missing = len(pieces)
        return pieces

    def _finish(self, result: Equity) -> List[Piece]:
        self.answer = BatchAnswer(self.index, self.fields, equity=result)
        return []

    def _fail(self, error: str) -> List[Piece]:
        located = locate(self.question.spot, error)
        if located is not None:
            error = f"notation error in {located[0]}: {error}"
        self.answer = BatchAnswer(self.index, self.fields, error=error)
        return []


def _how(q: Question) -> Tuple[Optional[bool], Optional[int], Optional[float], Optional[int], int, int]:
    return q.exact, q.samples, q.target_error, q.max_samples, q.seed, q.threads


# --- grouping pieces into tasks ---------------------------------------------------


class _Costs:
    """Seconds a piece is expected to take, learnt from the pieces done so far.

    Walks are timed per kind of spot, batches per deal; a kind not seen yet counts
    as a whole task, so it goes alone and teaches the estimate quickly.
    """

    def __init__(self, unknown: float) -> None:
        self.unknown = unknown
        self.seen: Dict[Tuple[Any, ...], List[float]] = {}

    @staticmethod
    def _kind(piece: Piece) -> Tuple[Tuple[Any, ...], int]:
        spot = piece.spot
        shape = (spot.game, len(spot.hands), len("".join(spot.board.split())))
        if piece.samples is None:
            return shape + ("walk",), 1
        return shape + ("sample",), max(piece.samples, 1)

    def estimate(self, piece: Piece) -> float:
        kind, units = self._kind(piece)
        seen = self.seen.get(kind)
        return self.unknown if seen is None else seen[0] / seen[1] * units

    def learn(self, piece: Piece, seconds: float) -> None:
        kind, units = self._kind(piece)
        seen = self.seen.setdefault(kind, [0.0, 0.0])
        seen[0] += seconds
        seen[1] += units


@dataclass(order=True)
class _Ready:
    job_index: int
    order: int
    cost: float = field(compare=False)
    job: _Job = field(compare=False)
    position: int = field(compare=False)
    piece: Piece = field(compare=False)


class _Pool(NamedTuple):
    executor: cf.Executor
    own: bool  # made here, shut down here
    spread: bool  # whether the chunks of a batch run as tasks of their own
    least: float  # task_seconds
    workers: Callable[[], int]


def _pool(executor: Union[cf.Executor, DaskClient, None], task_seconds: Optional[float]) -> _Pool:
    if executor is None:
        workers = vantor.default_thread_count()
        own = cf.ThreadPoolExecutor(max_workers=workers, thread_name_prefix="vantor-batch")
        return _Pool(own, True, False, _or(task_seconds, LOCAL_TASK_SECONDS), lambda: workers)
    if isinstance(executor, cf.Executor):
        workers = getattr(executor, "_max_workers", None) or os.cpu_count() or 1
        return _Pool(executor, False, True, _or(task_seconds, EXECUTOR_TASK_SECONDS), lambda: workers)
    if isinstance(executor, DaskClient):
        client = executor
        return _Pool(client.get_executor(pure=False), False, True, _or(task_seconds, DASK_TASK_SECONDS),
                     lambda: sum(client.nthreads().values()))
    raise TypeError("executor must be a concurrent.futures.Executor or a distributed.Client")


def _or(value: Optional[float], default: float) -> float:
    return default if value is None else value


def _run(items: Iterator[SpotLike], defaults: Question, pool: _Pool) -> Iterator[BatchAnswer]:
    least = pool.least
    in_flight_limit = 2 * max(pool.workers(), 1) + 1
    counted = time.monotonic()
    costs = _Costs(least)

    window: Deque[_Job] = deque()
    ready: List[_Ready] = []
    ready_cost = 0.0
    in_flight: Dict[cf.Future[List[Tuple[Outcome, float]]], List[_Ready]] = {}
    order = 0
    index = 0
    exhausted = False

    def enqueue(job: _Job, pieces: List[Piece]) -> None:
        nonlocal order, ready_cost
        for position, piece in enumerate(pieces):
            cost = costs.estimate(piece)
            heapq.heappush(ready, _Ready(job.index, order, cost, job, position, piece))
            order += 1
            ready_cost += cost

    finished = False
    try:
        while True:
            # Read ahead until there is work for every free slot and then some.
            while not exhausted and len(window) < MAX_WINDOW and (
                len(ready) < in_flight_limit or ready_cost < 2 * in_flight_limit * least
            ):
                item = next(items, _END)
                if item is _END:
                    exhausted = True
                    break
                job = _Job(index, item, defaults, pool.spread)
                index += 1
                window.append(job)
                enqueue(job, job.start())
            # Oldest spots first, several to a task while they are small.
            while ready and len(in_flight) < in_flight_limit:
                group: List[_Ready] = []
                cost = 0.0
                while ready and (not group or cost + ready[0].cost <= least) and len(group) < MAX_GROUP:
                    entry = heapq.heappop(ready)
                    group.append(entry)
                    cost += entry.cost
                    ready_cost -= entry.cost
                try:
                    future = pool.executor.submit(answer_pieces, tuple(entry.piece for entry in group))
                except Exception as e:
                    raise BatchStopped(f"the executor refused work: {e}") from e
                in_flight[future] = group
            while window and window[0].answer is not None:
                answer = window.popleft().answer
                assert answer is not None
                yield answer
            if not in_flight:
                if exhausted and not window and not ready:
                    finished = True
                    return
                continue
            done, _ = cf.wait(in_flight, return_when=cf.FIRST_COMPLETED)
            if time.monotonic() - counted > 10:
                # A cluster may have grown or shrunk since; if it cannot say, the tasks will.
                with contextlib.suppress(Exception):
                    in_flight_limit = 2 * max(pool.workers(), 1) + 1
                counted = time.monotonic()
            for future in done:
                group = in_flight.pop(future)
                try:
                    results = future.result()
                except Exception as e:
                    what = f"{type(e).__name__}: {e}" if str(e) else type(e).__name__
                    raise BatchStopped(f"a task failed: {what}") from e
                for entry, (outcome, seconds) in zip(group, results):
                    costs.learn(entry.piece, seconds)
                    enqueue(entry.job, entry.job.give(entry.position, outcome))
            if not ready:
                ready_cost = 0.0  # forget the rounding of many additions
    finally:
        for future in in_flight:
            future.cancel()
        if pool.own:
            # After the last answer the workers are idle: wait for them, so that no
            # thread of this run outlives it. Stopped early, leave at once.
            pool.executor.shutdown(wait=finished, cancel_futures=True)


# --- field readers -------------------------------------------------------------------


def _no_constant(name: str) -> Any:
    raise ValueError(f"{name} is not a JSON number")


def _bool(fields: Mapping[str, Any], key: str) -> Optional[bool]:
    value = fields.get(key)
    if value is not None and not isinstance(value, bool):
        raise ValueError(f'"{key}" must be true or false')
    return value


def _whole(fields: Mapping[str, Any], key: str) -> Optional[int]:
    value = fields.get(key)
    if value is None:
        return None
    # 1e6 is a whole number too; true and false are not.
    if isinstance(value, float) and value.is_integer() and abs(value) < 2.0**64:
        value = int(value)
    if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value < 1 << 64:
        raise ValueError(f'"{key}" must be a whole number from 0 to 2**64 - 1')
    return value


def _number(fields: Mapping[str, Any], key: str) -> Optional[float]:
    value = fields.get(key)
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise ValueError(f'"{key}" must be a number')
    return float(value)
