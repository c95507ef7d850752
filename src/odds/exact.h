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
  for (const auto& holdings : request.samplers) {
    u128 known = 0;
    for (const SlotSampler& sampler : holdings) {
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

}  // namespace detail

template <class V>
Result<std::optional<ChunkResult>> run_exact(const EquityRequest<V>& request,
                                             const std::atomic<bool>* stop = nullptr) {
  const std::size_t seats = request.seat_count;
  if (detail::certainly_too_many(request)) return std::optional<ChunkResult>();

  std::vector<CardLists> lists;
  lists.reserve(seats);
  u128 product = 1;
  for (std::size_t i = 0; i < seats; ++i) {
    const auto& holdings = request.samplers[i];
    if (holdings.empty()) return std::optional<ChunkResult>();
    std::optional<CardLists> list;
    for (const SlotSampler& sampler : holdings) {
      std::optional<CardLists> sets = sampler.all_sets(request.live, WALK_LIMIT);
      if (!sets) return std::optional<ChunkResult>();
      if (!list) {
        list = std::move(sets);
        continue;
      }
      list->reserve(list->size() + sets->size());
      for (std::size_t k = 0; k < sets->size(); ++k) list->push_back((*sets)[k]);
    }
    if (list->empty()) return EquityError::Infeasible{"the hands, board and dead cards together"};
    product = sat_mul(product, list->size());
    if (product > WALK_LIMIT) return std::optional<ChunkResult>();
    lists.push_back(*std::move(list));
  }

  ChunkResult result = ChunkResult::empty(seats);
  result.exact = true;
  Walk<V> walk(request, lists, result, WALK_LIMIT, stop);
  Result<bool> done = walk.run(request.live);
  if (!done) return done.error();
  if (!*done) return std::optional<ChunkResult>();
  // A finished walk that met no deal: the spot cannot be dealt at all.
  if (result.samples == 0)
    return EquityError::Infeasible{"the hands, board and dead cards together"};
  return std::optional<ChunkResult>(std::move(result));
}

}  // namespace vantor
