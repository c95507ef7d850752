// Draw games without a board: 2-7 Lowball, 5-Card Draw and Badugi. A seat's
// buffer is the cards it keeps plus the cards it draws, dealt like any unseen card.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string_view>

#include "variants/rankings/ranking.h"
#include "variants/rules.h"

namespace vantor {

struct DeuceSeven : detail::Traits<5, 0, Dealing::Draw>, detail::SingleWinner<DeuceSeven> {
  static constexpr std::string_view KEY = "deuce_seven";
  static constexpr std::string_view LABEL = "2-7 Lowball (single draw)";
  static constexpr std::string_view KERNEL = "deuce_seven";

  static std::uint32_t score(std::span<const Card> hand) {
    return vantor::score(hand, DEUCE_SEVEN_RANKING);
  }
};

struct FiveCardDraw : detail::Traits<5, 0, Dealing::Draw>, detail::SingleWinner<FiveCardDraw> {
  static constexpr std::string_view KEY = "five_card_draw";
  static constexpr std::string_view LABEL = "5-Card Draw";
  static constexpr std::string_view KERNEL = "high";

  static std::uint32_t score(std::span<const Card> hand) { return vantor::score(hand, HIGH_RANKING); }
};

namespace detail {

// Badugi rank value: ace 1, deuce 2, ..., king 13.
constexpr unsigned badugi_rank(Card c) { return c.rank() == 12 ? 1u : c.rank() + 2u; }

// Score of a badugi given as a mask of badugi rank values (bit v for value v):
// (4 - size) in bits 16..19, then the values high to low in four-bit fields.
constexpr std::uint32_t badugi_value(unsigned values) {
  const int size = std::popcount(values);
  std::uint32_t out = static_cast<std::uint32_t>(4 - size) << 16;
  int shift = 12;
  for (unsigned v = 13; v >= 1; --v)
    if ((values >> v) & 1u) {
      out |= v << shift;
      shift -= 4;
    }
  return out;
}

// Whether the ranks of `values` (at most four) can each take a different suit,
// given the suits each rank value is held in.
constexpr bool distinct_suits(const std::array<unsigned, 14>& suits_of, unsigned values,
                              unsigned used = 0) {
  if (values == 0) return true;
  const int v = std::countr_zero(values);
  for (unsigned free = suits_of[v] & ~used; free != 0; free &= free - 1)
    if (distinct_suits(suits_of, values & (values - 1), used | (free & -free))) return true;
  return false;
}

// Best badugi among any number of cards: every set of at most four rank values
// whose ranks can take four different suits. Repeated cards change nothing.
inline std::uint32_t badugi_any(std::span<const Card> cards) {
  std::array<unsigned, 14> suits_of{};
  unsigned present = 0;
  for (Card c : cards) {
    suits_of[badugi_rank(c)] |= 1u << c.suit();
    present |= 1u << badugi_rank(c);
  }
  std::uint32_t best = NO_HAND;
  for (unsigned values = present; values != 0; values = (values - 1) & present) {
    if (std::popcount(values) > 4) continue;
    const std::uint32_t value = badugi_value(values);
    if (value < best && distinct_suits(suits_of, values)) best = value;
  }
  return best;
}

}  // namespace detail

struct Badugi : detail::Traits<4, 0, Dealing::Draw>, detail::SingleWinner<Badugi> {
  static constexpr std::string_view KEY = "badugi";
  static constexpr std::string_view LABEL = "Badugi (single draw)";
  static constexpr std::string_view KERNEL = "badugi";
  // Defined over any cards: a repeated card simply changes nothing.
  static constexpr std::optional<std::uint32_t> REPEATED_CARD_SCORE = std::nullopt;

  // The best badugi: most cards of distinct ranks and suits, then the lowest
  // ranks from the top down. NO_HAND for no cards.
  static std::uint32_t score(std::span<const Card> hand) {
    if (hand.size() > 4) return detail::badugi_any(hand);
    std::uint32_t best = NO_HAND;
    const unsigned n = static_cast<unsigned>(hand.size());
    for (unsigned subset = 1; subset < (1u << n); ++subset) {
      unsigned values = 0, suits = 0;
      bool badugi = true;
      for (unsigned i = 0; i < n && badugi; ++i) {
        if (((subset >> i) & 1u) == 0) continue;
        const unsigned value = 1u << detail::badugi_rank(hand[i]);
        const unsigned suit = 1u << hand[i].suit();
        badugi = (values & value) == 0 && (suits & suit) == 0;
        values |= value;
        suits |= suit;
      }
      if (badugi) best = std::min(best, detail::badugi_value(values));
    }
    return best;
  }
};

}  // namespace vantor
