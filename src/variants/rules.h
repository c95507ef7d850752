// The rules contract every variant implements, shared as small bases: a
// variant supplies its traits and `score`, a base supplies the derived
// constants and the award.
//
//   Holdem::score(hand)                      // lower is better
//   Holdem::winning_seats(hands)             // seat mask of the best hands
//   Holdem::award_detailed(hands, shares, low_shares)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>

#include "cards/card.h"
#include "error/error.h"
#include "variants/equity/award.h"
#include "variants/rankings/ranking.h"

namespace vantor {

using Hands = std::span<const std::span<const Card>>;

// The score of a hand that cannot be made (too few hole or board cards).
inline constexpr std::uint32_t NO_HAND = 0xFFFFFFFF;

// How a game deals, which decides what an equity request asks of its seats.
enum class Dealing : std::uint8_t {
  Board,  // HOLE_CARDS per seat, every one named or open, and a BOARD_CARDS board
  Stud,   // seven per seat showing one common number of cards; from eight seats
          // on, six per seat and one card shared face up
  Draw,   // HOLE_CARDS per seat, no board; a seat names the cards it keeps
};

// Games whose seat score is one table score of hole plus board. Told by the
// trait's type, not by comparing an address, which not every build folds.
template <class V>
inline constexpr bool SHARED_BOARD_GAME =
    !std::is_same_v<std::remove_cv_t<decltype(V::SHARED_BOARD_RANKING)>, std::nullptr_t>;

// How a game's pot follows from each seat's own scores, for walks that score
// each seat once and compare: the lowest `score` takes it (Best), or half
// goes to the lowest `score` and half to the lowest eight-or-better
// `low_score` (HiLo).
enum class ScoreAward : std::uint8_t { Best, HiLo };

namespace detail {

// The constants of a game's deal, the derived ones computed, and the traits
// most games share; a game states its own where it differs.
template <unsigned HOLE, unsigned BOARD, Dealing HOW, std::uint64_t DECK_MASK = CardSet::FULL_MASK>
struct Traits {
  static constexpr unsigned HOLE_CARDS = HOLE, BOARD_CARDS = BOARD;
  static constexpr CardSet DECK = CardSet(DECK_MASK);
  static constexpr unsigned DECK_SIZE = DECK.count();
  static constexpr unsigned CAPACITY = HOLE_CARDS + BOARD_CARDS;  // a seat's hand buffer
  static constexpr Dealing DEALING = HOW;
  // Board cards every spot must already show (Courchevel turns one early).
  static constexpr unsigned FACE_UP_BOARD = 0;
  // False when no showdown ever depends on suits (Razz), so a request may
  // pin open suits and a walk may treat suit permutations as one.
  static constexpr bool SUITS_MATTER = true;
  // The ranking of a seat score that is one table score of hole plus board,
  // so that a board's part is formed once and shared by every seat; null
  // where the score is anything else.
  static constexpr std::nullptr_t SHARED_BOARD_RANKING = nullptr;
  // What the batch kernel answers for a hand naming a card twice; nothing
  // when the game's `score` is defined over any cards.
  static constexpr std::optional<std::uint32_t> REPEATED_CARD_SCORE = NO_ENTRY;
  // Whether a seat's score is its best two hole cards with three board cards
  // (Omaha), so a walk over many boards may score each seat's hole pairs
  // against each board triple once.
  static constexpr bool TWO_PLUS_THREE = false;
};

// A single winner per pot, chosen by the variant's own `score`.
template <class V>
struct SingleWinner {
  static constexpr bool DETAILED_AWARD = false;
  static constexpr ScoreAward SCORE_AWARD = ScoreAward::Best;

  static SeatMask winning_seats(Hands hands) {
    return lowest_seats(hands, [](std::span<const Card> hand) { return V::score(hand); });
  }
  static Outcome award_detailed(Hands hands, std::span<double> shares, std::span<double>) {
    default_award(V::winning_seats(hands), shares);
    return Ok{};
  }
};

}  // namespace detail
}  // namespace vantor
