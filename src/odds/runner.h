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
#include <span>
#include <vector>

#include "error/error.h"
#include "odds/chunk.h"
#include "odds/exact.h"
#include "odds/pool.h"
#include "odds/request.h"
#include "odds/result.h"
#include "odds/scheduled_deal.h"
#include "sampler/rng_lanes.h"

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

// The most chunks one task runs together: one stream per generator lane.
inline constexpr std::size_t GROUP_LIMIT = RngLanes::LANES;

namespace detail {

// Chunks of the scheduled dealer run a batch each per round, two chunks'
// deals side by side, their generators advanced together in one `RngLanes`;
// chunk i ends as run_chunk(request, plans[i]...) would, having read the
// same stream.
template <class V, class Select>
Outcome run_scheduled_group(const EquityRequest<V>& request, std::span<const ChunkPlan> plans,
                            std::span<ChunkResult> results, const std::atomic<bool>* stop,
                            RngLanes::Kernel kernel) {
  const std::size_t n = plans.size();
  RngLanes lanes = kernel != nullptr ? RngLanes(kernel) : RngLanes();
  std::vector<ScheduledDealer> dealers;
  std::vector<DealRecorder<V>> recorders;
  std::vector<Attempts> attempts;
  std::vector<std::uint64_t> accepted(n, 0);
  dealers.reserve(n);
  recorders.reserve(n);
  attempts.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    // Smaller batches than a lone chunk's: the group's cards share the cache,
    // and a round mostly draws fewer outputs per stream than a lane holds,
    // so that the refill before each round serves every lane at once.
    dealers.push_back(*ScheduledDealer::of(request, plans[i].samples, 2 * n));
    lanes.add(Rng::seed_from_u64(plans[i].seed));
    results[i] = ChunkResult::empty(request.seat_count);
    recorders.emplace_back(request.seat_count, results[i]);
    attempts.emplace_back(plans[i].samples, stop);
  }
  std::array<std::size_t, GROUP_LIMIT> want{};
  for (bool left = true; left;) {
    for (std::size_t i = 0; i < n; ++i) {
      want[i] = static_cast<std::size_t>(
          std::min<std::uint64_t>(dealers[i].batch_size(), plans[i].samples - accepted[i]));
      if (!attempts[i].take(want[i])) [[unlikely]]
        return Ok{};  // stopped: the caller discards the results
    }
    lanes.top_up();
    // Two chunks at a time, deal by deal side by side; a chunk left over or
    // past its partner's end deals alone.
    for (std::size_t i = 0; i < n; i += 2) {
      LaneStream first{&lanes, static_cast<unsigned>(i)};
      if (i + 1 == n) {
        dealers[i].template deal_batch<Select>(first, want[i]);
        break;
      }
      LaneStream second{&lanes, static_cast<unsigned>(i + 1)};
      const std::size_t both = std::min(want[i], want[i + 1]);
      for (std::size_t j = 0; j < both; ++j)
        ScheduledDealer::deal_pair<Select>(dealers[i], first, dealers[i + 1], second, j);
      for (std::size_t j = both; j < want[i]; ++j) dealers[i].template deal_slot<Select>(first, j);
      for (std::size_t j = both; j < want[i + 1]; ++j)
        dealers[i + 1].template deal_slot<Select>(second, j);
    }
    left = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (want[i] == 0) continue;
      if (auto recorded = recorders[i].record_cards_batch(dealers[i].cards(), want[i]); !recorded)
        [[unlikely]]
        return recorded.error();
      accepted[i] += want[i];
      left |= accepted[i] < plans[i].samples;
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    recorders[i].finish();
    results[i].attempts = attempts[i].count();
  }
  return Ok{};
}

// Consecutive chunks run by one task: interleaved when the scheduled dealer
// serves the request, else one after another. results[i] is chunk i's, as
// `run_chunk` gives it; after `stop` they must be discarded. `kernel`, when
// given, replaces the fastest generator kernel (for tests).
template <class V>
Outcome run_group(const EquityRequest<V>& request, std::span<const ChunkPlan> plans,
                  std::span<ChunkResult> results, const std::atomic<bool>* stop,
                  RngLanes::Kernel kernel = nullptr) {
  // Lanes hand out upper halves only, which a dealer with ranges cannot use.
  const std::optional<ScheduledDealer> probe =
      request.weighted ? std::nullopt : ScheduledDealer::of(request, 1);
  bool interleave = plans.size() > 1 && plans.size() <= GROUP_LIMIT && probe && !probe->ranged();
  for (const ChunkPlan& plan : plans) interleave = interleave && plan.samples > 0;
  if (interleave) {
    if (fast_bit_deposit())
      return run_scheduled_group<V, BitDepositSelect>(request, plans, results, stop, kernel);
    return run_scheduled_group<V, PortableSelect>(request, plans, results, stop, kernel);
  }
  for (std::size_t i = 0; i < plans.size(); ++i) {
    Result<ChunkResult> chunk = run_chunk(request, plans[i].samples, plans[i].seed, stop);
    if (!chunk) return std::move(chunk).error();
    results[i] = std::move(*chunk);
  }
  return Ok{};
}

template <class V>
class BatchLoop final : public OrderedLoop {
 public:
  // Task t runs chunks t × group .. t × group + group - 1.
  BatchLoop(const EquityRequest<V>& request, const BatchSplit& split, std::size_t group)
      : request_(request), split_(split), group_(group), total(ChunkResult::empty(request.seat_count)) {}

  std::uint64_t tasks() const { return split_.count() / group_ + (split_.count() % group_ != 0); }

  Outcome run(std::uint64_t index, std::size_t slot, const std::atomic<bool>& stop) override {
    const std::uint64_t first = index * group_;
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(group_, split_.count() - first));
    std::array<ChunkPlan, GROUP_LIMIT> plans;
    for (std::size_t i = 0; i < size; ++i) plans[i] = split_[first + i];
    std::vector<ChunkResult>& results = (*slots_)[slot];
    results.resize(size);
    return run_group(request_, std::span<const ChunkPlan>(plans.data(), size),
                     std::span<ChunkResult>(results), &stop);
  }
  void take(std::uint64_t, std::size_t slot) override {
    // Chunk by chunk, in chunk order: the same sums however chunks are grouped.
    for (const ChunkResult& chunk : (*slots_)[slot]) total.merge(chunk);
    (*slots_)[slot].clear();
  }

 private:
  const EquityRequest<V>& request_;
  const BatchSplit& split_;
  std::size_t group_;
  // On the heap: a Python signal handler run while the caller waits may
  // start another batch on the same stack.
  std::unique_ptr<std::array<std::vector<ChunkResult>, WINDOW>> slots_ =
      std::make_unique<std::array<std::vector<ChunkResult>, WINDOW>>();

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
  // More chunks than workers: each task runs a few, interleaved.
  const std::uint64_t workers = std::max<std::size_t>(pool_size(), 1);
  const auto group = static_cast<std::size_t>(
      std::min<std::uint64_t>(GROUP_LIMIT, (split.count() + workers - 1) / workers));
  detail::BatchLoop<V> loop(request, split, group);
  Result<LoopEnd> end = run_ordered(loop.tasks(), loop, stop, interrupted);
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
