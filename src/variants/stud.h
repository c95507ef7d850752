// Seven-card games without a board: Seven-Card Stud, Stud Hi/Lo and Razz.
#pragma once

#include <string_view>

#include "variants/rankings/ranking.h"
#include "variants/rules.h"

namespace vantor {

struct Stud : detail::Traits<7, 0, Dealing::Stud>, detail::SingleWinner<Stud> {
  static constexpr std::string_view KEY = "stud";
  static constexpr std::string_view LABEL = "Seven-Card Stud";
  static constexpr std::string_view KERNEL = "high";

  static std::uint32_t score(std::span<const Card> hand) { return vantor::score(hand, HIGH_RANKING); }
};

// The best ace-to-five low takes the whole pot; no qualifier, and suits never
// matter.
struct Razz : detail::Traits<7, 0, Dealing::Stud>, detail::SingleWinner<Razz> {
  static constexpr std::string_view KEY = "razz";
  static constexpr std::string_view LABEL = "Razz";
  static constexpr std::string_view KERNEL = "low_a5";
  static constexpr bool SUITS_MATTER = false;

  static std::uint32_t score(std::span<const Card> hand) {
    return vantor::score(hand, ACE_FIVE_RANKING);
  }
};

// Half the pot to the best high, half to the best eight-or-better low.
struct StudHiLo : detail::Traits<7, 0, Dealing::Stud> {
  static constexpr std::string_view KEY = "stud_hi_lo";
  static constexpr std::string_view LABEL = "Seven-Card Stud Hi/Lo";
  static constexpr std::string_view KERNEL = "high";
  static constexpr bool DETAILED_AWARD = true;
  static constexpr ScoreAward SCORE_AWARD = ScoreAward::HiLo;

  // The high score; the low half is `low_score`.
  static std::uint32_t score(std::span<const Card> hand) { return vantor::score(hand, HIGH_RANKING); }
  static std::uint32_t low_score(std::span<const Card> hand) {
    return vantor::score(hand, ACE_FIVE_RANKING);
  }

  static SeatMask winning_seats(Hands hands) {
    return lowest_seats(hands, [](std::span<const Card> hand) { return score(hand); });
  }
  static SeatMask best_low_seats(Hands hands) {
    return lowest_seats(hands, [](std::span<const Card> hand) { return low_score(hand); },
                        EightOrBetter{});
  }
  static Outcome award_detailed(Hands hands, std::span<double> shares,
                                std::span<double> low_shares) {
    hi_lo_award(winning_seats(hands), best_low_seats(hands), shares, low_shares);
    return Ok{};
  }
};

}  // namespace vantor
