// Exact enumeration: every holding each seat can take and every board, each
// deal recorded once with weight 1, or no answer when that is too much work.
//
// One limit of 50,000,000 bounds the holdings any alternative may list, the
// product of the seats' holding counts and the showdowns walked; past any of
// them the answer is none (never an error).
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
#include "sampler/draw.h"
#include "sampler/u128.h"

namespace vantor {

inline constexpr std::uint64_t WALK_LIMIT = 50'000'000;

namespace detail {

// The length of each seat's list, judged from counts before anything is
// listed: the sum over its holdings of `SlotSampler::set_count` (an upper
// bound where a holding has no shape plan). nullopt when some holding alone
// lists more than the limit.
struct SeatSizes {
  std::vector<std::uint64_t> sizes;
  bool exact = true;
};

template <class V>
std::optional<SeatSizes> seat_sizes(const EquityRequest<V>& request) {
  SeatSizes out;
  for (std::size_t i = 0; i < request.seat_count; ++i) {
    const auto& samplers = request.samplers[i];
    std::vector<std::uint64_t> counts(samplers.size());
    u128 size = 0;
    for (std::size_t k = 0; k < samplers.size(); ++k) {
      if (const std::uint32_t first = request.alike[i][k]; first != k) {
        counts[k] = counts[first];
      } else {
        const auto count = samplers[k].set_count(request.live, WALK_LIMIT);
        if (!count) return std::nullopt;
        counts[k] = count->count;
        out.exact = out.exact && count->exact;
      }
      size += counts[k];
    }
    out.sizes.push_back(static_cast<std::uint64_t>(std::min<u128>(size, WALK_LIMIT + u128{1})));
  }
  return out;
}

// Seat i's list: every holding's card sets in holding order, each distinct
// holding listed once and copied for the holdings equal to it. Nothing when
// the list alone passes `room` (or on stop).
template <class V>
std::optional<CardLists> seat_list(const EquityRequest<V>& request, std::size_t i,
                                   std::uint64_t reserve, std::uint64_t room,
                                   const std::atomic<bool>* stop) {
  const auto& samplers = request.samplers[i];
  std::optional<CardLists> list;
  std::vector<std::pair<std::size_t, std::size_t>> ranges(samplers.size());  // first list, count
  for (std::size_t k = 0; k < samplers.size(); ++k) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return std::nullopt;
    const std::size_t at = list ? list->size() : 0;
    if (const std::uint32_t first = request.alike[i][k]; first != k) {
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
  for (const auto& holdings : request.samplers)
    if (holdings.empty()) return none;

  // The budget is judged from counts, so a refused spot lists nothing.
  const std::optional<detail::SeatSizes> sizes = detail::seat_sizes(request);
  if (!sizes) return none;
  u128 product = 1;
  for (std::uint64_t size : sizes->sizes) {
    if (size == 0) return none;
    product = sat_mul(product, size);
  }
  if (product > WALK_LIMIT && sizes->exact) return none;

  // Listing may still find a seat's list shorter than its bound.
  std::vector<CardLists> lists;
  lists.reserve(seats);
  product = 1;
  for (std::size_t i = 0; i < seats; ++i) {
    const std::uint64_t room = static_cast<std::uint64_t>(WALK_LIMIT / product);
    std::optional<CardLists> list =
        detail::seat_list(request, i, std::min(sizes->sizes[i], room), room, stop);
    if (!list || list->empty()) return none;
    product = sat_mul(product, list->size());
    lists.push_back(*std::move(list));
  }

  ChunkResult result = ChunkResult::empty(seats);
  result.exact = true;
  Walk<V> walk(request, lists, result, WALK_LIMIT, stop);
  Result<bool> done = walk.run(request.live);
  if (!done) return done.error();
  if (!*done) return none;
  return std::optional<ChunkResult>(std::move(result));
}

}  // namespace vantor
