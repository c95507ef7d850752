// Cards and card sets: the currency every other part of vantor speaks.
//
// A `Card` is one byte, index = rank * 4 + suit (ranks 2..A are 0..12, suits
// c, d, h, s are 0..3), so "2c" is 0 and "As" is 51. A `CardSet` is one 64-bit
// mask with bit i for card i; bits 52..63 never carry cards.
//
//   auto cards = Card::parse_field("Ah Kd");   // Expected<std::vector<Card>, CardError>
//   CardSet set = CardSet::single(cards.value()[0]) | CardSet::rank(12);
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "error/card_error.h"  // CardError, a leaf of standard headers only
#include "error/expected.h"

namespace vantor {

inline constexpr std::array<char, 13> RANK_CHARS = {'2', '3', '4', '5', '6', '7', '8',
                                                     '9', 'T', 'J', 'Q', 'K', 'A'};
inline constexpr std::array<char, 4> SUIT_CHARS = {'c', 'd', 'h', 's'};

// Rank index of an ASCII rank character, case-blind; -1 when it is none.
constexpr int rank_of_char(char32_t c) {
  if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
  for (int r = 0; r < 13; ++r)
    if (c == static_cast<char32_t>(RANK_CHARS[r])) return r;
  return -1;
}

// Suit index of an ASCII suit character, case-blind; -1 when it is none.
constexpr int suit_of_char(char32_t c) {
  if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
  for (int s = 0; s < 4; ++s)
    if (c == static_cast<char32_t>(SUIT_CHARS[s])) return s;
  return -1;
}

class Card {
 public:
  constexpr Card() = default;
  // Callers check the range: an index above 51 never becomes a Card.
  explicit constexpr Card(unsigned index) : index_(static_cast<std::uint8_t>(index)) {}
  static constexpr Card of(unsigned rank, unsigned suit) { return Card(rank * 4 + suit); }

  constexpr unsigned index() const { return index_; }
  constexpr unsigned rank() const { return index_ >> 2; }
  // 2..14, the ace 14.
  constexpr unsigned rank_value() const { return RANK_VALUES[rank()]; }
  constexpr unsigned suit() const { return index_ & 3u; }

  // The two-character text: rank upper case, suit lower case ("Th").
  constexpr std::array<char, 2> chars() const { return {RANK_CHARS[rank()], SUIT_CHARS[suit()]}; }
  std::string text() const { return std::string(chars().data(), 2); }

  // Reads a plain list of cards ("Ah Kd", "ahkd"); whitespace anywhere is dropped.
  static Expected<std::vector<Card>, CardError> parse_field(std::string_view text);

  friend constexpr bool operator==(Card, Card) = default;
  friend constexpr auto operator<=>(Card, Card) = default;

 private:
  static constexpr std::array<std::uint8_t, 13> RANK_VALUES = {2, 3, 4,  5,  6,  7, 8,
                                                                9, 10, 11, 12, 13, 14};
  std::uint8_t index_ = 0;
};

class CardSet {
 public:
  static constexpr std::uint64_t FULL_MASK = 0xFFFFFFFFFFFFFull;
  static constexpr std::uint64_t SUIT_MASK = 0x1111111111111ull;

  constexpr CardSet() = default;
  explicit constexpr CardSet(std::uint64_t mask) : mask_(mask) {}

  static constexpr CardSet empty() { return CardSet(); }
  static constexpr CardSet full_deck() { return CardSet(FULL_MASK); }
  static constexpr CardSet single(Card c) { return CardSet(std::uint64_t{1} << c.index()); }
  static constexpr CardSet rank(unsigned r) { return CardSet(std::uint64_t{0xF} << (4 * r)); }
  static constexpr CardSet suit(unsigned s) { return CardSet(SUIT_MASK << s); }

  constexpr std::uint64_t mask() const { return mask_; }
  constexpr bool contains(Card c) const { return (mask_ >> c.index()) & 1u; }
  constexpr void insert(Card c) { mask_ |= std::uint64_t{1} << c.index(); }
  constexpr void remove(Card c) { mask_ &= ~(std::uint64_t{1} << c.index()); }
  constexpr unsigned count() const { return static_cast<unsigned>(std::popcount(mask_)); }
  constexpr bool is_empty() const { return mask_ == 0; }
  // Exactly one card: the empty set and multi-card sets both fail.
  constexpr bool is_single() const { return std::has_single_bit(mask_); }
  // Index of the lowest card; the set must not be empty.
  constexpr Card lowest() const { return Card(static_cast<unsigned>(std::countr_zero(mask_))); }
  constexpr bool intersects(CardSet o) const { return (mask_ & o.mask_) != 0; }
  constexpr bool is_subset_of(CardSet o) const { return (mask_ & ~o.mask_) == 0; }

  constexpr CardSet operator|(CardSet o) const { return CardSet(mask_ | o.mask_); }
  constexpr CardSet operator&(CardSet o) const { return CardSet(mask_ & o.mask_); }
  // Difference: the cards of this set that are not in o.
  constexpr CardSet operator-(CardSet o) const { return CardSet(mask_ & ~o.mask_); }
  constexpr CardSet& operator|=(CardSet o) { mask_ |= o.mask_; return *this; }
  constexpr CardSet& operator&=(CardSet o) { mask_ &= o.mask_; return *this; }
  constexpr CardSet& operator-=(CardSet o) { mask_ &= ~o.mask_; return *this; }
  friend constexpr bool operator==(CardSet, CardSet) = default;

  // Cards in ascending order; stops at the first bit of 52 or above.
  class Iterator {
   public:
    constexpr explicit Iterator(std::uint64_t rest) : rest_(rest & FULL_MASK) {}
    constexpr Card operator*() const { return Card(static_cast<unsigned>(std::countr_zero(rest_))); }
    constexpr Iterator& operator++() { rest_ &= rest_ - 1; return *this; }
    constexpr bool operator==(const Iterator& o) const { return rest_ == o.rest_; }

   private:
    std::uint64_t rest_;
  };
  constexpr Iterator begin() const { return Iterator(mask_); }
  constexpr Iterator end() const { return Iterator(0); }

  std::vector<Card> to_vector() const {
    std::vector<Card> out;
    out.reserve(count());
    for (Card c : *this) out.push_back(c);
    return out;
  }

 private:
  std::uint64_t mask_ = 0;
};

}  // namespace vantor
