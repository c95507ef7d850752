// The batch runner: one Monte Carlo question spread over the worker pool.
//
// A batch of `samples` deals is cut into chunks, each with its own seed
// derived from the caller's; the chunks run in parallel and their results are
// merged in chunk order, so the same request, samples, seed and thread count
// give the same result bit for bit, whatever the pool's size or scheduling.
//
//   Result<ChunkResult> total = run_batch(request, 100'000, 7, default_threads());
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "error/error.h"
#include "odds/chunk.h"
#include "odds/exact.h"
#include "odds/pool.h"
#include "odds/request.h"
#include "odds/result.h"

namespace vantor {

// One chunk of a batch: how many deals it records and the seed it starts from.
struct ChunkPlan {
  std::uint64_t samples;
  std::uint64_t seed;
  friend bool operator==(const ChunkPlan&, const ChunkPlan&) = default;
};

// How a batch is cut into chunks. Chunk i is computed from its index, not
// stored, so a split of any size costs a few words.
class BatchSplit {
 public:
  // The 64-bit golden-ratio constant: chunk seeds are seed × this + i.
  static constexpr std::uint64_t SEED_MULTIPLIER = 0x9E3779B97F4A7C15;

  // `threads` chunks (0 counts as 1), never more than max(samples, 1); the
  // first samples % count chunks take one deal more than the others.
  BatchSplit(std::uint64_t samples, std::uint64_t seed, std::size_t threads)
      : count_(std::min<std::uint64_t>(threads == 0 ? 1 : threads,
                                       std::max<std::uint64_t>(samples, 1))),
        base_(samples / count_),
        extra_(samples % count_),
        seed_base_(seed * SEED_MULTIPLIER) {}  // unsigned: wraps modulo 2^64

  std::uint64_t count() const { return count_; }
  ChunkPlan operator[](std::uint64_t index) const {
    return {base_ + (index < extra_ ? 1 : 0), seed_base_ + index};  // seeds wrap around
  }

 private:
  std::uint64_t count_, base_, extra_, seed_base_;
};

namespace detail {

template <class V>
class BatchLoop final : public OrderedLoop {
 public:
  BatchLoop(const EquityRequest<V>& request, const BatchSplit& split)
      : request_(request), split_(split), total(ChunkResult::empty(request.seat_count)) {}

  Outcome run(std::uint64_t index, std::size_t slot, const std::atomic<bool>& stop) override {
    const ChunkPlan plan = split_[index];
    Result<ChunkResult> result = run_chunk(request_, plan.samples, plan.seed, &stop);
    if (!result) return std::move(result).error();
    (*slots_)[slot] = std::move(*result);
    return Ok{};
  }
  void take(std::uint64_t, std::size_t slot) override {
    total.merge(*(*slots_)[slot]);
    (*slots_)[slot].reset();
  }

 private:
  const EquityRequest<V>& request_;
  const BatchSplit& split_;
  // On the heap: a Python signal handler run while the caller waits may
  // start another batch on the same stack.
  std::unique_ptr<std::array<std::optional<ChunkResult>, WINDOW>> slots_ =
      std::make_unique<std::array<std::optional<ChunkResult>, WINDOW>>();

 public:
  ChunkResult total;  // chunks 0, 1, ... merged in order
};

template <class V>
class ExactLoop final : public OrderedLoop {
 public:
  explicit ExactLoop(const EquityRequest<V>& request) : request_(request) {}

  Outcome run(std::uint64_t, std::size_t, const std::atomic<bool>& stop) override {
    Result<std::optional<ChunkResult>> walked = run_exact(request_, &stop);
    if (!walked) return std::move(walked).error();
    answer = std::move(*walked);
    return Ok{};
  }
  void take(std::uint64_t, std::size_t) override {}

  std::optional<ChunkResult> answer;

 private:
  const EquityRequest<V>& request_;
};

}  // namespace detail

// Runs the batch on the worker pool and returns the chunks' results merged in
// chunk order, or the error of the first chunk to fail (in time). The calling
// thread waits; when `stop` turns true or `interrupted` answers true (asked
// every WAIT_SLICE_MS) the batch ends promptly and its value must be
// discarded. `threads` sets the chunking only, never the pool's size.
template <class V>
Result<ChunkResult> run_batch(const EquityRequest<V>& request, std::uint64_t samples,
                              std::uint64_t seed, std::size_t threads,
                              const std::atomic<bool>* stop = nullptr,
                              const Interrupt& interrupted = {}) {
  const BatchSplit split(samples, seed, threads);
  detail::BatchLoop<V> loop(request, split);
  Result<LoopEnd> end = run_ordered(split.count(), loop, stop, interrupted);
  if (!end) return std::move(end).error();
  return std::move(loop.total);
}

// Work small enough to do on the calling thread: handing it to a worker and
// waking the caller again would cost more than the work, and it ends long
// before an interrupt would need answering.
inline constexpr std::uint64_t SMALL_WALK_BOARDS = 4096;
inline constexpr std::uint64_t SMALL_BATCH_SAMPLES = 1024;

// Whether `run_exact` of this request is small work: every card of the
// seats named and few boards to walk.
inline bool walk_is_small(const RequestData& request) {
  if (!request.names_every_seat()) return false;
  unsigned open = 0;
  for (CardSet slot : request.board.holdings.front()) open += slot.count() != 1;
  const unsigned left = (request.live - request.fixed_all).count();
  return open <= left && binomial(left, open) <= SMALL_WALK_BOARDS;
}

// Whether a batch of `samples` deals of this request is small work: every
// card of the seats named (so no attempt is rejected) and few deals.
inline bool batch_is_small(const RequestData& request, std::uint64_t samples) {
  return samples <= SMALL_BATCH_SAMPLES && !request.weighted && request.names_every_seat();
}

// `run_batch` on the calling thread, chunk after chunk: the same chunks,
// seeds and merge order, so the same result.
template <class V>
Result<ChunkResult> run_batch_here(const EquityRequest<V>& request, std::uint64_t samples,
                                   std::uint64_t seed, std::size_t threads) {
  const BatchSplit split(samples, seed, threads);
  // One chunk is its own total: its sums (never negative zero) plus zero.
  if (split.count() == 1) return run_chunk(request, split[0].samples, split[0].seed);
  ChunkResult total = ChunkResult::empty(request.seat_count);
  for (std::uint64_t i = 0; i < split.count(); ++i) {
    const ChunkPlan plan = split[i];
    Result<ChunkResult> chunk = run_chunk(request, plan.samples, plan.seed);
    if (!chunk) return std::move(chunk).error();
    total.merge(*chunk);
  }
  return total;
}

// `run_exact` on a pool worker while the calling thread waits, so that the
// caller can be interrupted; same answers as `run_exact`. After `stop` or
// `interrupted` fires the value must be discarded.
template <class V>
Result<std::optional<ChunkResult>> run_exact_waiting(const EquityRequest<V>& request,
                                                     const std::atomic<bool>* stop = nullptr,
                                                     const Interrupt& interrupted = {}) {
  detail::ExactLoop<V> loop(request);
  Result<LoopEnd> end = run_ordered(1, loop, stop, interrupted);
  if (!end) return std::move(end).error();
  if (*end == LoopEnd::Stopped) return std::optional<ChunkResult>{};
  return std::move(loop.answer);
}

}  // namespace vantor
