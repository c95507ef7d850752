// Counting and walking the k-subsets of a set: the one binomial and the one
// combination walker that listing, shape plans and the exact walk share.
//
//   binomial(48, 5);                                   // 1,712,304
//   for_each_combination(48, 5, [&](const auto& idx, unsigned from) {
//     // idx[0] < ... < idx[4]; only idx[from..] changed since the last call
//     return true;                                     // false stops the walk
//   });
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "sampler/u128.h"

namespace vantor {

// C(n, k): 0 when k > n. Built as a running product divided step by step, so
// every partial value is itself a binomial coefficient; an overflowing
// product saturates before its division.
constexpr u128 binomial(std::uint64_t n, std::uint64_t k) {
  if (k > n) return 0;
  const std::uint64_t m = std::min(k, n - k);
  u128 r = 1;
  for (std::uint64_t i = 1; i <= m; ++i) r = sat_mul(r, n - i + 1) / i;
  return r;
}

// The most positions one combination may hold (a card set never has more).
inline constexpr unsigned MAX_CHOSEN = 64;
using ChosenPositions = std::array<unsigned, MAX_CHOSEN>;

// Visits every k-subset of the positions 0 .. m-1 once, in lexicographic
// order: `visit(idx, from)` sees the subset as idx[0] < ... < idx[k-1] and is
// told that idx[from ..] changed since its previous call, so it can extend
// partial sums from there (from = 0 on the first call). It answers false to
// stop, and then so does the walk. No subset (k > m): no call. k = 0: one
// call with the empty subset.
template <class Visit>
inline bool for_each_combination(unsigned m, unsigned k, Visit&& visit) {
  if (k > m) return true;
  if (k > MAX_CHOSEN) throw std::length_error("more positions than a card set holds");
  ChosenPositions idx;
  for (unsigned i = 0; i < k; ++i) idx[i] = i;
  unsigned from = 0;
  for (;;) {
    if (!visit(static_cast<const ChosenPositions&>(idx), from)) return false;
    unsigned d = k;
    while (d > 0 && idx[d - 1] == m - k + d - 1) --d;
    if (d == 0) return true;
    ++idx[d - 1];
    for (unsigned e = d; e < k; ++e) idx[e] = idx[e - 1] + 1;
    from = d - 1;
  }
}

}  // namespace vantor
