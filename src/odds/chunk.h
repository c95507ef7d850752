// One Monte Carlo chunk: seeded random deals until `samples` are recorded.
//
// A chunk is fully determined by (request, samples, seed). Rejected deals
// count as attempts; after max(10,000, 1,000 × samples) attempts the chunk
// gives up with an error, since the request was already found satisfiable and
// only sampling is too slow for it.
//
//   Result<ChunkResult> r = run_chunk(request, 10'000, seed);
#pragma once

#include <algorithm>
#include <atomic>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "odds/deal.h"
#include "odds/request.h"
#include "odds/result.h"
#include "odds/scheduled_deal.h"
#include "odds/showdown.h"
#include "sampler/rng.h"
#include "sampler/shape.h"

namespace vantor {

// max(10,000, samples × 1,000), the product saturating.
constexpr std::uint64_t attempt_limit(std::uint64_t samples) {
  constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();
  if (samples > MAX / 1000) return MAX;
  return std::max<std::uint64_t>(10'000, samples * 1000);
}

namespace detail {

// A chunk's attempts counted against its limit, with the stop flag looked at
// every few thousand attempts rather than on every deal.
class Attempts {
 public:
  enum class Next { Deal, Stalled, Stopped };

  Attempts(std::uint64_t samples, const std::atomic<bool>* stop)
      : limit_(attempt_limit(samples)), stop_(stop) {}

  Next next() {
    if (count_ == limit_) [[unlikely]]
      return Next::Stalled;
    ++count_;
    if ((count_ & 4095) == 0 && stop_ != nullptr && stop_->load(std::memory_order_relaxed))
      [[unlikely]]
      return Next::Stopped;
    return Next::Deal;
  }
  // Counts `n` attempts at once for a dealer that never rejects (so never
  // reaches the limit, which is at least the number of samples); false
  // when the stop flag is set.
  bool take(std::uint64_t n) {
    const std::uint64_t before = count_;
    count_ += n;
    if ((before >> 12) != (count_ >> 12) && stop_ != nullptr &&
        stop_->load(std::memory_order_relaxed)) [[unlikely]]
      return false;
    return true;
  }
  // Attempts `next` would let begin by counting them alone: before the
  // limit, and before the next one at which it looks at the stop flag.
  std::uint64_t free_run() const {
    const std::uint64_t to_look = stop_ != nullptr ? 4095 - (count_ & 4095) : limit_;
    return std::min(limit_ - count_, to_look);
  }
  // Counts `n` attempts, at most `free_run()`.
  void add(std::uint64_t n) { count_ += n; }
  std::uint64_t count() const { return count_; }
  std::uint64_t limit() const { return limit_; }

 private:
  std::uint64_t limit_;
  std::uint64_t count_ = 0;
  const std::atomic<bool>* stop_;
};

// What a dealer's batch gave: deals accepted into its buffers, and whether
// the attempts ran on (Deal), reached the limit or met the stop flag.
struct DealtBatch {
  std::size_t accepted;
  Attempts::Next end;
};

}  // namespace detail

// A dealer the chunk loop drives: it deals up to `want` (at most
// `batch_size()`) accepted deals into its own buffers, counting every attempt,
// and then records deal j of that batch (or, where it has `record_all`, the
// whole batch at once, in order). `Select` is the card selection its
// hot loop is compiled with (a dealer may ignore it).
template <class D, class V>
concept ChunkDealer = requires(D& dealer, const D& dealt, Rng& rng, detail::Attempts& attempts,
                               DealRecorder<V>& recorder, std::size_t n) {
  { dealt.batch_size() } -> std::same_as<std::size_t>;
  { dealer.template deal<PortableSelect>(rng, n, attempts) } -> std::same_as<detail::DealtBatch>;
  { dealt.record(n, recorder) } -> std::same_as<Outcome>;
};

// Without ranges the scheduled dealer never rejects: a batch counts its
// attempts at once. With ranges it deals on a budget of attempts that
// `Attempts::next` would admit without a look at the limit or the stop flag,
// and takes the one attempt at each such look through `next`, so that a
// batch ends exactly where dealing one attempt at a time would.
class ScheduledBatches {
 public:
  explicit ScheduledBatches(ScheduledDealer& dealer) : dealer_(dealer) {}
  std::size_t batch_size() const { return dealer_.batch_size(); }
  template <class Select>
  detail::DealtBatch deal(Rng& rng, std::size_t want, detail::Attempts& attempts) {
    if (dealer_.ranged()) return deal_ranged<Select>(rng, want, attempts);
    if (!attempts.take(want)) [[unlikely]]
      return {0, detail::Attempts::Next::Stopped};
    dealer_.template deal_batch<Select>(rng, want);
    return {want, detail::Attempts::Next::Deal};
  }
  template <class V>
  Outcome record(std::size_t j, DealRecorder<V>& recorder) const {
    return recorder.record_cards(dealer_.cards(), j);
  }
  // Deals 0 to count - 1 of the last batch, in order.
  template <class V>
  Outcome record_all(std::size_t count, DealRecorder<V>& recorder) const {
    return recorder.record_cards_batch(dealer_.cards(), count);
  }

 private:
  // Out of line: inlined beside the plain batches, it crowded their registers.
  template <class Select>
  [[gnu::noinline]] detail::DealtBatch deal_ranged(Rng& rng, std::size_t want,
                                                   detail::Attempts& attempts) {
    using Next = detail::Attempts::Next;
    std::size_t done = 0;
    while (done < want) {
      std::uint64_t budget = attempts.free_run(), counted = 0;
      if (budget == 0) [[unlikely]] {
        if (const Next next = attempts.next(); next != Next::Deal) return {done, next};
        budget = counted = 1;
      }
      const std::uint64_t given = budget;
      done = dealer_.template deal_within<Select>(rng, done, want, budget);
      attempts.add(given - budget - counted);
    }
    return {want, Next::Deal};
  }

  ScheduledDealer& dealer_;
};

// Deals one at a time with rejections: the quick dealer, or slot and weighted
// dealing into card vectors for any request.
namespace detail {
template <class Deal>
DealtBatch deal_one(Attempts& attempts, Deal&& deal) {
  for (;;) {
    if (const auto next = attempts.next(); next != Attempts::Next::Deal) [[unlikely]]
      return {0, next};
    if (deal()) return {1, Attempts::Next::Deal};
  }
}
}  // namespace detail

class QuickDeals {
 public:
  explicit QuickDeals(QuickDealer& dealer) : dealer_(dealer) {}
  std::size_t batch_size() const { return 1; }
  template <class Select>
  detail::DealtBatch deal(Rng& rng, std::size_t, detail::Attempts& attempts) {
    return detail::deal_one(attempts, [&] { return dealer_.template deal<Select>(rng); });
  }
  template <class V>
  Outcome record(std::size_t, DealRecorder<V>& recorder) const {
    return recorder.record_cards(dealer_.cards(), 0);
  }

 private:
  QuickDealer& dealer_;
};

template <class V>
class GeneralDeals {
 public:
  explicit GeneralDeals(const EquityRequest<V>& request) : request_(request), seats_(request.seat_count) {
    for (auto& cards : seats_) cards.reserve(V::CAPACITY);
    board_.reserve(V::CAPACITY);
  }
  std::size_t batch_size() const { return 1; }
  template <class Select>
  detail::DealtBatch deal(Rng& rng, std::size_t, detail::Attempts& attempts) {
    return detail::deal_one(attempts, [&] {
      if (!request_.weighted) return vantor::deal(request_, rng, seats_, board_);
      const std::optional<double> w = deal_weighted(request_, rng, seats_, board_, scratch_);
      if (w) weight_ = *w;
      return w.has_value();
    });
  }
  Outcome record(std::size_t, DealRecorder<V>& recorder) const {
    return recorder.record([this](std::size_t seat) { return std::span<const Card>(seats_[seat]); },
                           board_, weight_);
  }

 private:
  const EquityRequest<V>& request_;
  std::vector<std::vector<Card>> seats_;
  std::vector<Card> board_;
  WeighingScratch scratch_;
  double weight_ = 1.0;
};

// The one chunk loop: batches from `dealer` until `samples` deals are
// recorded, the attempt limit is reached (an error) or `stop` is set (the
// partial result is returned for the caller to discard).
template <class V, class Select, class Dealer>
  requires ChunkDealer<Dealer, V>
Result<ChunkResult> run_dealer(const EquityRequest<V>& request, Dealer& dealer,
                               std::uint64_t samples, std::uint64_t seed,
                               const std::atomic<bool>* stop) {
  ChunkResult result = ChunkResult::empty(request.seat_count);
  Rng rng = Rng::seed_from_u64(seed);
  DealRecorder<V> recorder(request.seat_count, result);
  detail::Attempts attempts(samples, stop);
  std::uint64_t accepted = 0;
  while (accepted < samples) {
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(dealer.batch_size(), samples - accepted));
    const detail::DealtBatch batch = dealer.template deal<Select>(rng, want, attempts);
    if constexpr (requires { dealer.record_all(batch.accepted, recorder); }) {
      if (auto recorded = dealer.record_all(batch.accepted, recorder); !recorded) [[unlikely]]
        return recorded.error();
    } else {
      for (std::size_t j = 0; j < batch.accepted; ++j)
        if (auto recorded = dealer.record(j, recorder); !recorded) [[unlikely]]
          return recorded.error();
    }
    accepted += batch.accepted;
    if (batch.end != detail::Attempts::Next::Deal) [[unlikely]] {
      if (batch.end == detail::Attempts::Next::Stalled)
        return EquityError::SamplingStalled{attempts.limit(), accepted};
      break;
    }
  }
  recorder.finish();
  result.attempts = attempts.count();
  return result;
}

// `stop`, when set, ends the chunk early with whatever it holds (the caller
// discards it); it is looked at every few thousand attempts.
template <class V>
Result<ChunkResult> run_chunk(const EquityRequest<V>& request, std::uint64_t samples,
                              std::uint64_t seed, const std::atomic<bool>* stop = nullptr) {
  if (samples == 0) return ChunkResult::empty(request.seat_count);
  // The mask dealers' hot loops are compiled for both card selections.
  const auto run = [&](auto& dealer) {
    if (fast_bit_deposit())
      return run_dealer<V, BitDepositSelect>(request, dealer, samples, seed, stop);
    return run_dealer<V, PortableSelect>(request, dealer, samples, seed, stop);
  };
  if (!request.weighted) {
    if (std::optional<ScheduledDealer> scheduled = ScheduledDealer::of(request, samples)) {
      ScheduledBatches batches(*scheduled);
      return run(batches);
    }
    if (std::optional<QuickDealer> quick = QuickDealer::of(request)) {
      QuickDeals deals(*quick);
      return run(deals);
    }
  }
  GeneralDeals<V> general(request);
  return run_dealer<V, PortableSelect>(request, general, samples, seed, stop);
}

}  // namespace vantor
