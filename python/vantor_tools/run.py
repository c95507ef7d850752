"""Running the engine: one batch, the exact walk, and sampling to a target precision."""

from __future__ import annotations

import math
import time
from typing import Callable, Optional, Sequence, Union

import vantor

from .result import Equity
from .seeds import batch_seed
from .spot import Spot

# Sampling with no target and no sample count given stops at this standard error.
DEFAULT_TARGET_ERROR = 0.001
# The first batch of a run to a target; later ones grow (see next_batch_size).
FIRST_BATCH = 10_000

OnBatch = Callable[[Equity], None]


class TooManyDeals(ValueError):
    """An exact answer was required, but the spot has too many deals to walk."""


def sample(spot: Spot, samples: int, seed: int = 0, threads: int = 0) -> Equity:
    """One native batch: exactly the module's answer for these samples, seed and threads."""
    return Equity.from_dict(
        spot,
        vantor.chunk_from_text(spot.game, spot.hands, spot.board, spot.dead, samples, seed, threads),
    )


def walk(spot: Spot) -> Optional[Equity]:
    """The exact answer, or None when there are too many deals to walk."""
    result = vantor.exact_from_text(spot.game, spot.hands, spot.board, spot.dead)
    return None if result is None else Equity.from_dict(spot, result)


def next_batch_size(done: Equity, target_error: Optional[float]) -> int:
    """How many deals the next batch of a run should draw.

    Enough to reach the target by the standard error's 1/sqrt(n) law (with a
    tenth to spare), but never more than all batches so far: batch sizes at
    least double while the target is far, so the per-call cost stays a small
    share, and a poor early estimate cannot overshoot by much. Depends only on
    the answer so far, so runs repeat exactly.
    """
    n = done.samples
    limit = max(n, FIRST_BATCH)
    worst = done.worst_error
    if target_error is None or n < 2 or not worst > 0:
        return limit
    needed = n * (worst / target_error) ** 2 * 1.1 - n
    return max(FIRST_BATCH, min(limit, math.ceil(needed)))


def sample_until(
    spot: Spot,
    *,
    target_error: Optional[float] = None,
    max_samples: Optional[int] = None,
    time_limit: Optional[float] = None,
    seed: int = 0,
    threads: int = 0,
    on_batch: Optional[OnBatch] = None,
) -> Equity:
    """Samples batches with seeds derived from `seed` until every seat's standard error is
    at most `target_error`, or `max_samples` deals are drawn, or `time_limit` seconds pass.

    Batch 0 uses `seed` itself. Without a time limit the answer depends only on the
    arguments; `on_batch` sees the running answer after every batch.
    """
    start = time.perf_counter()
    total: Optional[Equity] = None
    batch = 0
    while True:
        size = FIRST_BATCH if total is None else next_batch_size(total, target_error)
        done = 0 if total is None else total.samples
        if max_samples is not None:
            size = min(size, max_samples - done)
        if time_limit is not None and total is not None:
            size = _fit_in_time(size, total.samples, time.perf_counter() - start, time_limit)
        part = sample(spot, size, batch_seed(seed, batch), threads)
        total = part if total is None else total.merge(part)
        batch += 1
        if on_batch is not None:
            on_batch(total)
        if target_error is not None and total.samples >= 2 and total.worst_error <= target_error:
            return total
        if max_samples is not None and total.samples >= max_samples:
            return total
        if time_limit is not None and time.perf_counter() - start >= time_limit:
            return total


def _fit_in_time(size: int, done: int, elapsed: float, limit: float) -> int:
    # Shrinks a batch that would run past the time limit at the rate seen so
    # far. It only bites near the limit, where timing decides the answer anyway.
    if elapsed <= 0:
        return size
    affordable = math.ceil(done / elapsed * (limit - elapsed))
    return max(1, min(size, affordable))


def equity(
    game: str,
    hands: Sequence[str],
    board: str = "",
    dead: str = "",
    *,
    exact: Optional[bool] = None,
    samples: Optional[int] = None,
    target_error: Optional[float] = None,
    max_samples: Optional[int] = None,
    time_limit: Optional[float] = None,
    seed: int = 0,
    threads: int = 0,
    progress: Union[bool, OnBatch] = False,
) -> Equity:
    """Each seat's share of the pot, as an `Equity`.

    By default the answer is exact when every deal can be walked and sampled
    otherwise, to a standard error of DEFAULT_TARGET_ERROR. `exact=True` insists on
    the walk; `samples` draws one batch, exactly the module's answer for those
    samples, seed and threads; `target_error` samples batches until every seat's
    standard error is at most that, or `max_samples` or `time_limit` is reached.
    While it samples to a target, `progress` shows a bar on standard error (True)
    or is called with the running answer after every batch.
    """
    spot = Spot.of(game, hands, board, dead)
    _check(exact, samples, target_error, max_samples, time_limit, seed, threads)
    sampling = exact is False or samples is not None or target_error is not None
    if not sampling:
        answer = walk(spot)
        if answer is not None:
            return answer
        if exact:
            raise TooManyDeals(
                "too many deals to walk exactly; give samples or target_error to sample instead"
            )
    if samples is not None:
        return sample(spot, samples, seed, threads)
    if target_error is None and time_limit is None and max_samples is None:
        target_error = DEFAULT_TARGET_ERROR
    goal = target_error

    def run(on_batch: Optional[OnBatch]) -> Equity:
        return sample_until(
            spot,
            target_error=goal,
            max_samples=max_samples,
            time_limit=time_limit,
            seed=seed,
            threads=threads,
            on_batch=on_batch,
        )

    if progress is True:
        from .progress import Bar

        with Bar(max_samples) as bar:
            return run(bar.update)
    return run(None if progress is False else progress)


def _check(
    exact: Optional[bool],
    samples: Optional[int],
    target_error: Optional[float],
    max_samples: Optional[int],
    time_limit: Optional[float],
    seed: int,
    threads: int,
) -> None:
    if samples is not None and target_error is not None:
        raise ValueError("give samples or target_error, not both")
    if exact and (samples is not None or target_error is not None):
        raise ValueError("an exact answer takes no samples or target_error")
    if (exact or samples is not None) and (max_samples is not None or time_limit is not None):
        raise ValueError("max_samples and time_limit only limit sampling to a target")
    if samples is not None and samples < 0:
        raise ValueError("samples must not be negative")
    if target_error is not None and not target_error > 0:
        raise ValueError("target_error must be greater than 0")
    if max_samples is not None and max_samples < 1:
        raise ValueError("max_samples must be at least 1")
    if time_limit is not None and not time_limit > 0:
        raise ValueError("time_limit must be greater than 0")
    if not 0 <= seed < 1 << 64:
        raise ValueError("seed must be from 0 to 2**64 - 1")
    if threads < 0:
        raise ValueError("threads must not be negative")
