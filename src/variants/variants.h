// The registry of the fifteen games. Each game is a data-free type carrying
// its traits and rules (the `Variant` concept below lists them); the engine,
// the request and the Python binding are templates over them and read the
// traits, so a game is described in its own type and nowhere else.
//
//   for_each_variant([](auto v) {
//     using V = typename decltype(v)::type;
//     use(V::KEY, V::HOLE_CARDS);
//   });
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "variants/draw_games.h"
#include "variants/holdem.h"
#include "variants/omaha.h"
#include "variants/stud.h"

namespace vantor {

// What a game's type provides. Most constants come from `detail::Traits`;
// the rules from `detail::SingleWinner` or a game family's rules base.
template <class V>
concept Variant = requires(std::span<const Card> hand, Hands hands, std::span<double> shares) {
  // Identity: the key callers pass, the label `variants()` shows, and the
  // `score_batch` kernel its `score` serves.
  requires std::same_as<decltype(V::KEY), const std::string_view>;
  requires std::same_as<decltype(V::LABEL), const std::string_view>;
  requires std::same_as<decltype(V::KERNEL), const std::string_view>;
  requires std::same_as<decltype(V::REPEATED_CARD_SCORE), const std::optional<std::uint32_t>>;
  // The deal: cards per seat and on the board, the deck, how it deals.
  requires std::same_as<decltype(V::HOLE_CARDS), const unsigned>;
  requires std::same_as<decltype(V::BOARD_CARDS), const unsigned>;
  requires std::same_as<decltype(V::DECK), const CardSet>;
  requires std::same_as<decltype(V::DECK_SIZE), const unsigned>;
  requires std::same_as<decltype(V::CAPACITY), const unsigned>;
  requires std::same_as<decltype(V::DEALING), const Dealing>;
  requires std::same_as<decltype(V::FACE_UP_BOARD), const unsigned>;
  // The showdown: whether suits matter, the shared-board scorer if any,
  // whether the pot is awarded by `award_detailed` (hi/lo and Omaha) rather
  // than to the best `score`.
  requires std::same_as<decltype(V::SUITS_MATTER), const bool>;
  requires(std::same_as<decltype(V::SHARED_BOARD_RANKING), const Ranking* const> ||
           std::same_as<decltype(V::SHARED_BOARD_RANKING), const std::nullptr_t>);
  requires std::same_as<decltype(V::DETAILED_AWARD), const bool>;
  // How the award follows from seat scores (`low_score` for HiLo), and
  // whether a score is two hole cards with three board cards.
  requires std::same_as<decltype(V::SCORE_AWARD), const ScoreAward>;
  requires std::same_as<decltype(V::TWO_PLUS_THREE), const bool>;
  { V::score(hand) } -> std::same_as<std::uint32_t>;
  { V::winning_seats(hands) } -> std::same_as<SeatMask>;
  { V::award_detailed(hands, shares, shares) } -> std::same_as<Outcome>;
};

template <class... V>
  requires(Variant<V> && ...)
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
