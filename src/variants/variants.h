// The registry of the fifteen games. Each game is a data-free type carrying its
// constants (KEY, LABEL, HOLE_CARDS, BOARD_CARDS, DECK, DECK_SIZE, CAPACITY,
// DETAILED_AWARD) and its rules (score, winning_seats, award_detailed); the
// engine is templated over them.
//
//   for_each_variant([](auto v) {
//     using V = typename decltype(v)::type;
//     use(V::KEY, V::HOLE_CARDS);
//   });
#pragma once

#include <type_traits>
#include <utility>

#include "variants/draw.h"
#include "variants/holdem.h"
#include "variants/omaha.h"
#include "variants/stud.h"

namespace vantor {

template <class... V>
struct VariantList {};

// Registry order: the order of the game list callers see.
using AllVariants = VariantList<Holdem, ShortDeck, Omaha, OmahaFive, OmahaSix, OmahaHiLo,
                                OmahaFiveHiLo, Courchevel, CourchevelHiLo, Stud, StudHiLo, Razz,
                                DeuceSeven, FiveCardDraw, Badugi>;

namespace detail {
template <class F, class... V>
constexpr void for_each_in(VariantList<V...>, F& f) {
  (f(std::type_identity<V>{}), ...);
}
}  // namespace detail

// Calls f(std::type_identity<V>{}) for every variant V in registry order.
template <class F>
constexpr void for_each_variant(F&& f) {
  detail::for_each_in(AllVariants{}, f);
}

}  // namespace vantor
