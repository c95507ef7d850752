// Can these cards fill these slots, one card per slot and no card twice?
//
// A bipartite matching by augmenting paths. The graphs are tiny (a hand's
// slots, a few dozen cards), so slot masks are tested directly and small
// inputs use fixed arrays on the stack: no allocation.
#pragma once

#include <span>

#include "cards/card.h"

namespace vantor {

// True when every slot can be given its own card of `cards` that its set
// contains; leftover cards are allowed. Cards count by position, so a card
// listed twice counts as two.
bool has_perfect_matching(std::span<const CardSet> slots, std::span<const Card> cards);

}  // namespace vantor
