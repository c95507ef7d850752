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
  std::uint64_t count() const { return count_; }
  std::uint64_t limit() const { return limit_; }

 private:
  std::uint64_t limit_;
  std::uint64_t count_ = 0;
  const std::atomic<bool>* stop_;
};

// Records one accepted deal of weight 1 or `weight`; false with `error` set
// when the showdown fails.
template <class V, class HoleOf>
inline Outcome record_deal(Showdown<V>& showdown, OutcomeTally& tally, ChunkResult& result,
                           HoleOf&& hole, std::span<const Card> board, double weight) {
  if constexpr (SCORE_GAME<V>) {
    if (weight == 1.0) {
      const Result<SeatMask> winners = showdown.winners(hole, board);
      if (!winners) return winners.error();
      tally.add(*winners);
      if (tally.wants_flush()) [[unlikely]]
        tally.flush_into(result);
      return Ok{};
    }
  }
  return showdown.play(hole, board, result, weight);
}

// Records the accepted deal whose cards a mask dealer (`ScheduledDealer` or
// `QuickDealer`) left at `cards`: seat i's at i * STRIDE, the board's after
// the seats. `strided`: a hold'em-like game with the usual card counts,
// whose winners come straight from those buffers.
template <class V, class Dealer>
inline Outcome record_dealt(Showdown<V>& showdown, OutcomeTally& tally, ChunkResult& result,
                            const Dealer& dealer, const Card* cards, bool strided) {
  constexpr std::size_t STRIDE = Dealer::STRIDE;
  const std::size_t seats = showdown.seat_count();
  if constexpr (SHARED_BOARD_GAME<V>) {
    if (strided) [[likely]] {
      tally.add(showdown.winners_strided(cards, STRIDE, cards + seats * STRIDE));
      if (tally.wants_flush()) [[unlikely]]
        tally.flush_into(result);
      return Ok{};
    }
  }
  const auto hole = [&](std::size_t seat) {
    return std::span<const Card>(cards + seat * STRIDE, dealer.size(seat));
  };
  const std::span<const Card> board(cards + seats * STRIDE, dealer.size(seats));
  return record_deal(showdown, tally, result, hole, board, 1.0);
}

// The chunk loop over the scheduled dealer: deals a batch, then scores it.
template <class V, class Select>
Result<ChunkResult> scheduled_chunk(const EquityRequest<V>& request, ScheduledDealer& dealer,
                                    std::uint64_t samples, std::uint64_t seed,
                                    const std::atomic<bool>* stop) {
  const std::size_t seats = request.seat_count;
  ChunkResult result = ChunkResult::empty(seats);
  Rng rng = Rng::seed_from_u64(seed);
  Showdown<V> showdown(seats);
  OutcomeTally tally(seats);
  Attempts attempts(samples, stop);
  bool strided = false;
  if constexpr (SHARED_BOARD_GAME<V>) strided = dealer.shaped(V::HOLE_CARDS, V::BOARD_CARDS);
  std::uint64_t accepted = 0;
  while (accepted < samples) {
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(dealer.batch_size(), samples - accepted));
    if (!attempts.take(count)) [[unlikely]]
      break;
    dealer.template deal_batch<Select>(rng, count);
    accepted += count;
    for (std::size_t j = 0; j < count; ++j)
      if (auto recorded = record_dealt(showdown, tally, result, dealer, dealer.slot(j), strided);
          !recorded) [[unlikely]]
        return recorded.error();
  }
  tally.flush_into(result);
  result.attempts = attempts.count();
  return result;
}

// The chunk loop over the quick dealer; `Select` picks cards (the portable
// select or the bit-deposit one), with identical results.
template <class V, class Select>
Result<ChunkResult> quick_chunk(const EquityRequest<V>& request, QuickDealer& dealer,
                                std::uint64_t samples, std::uint64_t seed,
                                const std::atomic<bool>* stop) {
  const std::size_t seats = request.seat_count;
  ChunkResult result = ChunkResult::empty(seats);
  Rng rng = Rng::seed_from_u64(seed);
  Showdown<V> showdown(seats);
  OutcomeTally tally(seats);
  Attempts attempts(samples, stop);
  std::uint64_t accepted = 0;
  bool strided = false;
  if constexpr (SHARED_BOARD_GAME<V>) strided = dealer.shaped(V::HOLE_CARDS, V::BOARD_CARDS);
  while (accepted < samples) {
    if (const auto next = attempts.next(); next != Attempts::Next::Deal) [[unlikely]] {
      if (next == Attempts::Next::Stalled) return EquityError::SamplingStalled{attempts.limit(), accepted};
      break;
    }
    if (!dealer.deal<Select>(rng)) continue;
    ++accepted;
    if (auto recorded = record_dealt(showdown, tally, result, dealer, dealer.buffer(), strided);
        !recorded) [[unlikely]]
      return recorded.error();
  }
  tally.flush_into(result);
  result.attempts = attempts.count();
  return result;
}

}  // namespace detail

// `stop`, when set, ends the chunk early with whatever it holds (the caller
// discards it); it is looked at every few thousand attempts.
template <class V>
Result<ChunkResult> run_chunk(const EquityRequest<V>& request, std::uint64_t samples,
                              std::uint64_t seed, const std::atomic<bool>* stop = nullptr) {
  const std::size_t seats = request.seat_count;
  if (samples == 0) return ChunkResult::empty(seats);

  if (!request.weighted) {
    if (std::optional<ScheduledDealer> scheduled = ScheduledDealer::of(request)) {
      if (fast_bit_deposit())
        return detail::scheduled_chunk<V, BitDepositSelect>(request, *scheduled, samples, seed, stop);
      return detail::scheduled_chunk<V, PortableSelect>(request, *scheduled, samples, seed, stop);
    }
    if (std::optional<QuickDealer> quick = QuickDealer::of(request)) {
      if (fast_bit_deposit())
        return detail::quick_chunk<V, BitDepositSelect>(request, *quick, samples, seed, stop);
      return detail::quick_chunk<V, PortableSelect>(request, *quick, samples, seed, stop);
    }
  }

  ChunkResult result = ChunkResult::empty(seats);
  Rng rng = Rng::seed_from_u64(seed);
  std::vector<std::vector<Card>> dealt(seats);
  for (auto& cards : dealt) cards.reserve(V::CAPACITY);
  std::vector<Card> board;
  board.reserve(V::CAPACITY);
  WeighingScratch scratch;
  Showdown<V> showdown(seats);
  OutcomeTally tally(seats);
  const auto hole = [&dealt](std::size_t seat) { return std::span<const Card>(dealt[seat]); };

  detail::Attempts attempts(samples, stop);
  std::uint64_t accepted = 0;
  while (accepted < samples) {
    if (const auto next = attempts.next(); next != detail::Attempts::Next::Deal) [[unlikely]] {
      if (next == detail::Attempts::Next::Stalled) return EquityError::SamplingStalled{attempts.limit(), accepted};
      break;
    }
    double weight = 1.0;
    if (request.weighted) {
      const std::optional<double> w = deal_weighted(request, rng, dealt, board, scratch);
      if (!w) continue;
      weight = *w;
    } else if (!deal(request, rng, dealt, board)) {
      continue;
    }
    ++accepted;
    if (auto recorded = detail::record_deal(showdown, tally, result, hole, board, weight); !recorded)
      return recorded.error();
  }
  tally.flush_into(result);
  result.attempts = attempts.count();
  return result;
}

}  // namespace vantor
