// Small helpers shared by the sampling tests: cards by name and a slow,
// obviously correct listing of the card sets that fill a holding.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "sampler/matching.h"

namespace vantor::test_support {

inline Card card(const char* text) { return Card::parse_field(text).value().at(0); }
inline CardSet one(const char* text) { return CardSet::single(card(text)); }

inline std::uint64_t mask_of(std::span<const Card> cards) {
  std::uint64_t m = 0;
  for (Card c : cards) m |= std::uint64_t{1} << c.index();
  return m;
}

inline void collect(const std::vector<CardSet>& slots, const std::vector<Card>& cards,
                    std::size_t from, std::vector<Card>& pick, std::set<std::uint64_t>& out) {
  if (pick.size() == slots.size()) {
    if (has_perfect_matching(slots, pick)) out.insert(mask_of(pick));
    return;
  }
  for (std::size_t i = from; i < cards.size(); ++i) {
    pick.push_back(cards[i]);
    collect(slots, cards, i + 1, pick, out);
    pick.pop_back();
  }
}

// Every card set of `universe` that fills the slots, by trying every subset.
inline std::set<std::uint64_t> brute_force_sets(const std::vector<CardSet>& slots,
                                                CardSet universe) {
  CardSet used;
  for (CardSet s : slots) used |= s;
  std::set<std::uint64_t> out;
  std::vector<Card> pick;
  collect(slots, (universe & used).to_vector(), 0, pick, out);
  return out;
}

}  // namespace vantor::test_support
