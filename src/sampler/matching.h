// Can these cards fill these slots, one card per slot and no card twice? And
// can the seats and the board of a spot all be dealt at once?
//
// Bipartite matchings by augmenting paths. The graphs are tiny (a hand's
// slots, a few dozen cards), so slot masks are tested directly and
// `has_perfect_matching` keeps small inputs in fixed arrays on the stack.
#pragma once

#include <span>

#include "cards/card.h"
#include "notation/hand_spec.h"

namespace vantor {

// True when every slot can be given its own card of `cards` that its set
// contains; leftover cards are allowed. Cards count by position, so a card
// listed twice counts as two.
bool has_perfect_matching(std::span<const CardSet> slots, std::span<const Card> cards);

// False when no deal can give every seat one of its holdings and the board
// its slots, all with distinct `live` cards: the slots of all seats (merged
// position by position over each seat's holdings) and of the board admit no
// matching, or a short search over whole holdings finds none fits. A
// necessary condition only: a spot it accepts may still have no fitting deal.
[[nodiscard]] bool deal_may_exist(std::span<const HandSpec> seats, std::span<const CardSet> board,
                                  CardSet live);

}  // namespace vantor
