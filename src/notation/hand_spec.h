// One seat's hand as the engine sees it: alternatives of slot-set lists.
//
// A slot set names the cards that may fill one position (one bit for a named
// card, four for "any ace", the full deck for "*"). A holding is one slot set
// per card; a HandSpec lists the holdings the seat may hold, in text order.
//
//   HandSpec ak = HandSpec::from_combos(combos);  // one holding [first], [second] per combo
#pragma once

#include <array>
#include <span>
#include <vector>

#include "cards/card.h"

namespace vantor {

using Holding = std::vector<CardSet>;

struct HandSpec {
  std::vector<Holding> holdings;

  // Each two-card combo becomes the holding [first card], [second card].
  static HandSpec from_combos(std::span<const std::array<Card, 2>> combos) {
    HandSpec hand;
    hand.holdings.reserve(combos.size());
    for (const auto& combo : combos)
      hand.holdings.push_back(Holding{CardSet::single(combo[0]), CardSet::single(combo[1])});
    return hand;
  }

  friend bool operator==(const HandSpec&, const HandSpec&) = default;
};

}  // namespace vantor
