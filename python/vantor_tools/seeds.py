"""Where every seed of a run comes from.

A native batch with seed s split into t chunks draws chunk i from the chunk seed
s * MULTIPLIER + i (mod 2**64). The multiplier is odd, so it has an inverse
mod 2**64, and a one-thread batch with seed (s * MULTIPLIER + i) * INVERSE draws
exactly chunk i. That lets a caller run the chunks of one batch anywhere and
merge them into the batch's own answer.
"""

from __future__ import annotations

from typing import List, Tuple

MULTIPLIER = 0x9E3779B97F4A7C15
INVERSE = pow(MULTIPLIER, -1, 1 << 64)
_MASK = (1 << 64) - 1

# Batches of one question start their chunk seeds this far apart, far more than
# the chunks of any batch, so no two of them draw from the same chunk seed.
_BATCH_STRIDE = 1 << 32


def chunk_seed(seed: int, index: int) -> int:
    """The seed chunk `index` of a native batch with `seed` draws from."""
    return (seed * MULTIPLIER + index) & _MASK


def batch_seed_for_chunk(seed_of_chunk: int) -> int:
    """The seed of a one-thread batch whose only chunk draws from `seed_of_chunk`."""
    return (seed_of_chunk * INVERSE) & _MASK


def batch_seed(seed: int, batch: int) -> int:
    """The seed of batch number `batch` of a run that starts from `seed`; batch 0 uses `seed`."""
    return batch_seed_for_chunk(chunk_seed(seed, batch * _BATCH_STRIDE))


def chunk_sizes(samples: int, threads: int) -> List[int]:
    """How a native batch splits `samples` over `threads` chunks (threads already resolved from 0)."""
    count = min(max(threads, 1), max(samples, 1))
    base, extra = divmod(samples, count)
    return [base + 1 if i < extra else base for i in range(count)]


def chunk_plan(samples: int, seed: int, threads: int) -> List[Tuple[int, int]]:
    """(samples, seed) of the one-thread batches that, merged in order, equal the native batch."""
    return [
        (size, batch_seed_for_chunk(chunk_seed(seed, i)))
        for i, size in enumerate(chunk_sizes(samples, threads))
    ]
