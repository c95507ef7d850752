// The rules contract every variant implements, shared as small bases: a
// variant supplies its constants and `score`, a base supplies the award.
//
//   Holdem::score(hand)                      // lower is better
//   Holdem::winning_seats(hands)             // seat mask of the best hands
//   Holdem::award_detailed(hands, shares, low_shares)
#pragma once

#include <cstdint>
#include <span>

#include "cards/card.h"
#include "error/error.h"
#include "variants/equity/award.h"

namespace vantor {

using Hands = std::span<const std::span<const Card>>;

namespace detail {

// A single winner per pot, chosen by the variant's own `score`.
template <class V>
struct SingleWinner {
  static constexpr bool DETAILED_AWARD = false;

  static SeatMask winning_seats(Hands hands) {
    return lowest_seats(hands, [](std::span<const Card> hand) { return V::score(hand); });
  }
  static Outcome award_detailed(Hands hands, std::span<double> shares, std::span<double>) {
    default_award(V::winning_seats(hands), shares);
    return Ok{};
  }
};

}  // namespace detail
}  // namespace vantor
