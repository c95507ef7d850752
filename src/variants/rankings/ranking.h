// Table-driven hand scoring: five to seven cards to a 16-bit class, lower is
// better, in one of four hand orders.
//
// A hand's rank-count key (the sum of 5^rank over its cards) is hashed into a
// value table that holds the class of its best five cards; a suit holding five
// or more cards is instead looked up by its 13-bit rank mask in a flush table.
//
//   std::array<Card, 7> hand = ...;
//   std::uint16_t cls = score(hand, HIGH_RANKING);   // 0 = royal flush
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cards/card.h"
#include "variants/rankings/tables.h"

namespace vantor {

// The mark of an empty table entry, and the score of a card count not handled.
inline constexpr std::uint16_t NO_ENTRY = 0xFFFF;

// One hand order: its value table and its flush table (null when suits never
// matter, as in ace-to-five).
struct Ranking {
  const std::uint16_t* values;
  const std::uint16_t* flushes;
};

inline constexpr Ranking HIGH_RANKING{detail::HIGH_VALUES, detail::HIGH_FLUSHES};
inline constexpr Ranking SHORT_DECK_RANKING{detail::SHORT_DECK_VALUES, detail::SHORT_DECK_FLUSHES};
inline constexpr Ranking DEUCE_SEVEN_RANKING{detail::DEUCE_SEVEN_VALUES,
                                             detail::DEUCE_SEVEN_FLUSHES};
inline constexpr Ranking ACE_FIVE_RANKING{detail::ACE_FIVE_VALUES, nullptr};

// 5^r: summed over a hand, base-5 digit r counts the cards of rank r.
constexpr std::uint32_t rank_key(unsigned r) {
  std::uint32_t key = 1;
  for (unsigned i = 0; i < r; ++i) key *= 5;
  return key;
}

// The rank's bit in a 13-bit rank mask (deuce bit 0, ace bit 12).
constexpr std::uint16_t rank_bit(unsigned r) { return static_cast<std::uint16_t>(1u << r); }

namespace detail {

// Per card: its rank key in the low 32 bits and a one in its suit's nibble at
// bits 32 + 4 * suit. Starting each nibble at 3 makes bit 3 of a nibble
// (bits 35, 39, 43, 47) the flag "this suit holds five or more cards".
inline constexpr std::array<std::uint64_t, 52> CARD_BITS = [] {
  std::array<std::uint64_t, 52> bits{};
  for (unsigned i = 0; i < 52; ++i)
    bits[i] = (std::uint64_t{1} << (32 + 4 * (i & 3u))) | rank_key(i >> 2);
  return bits;
}();
inline constexpr std::uint64_t SUIT_BIAS = std::uint64_t{0x3333} << 32;
inline constexpr std::uint64_t FLUSH_FLAGS = std::uint64_t{0x8888} << 32;

}  // namespace detail

// The value-table slot of a rank-count key: a perfect hash over the 73,775 keys
// of 5, 6 and 7 cards, replacing a search of the sorted keys.
inline std::uint32_t value_slot(std::uint32_t key) {
  const std::uint64_t b = std::uint64_t{key} * 0x9E3779B97F4A7C15ull;
  const std::uint32_t d = DISPLACEMENTS[b >> 50];
  return (static_cast<std::uint32_t>(b >> 47) + ((key * 130451u) | 1u) * d) & 0x1FFFFu;
}

// Scores exactly N cards (5 to 7); the fixed count lets the card loop unroll.
template <std::size_t N>
inline std::uint16_t score_fixed(const Card* cards, const Ranking& ranking) {
  static_assert(N >= 5 && N <= 7);
  std::uint64_t sum = detail::SUIT_BIAS;
  for (std::size_t i = 0; i < N; ++i) sum += detail::CARD_BITS[cards[i].index()];
  if (ranking.flushes != nullptr && (sum & detail::FLUSH_FLAGS) != 0) [[unlikely]] {
    const unsigned suit =
        static_cast<unsigned>(std::countr_zero(sum & detail::FLUSH_FLAGS) - 35) / 4;
    unsigned mask = 0;
    for (std::size_t i = 0; i < N; ++i)
      mask |= unsigned{cards[i].suit() == suit} << cards[i].rank();
    // A repeated card can fake a fifth suited card; the mask then has four
    // bits, reads NO_ENTRY, and the rank counts decide.
    const std::uint16_t flush = ranking.flushes[mask];
    if (flush != NO_ENTRY) return flush;
  }
  return ranking.values[value_slot(static_cast<std::uint32_t>(sum))];
}

// The class of the best five of 5, 6 or 7 distinct cards; NO_ENTRY for any
// other count.
inline std::uint16_t score(std::span<const Card> cards, const Ranking& ranking) {
  switch (cards.size()) {
    case 5: return score_fixed<5>(cards.data(), ranking);
    case 6: return score_fixed<6>(cards.data(), ranking);
    case 7: return score_fixed<7>(cards.data(), ranking);
    default: return NO_ENTRY;
  }
}

// Two or three cards described once so five-card combinations of them can be
// scored with one add (Omaha's two-plus-three rule).
struct CardPart {
  std::uint8_t suit = 255;   // the common suit, or 255 when the cards are not all suited
  std::uint16_t mask = 0;    // OR of rank bits when suited, else 0
  std::uint32_t key = 0;     // sum of rank keys

  static constexpr CardPart of(Card a, Card b) {
    const bool suited = a.suit() == b.suit();
    return {static_cast<std::uint8_t>(suited ? a.suit() : 255u),
            static_cast<std::uint16_t>(suited ? rank_bit(a.rank()) | rank_bit(b.rank()) : 0u),
            rank_key(a.rank()) + rank_key(b.rank())};
  }
  static constexpr CardPart of(Card a, Card b, Card c) {
    const bool suited = a.suit() == b.suit() && a.suit() == c.suit();
    return {static_cast<std::uint8_t>(suited ? a.suit() : 255u),
            static_cast<std::uint16_t>(
                suited ? rank_bit(a.rank()) | rank_bit(b.rank()) | rank_bit(c.rank()) : 0u),
            rank_key(a.rank()) + rank_key(b.rank()) + rank_key(c.rank())};
  }
};

// HIGH_RANKING class of the five cards of a pair and a triple; the flush table
// is read only when both parts share one suit.
inline std::uint16_t high_score_from_parts(const CardPart& a, const CardPart& b) {
  if (a.suit != 255 && a.suit == b.suit) [[unlikely]] {
    const std::uint16_t flush = detail::HIGH_FLUSHES[a.mask | b.mask];
    if (flush != NO_ENTRY) return flush;
  }
  return detail::HIGH_VALUES[value_slot(a.key + b.key)];
}

// ACE_FIVE_RANKING class of the five cards of a pair and a triple.
inline std::uint16_t low_score_from_parts(const CardPart& a, const CardPart& b) {
  return detail::ACE_FIVE_VALUES[value_slot(a.key + b.key)];
}

}  // namespace vantor
