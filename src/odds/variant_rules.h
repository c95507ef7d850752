// What a game asks of an equity question before any card is dealt: how many
// hole slots and board slots a seat count gets, how many seats the deck
// serves, whether seats may show fewer cards than they will hold.
//
//   TableRules rules = table_rules<Stud>(8);   // 6 hole slots, 1 shared board card
//   rules.seat_limit;                          // 8
#pragma once

#include <cstddef>

#include "cards/card.h"
#include "variants/variants.h"

namespace vantor {

// The rules of one game for one seat count, as plain values so that the
// request can be built by code that is not a template.
struct TableRules {
  CardSet deck;
  std::size_t hole_slots = 0;  // slot sets per seat after padding
  std::size_t board_size = 0;  // board slot sets after padding (also the most a caller may name)
  std::size_t min_board = 0;   // named board slot sets the game requires (Courchevel: 1)
  std::size_t seat_limit = 0;  // (deck size - board size) / hole slots
  bool stud = false;           // the stud family: one common shown length for all seats
  bool short_holdings = false; // seats may name fewer cards than they hold; the rest is open
  bool pin_suits = false;      // suits never matter at showdown (Razz)
};

// From eight seats on, a stud deck cannot give everyone seven cards: each
// seat gets six and the last card is dealt face up to the table.
inline constexpr std::size_t STUD_SHARED_CARD_SEATS = 8;

template <class V>
constexpr TableRules table_rules(std::size_t seats) {
  constexpr bool stud = V::DEALING == Dealing::Stud;
  TableRules r;
  r.deck = V::DECK;
  r.stud = stud;
  r.short_holdings = V::DEALING != Dealing::Board;
  r.pin_suits = !V::SUITS_MATTER;
  r.min_board = V::FACE_UP_BOARD;
  if constexpr (stud) {
    const bool shared = seats >= STUD_SHARED_CARD_SEATS;
    r.hole_slots = shared ? 6 : 7;
    r.board_size = shared ? 1 : 0;
  } else {
    r.hole_slots = V::HOLE_CARDS;
    r.board_size = V::BOARD_CARDS;
  }
  r.seat_limit = (V::DECK_SIZE - r.board_size) / r.hole_slots;
  return r;
}

}  // namespace vantor
