// Exact enumeration: every holding each seat can take and every board, each
// deal recorded once with weight 1, or no answer when that is too much work.
//
// One limit of 50,000,000 bounds the holdings any alternative may list, the
// product of the seats' holding counts and the showdowns walked; past any of
// them the answer is none (never an error). A walk that finds no deal at all
// fails with the infeasible-spot error.
//
//   Result<std::optional<ChunkResult>> r = run_exact(request);
//   if (r && *r) use(**r);   // an empty optional: too many deals to walk
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "error/error.h"
#include "odds/request.h"
#include "odds/result.h"
#include "odds/walk.h"
#include "sampler/card_lists.h"
#include "sampler/combinations.h"
#include "sampler/draw.h"

namespace vantor {

inline constexpr std::uint64_t WALK_LIMIT = 50'000'000;

namespace detail {

// How many card sets an unconstrained holding lists from `available`; none
// for a holding whose list needs the sampler itself.
inline std::optional<u128> open_set_count(const SlotSampler& sampler, CardSet available) {
  if (sampler.mode() != SamplerMode::Free) return std::nullopt;
  for (Card c : sampler.forced()) {
    if (!available.contains(c)) return 0;
    available.remove(c);
  }
  if (sampler.open_count() == 0) return 1;
  return binomial(available.count(), sampler.open_count());
}

// True when the seats' lists certainly overrun the limits, judged from the
// holdings that can be counted without listing them: a list of millions of
// sets is then never built. Each seat's list is at least the sum of its
// countable holdings (and at least 1, or the answer is none anyway).
template <class V>
bool certainly_too_many(const EquityRequest<V>& request) {
  u128 product = 1;
  for (const RequestEntry& seat : request.seats) {
    u128 known = 0;
    for (const SlotSampler& sampler : seat.samplers) {
      const std::optional<u128> count = open_set_count(sampler, request.live);
      if (!count) continue;
      if (*count > WALK_LIMIT) return true;
      known += *count;
    }
    product = sat_mul(product, std::max<u128>(known, 1));
    if (product > WALK_LIMIT) return true;
  }
  return false;
}

// The length of seat i's list, found without listing it: the sum over its
// holdings of `SlotSampler::set_count`, exact unless some holding has no
// shape plan (then an upper bound). Nothing when a holding alone lists more
// than the limit.
struct SeatSize {
  std::uint64_t size;
  bool exact;
};

template <class V>
std::optional<SeatSize> seat_size(const EquityRequest<V>& request, std::size_t i) {
  const auto& samplers = request.seats[i].samplers;
  std::vector<std::uint64_t> counts(samplers.size());
  u128 size = 0;
  bool exact = true;
  for (std::size_t k = 0; k < samplers.size(); ++k) {
    if (const std::uint32_t first = request.seats[i].alike[k]; first != k) {
      counts[k] = counts[first];
    } else {
      const auto count = samplers[k].set_count(request.live, WALK_LIMIT);
      if (!count) return std::nullopt;
      counts[k] = count->count;
      exact = exact && count->exact;
    }
    size += counts[k];
  }
  return SeatSize{static_cast<std::uint64_t>(std::min<u128>(size, WALK_LIMIT + u128{1})), exact};
}

// Seat i's list: every holding's card sets in holding order, each distinct
// holding listed once and copied for the holdings equal to it. Nothing when
// the list passes `room` (or on stop).
template <class V>
std::optional<CardLists> seat_list(const EquityRequest<V>& request, std::size_t i,
                                   std::uint64_t reserve, std::uint64_t room,
                                   const std::atomic<bool>* stop) {
  const auto& samplers = request.seats[i].samplers;
  std::optional<CardLists> list;
  std::vector<std::pair<std::size_t, std::size_t>> ranges(samplers.size());  // first list, count
  for (std::size_t k = 0; k < samplers.size(); ++k) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return std::nullopt;
    const std::size_t at = list ? list->size() : 0;
    if (const std::uint32_t first = request.seats[i].alike[k]; first != k) {
      ranges[k] = {at, ranges[first].second};
      if (ranges[k].second != 0) list->repeat(ranges[first].first, ranges[k].second);
    } else {
      std::optional<CardLists> sets = samplers[k].all_sets(request.live, WALK_LIMIT, stop);
      if (!sets) return std::nullopt;
      ranges[k] = {at, sets->size()};
      if (!list) {
        list.emplace(sets->width());
        list->reserve(static_cast<std::size_t>(reserve));
      }
      list->append(*sets);
    }
    if (list->size() > room) return std::nullopt;
  }
  return list;
}

}  // namespace detail

template <class V>
Result<std::optional<ChunkResult>> run_exact(const EquityRequest<V>& request,
                                             const std::atomic<bool>* stop = nullptr) {
  const std::size_t seats = request.seat_count;
  const std::optional<ChunkResult> none;
  if (detail::certainly_too_many(request)) return none;

  // Seats in order, as if listing them: a holding with too many card sets or
  // lists whose product passes the limit answer none, a seat with nothing
  // to hold fails. Judged from counts, so a refused spot lists nothing; only
  // a seat whose count is a bound is listed to learn its length.
  std::vector<std::optional<CardLists>> lists(seats);
  std::vector<std::uint64_t> sizes(seats);
  u128 product = 1;
  for (std::size_t i = 0; i < seats; ++i) {
    if (request.seats[i].samplers.empty()) return none;
    std::optional<detail::SeatSize> size = detail::seat_size(request, i);
    if (!size) return none;
    if (!size->exact) {
      const auto room = static_cast<std::uint64_t>(WALK_LIMIT / product);
      lists[i] = detail::seat_list(request, i, std::min(size->size, room), room, stop);
      if (!lists[i]) return none;
      size->size = lists[i]->size();
    }
    if (size->size == 0) return EquityError::Infeasible{"the hands, board and dead cards together"};
    product = sat_mul(product, size->size);
    if (product > WALK_LIMIT) return none;
    sizes[i] = size->size;
  }
  std::vector<CardLists> listed;
  listed.reserve(seats);
  for (std::size_t i = 0; i < seats; ++i) {
    if (!lists[i]) lists[i] = detail::seat_list(request, i, sizes[i], sizes[i], stop);
    if (!lists[i]) return none;
    listed.push_back(*std::move(lists[i]));
  }

  ChunkResult result = ChunkResult::empty(seats);
  result.exact = true;
  Walk<V> walk(request, listed, result, WALK_LIMIT, stop);
  Result<bool> done = walk.run(request.live);
  if (!done) return done.error();
  if (!*done) return none;
  // A finished walk that met no deal: the spot cannot be dealt at all.
  if (result.samples == 0)
    return EquityError::Infeasible{"the hands, board and dead cards together"};
  return std::optional<ChunkResult>(std::move(result));
}

}  // namespace vantor
