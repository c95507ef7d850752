// Awarding rules the games share: who wins a pot, and how a deal's pot is split
// into per-seat shares (whole pot, and the part won through a low half).
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>
#include <span>

#include "cards/card.h"

namespace vantor {

using SeatMask = std::uint32_t;  // bit i names seat i

// Qualifier of the low half: eight-or-better lows are the ace-to-five classes 0..55.
inline constexpr std::uint32_t LOW_QUALIFIER = 56;

struct AlwaysQualifies {
  constexpr bool operator()(std::uint32_t) const { return true; }
};
struct EightOrBetter {
  constexpr bool operator()(std::uint32_t score) const { return score < LOW_QUALIFIER; }
};

// Seats holding the lowest score among those that qualify; 0 when none does.
template <class Score, class Qualifies = AlwaysQualifies>
inline SeatMask lowest_seats(std::span<const std::span<const Card>> hands, Score score,
                             Qualifies qualifies = {}) {
  SeatMask seats = 0;
  std::uint32_t best = 0;
  for (std::size_t seat = 0; seat < hands.size(); ++seat) {
    const std::uint32_t s = score(hands[seat]);
    if (!qualifies(s)) continue;
    if (seats == 0 || s < best) {
      best = s;
      seats = SeatMask{1} << seat;
    } else if (s == best) {
      seats |= SeatMask{1} << seat;
    }
  }
  return seats;
}

// Splits `amount` equally among the seats of `seats` into `into`.
inline void split_among(SeatMask seats, double amount, std::span<double> into) {
  const double each = amount / std::popcount(seats);
  for (; seats != 0; seats &= seats - 1) {
    const auto seat = static_cast<std::size_t>(std::countr_zero(seats));
    assert(seat < into.size());
    into[seat] += each;
  }
}

// The whole pot to the winners in equal parts; low shares stay untouched.
inline void default_award(SeatMask winners, std::span<double> shares) {
  if (winners != 0) split_among(winners, 1.0, shares);
}

// Half to the best qualifying low (also counted in low_shares) and half to the
// best high; with no qualifying low the high takes the whole pot.
inline void hi_lo_award(SeatMask high, SeatMask low, std::span<double> shares,
                        std::span<double> low_shares) {
  double high_part = 1.0;
  if (low != 0) {
    split_among(low, 0.5, shares);
    split_among(low, 0.5, low_shares);
    high_part = 0.5;
  }
  if (high != 0) split_among(high, high_part, shares);
}

}  // namespace vantor
