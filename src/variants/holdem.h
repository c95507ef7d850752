// Hold'em and Short Deck Hold'em: the best five of two hole and five board cards.
#pragma once

#include <string_view>

#include "variants/rankings/ranking.h"
#include "variants/rules.h"

namespace vantor {

struct Holdem : detail::SingleWinner<Holdem> {
  static constexpr std::string_view KEY = "holdem";
  static constexpr std::string_view LABEL = "Hold'em";
  static constexpr unsigned HOLE_CARDS = 2, BOARD_CARDS = 5;
  static constexpr CardSet DECK = CardSet::full_deck();
  static constexpr unsigned DECK_SIZE = 52;
  static constexpr unsigned CAPACITY = HOLE_CARDS + BOARD_CARDS;

  static std::uint32_t score(std::span<const Card> hand) { return vantor::score(hand, HIGH_RANKING); }
};

struct ShortDeck : detail::SingleWinner<ShortDeck> {
  static constexpr std::string_view KEY = "short_deck";
  static constexpr std::string_view LABEL = "Short Deck Hold'em (flush beats full house)";
  static constexpr unsigned HOLE_CARDS = 2, BOARD_CARDS = 5;
  static constexpr CardSet DECK = CardSet(0xFFFFFFFFF0000ull);  // sixes to aces
  static constexpr unsigned DECK_SIZE = 36;
  static constexpr unsigned CAPACITY = HOLE_CARDS + BOARD_CARDS;

  static std::uint32_t score(std::span<const Card> hand) {
    return vantor::score(hand, SHORT_DECK_RANKING);
  }
};

}  // namespace vantor
