// Hold'em and Short Deck Hold'em: the best five of two hole and five board cards.
#pragma once

#include <string_view>

#include "variants/rankings/ranking.h"
#include "variants/rules.h"

namespace vantor {

struct Holdem : detail::Traits<2, 5, Dealing::Board>, detail::SingleWinner<Holdem> {
  static constexpr std::string_view KEY = "holdem";
  static constexpr std::string_view LABEL = "Hold'em";
  static constexpr std::string_view KERNEL = "high";
  static constexpr const Ranking* SHARED_BOARD_RANKING = &HIGH_RANKING;

  static std::uint32_t score(std::span<const Card> hand) { return vantor::score(hand, HIGH_RANKING); }
};

// Sixes to aces: the twos to fives are not in the deck.
struct ShortDeck : detail::Traits<2, 5, Dealing::Board, 0xFFFFFFFFF0000ull>,
                   detail::SingleWinner<ShortDeck> {
  static constexpr std::string_view KEY = "short_deck";
  static constexpr std::string_view LABEL = "Short Deck Hold'em (flush beats full house)";
  static constexpr std::string_view KERNEL = "short_deck";
  static constexpr const Ranking* SHARED_BOARD_RANKING = &SHORT_DECK_RANKING;

  static std::uint32_t score(std::span<const Card> hand) {
    return vantor::score(hand, SHORT_DECK_RANKING);
  }
};

}  // namespace vantor
