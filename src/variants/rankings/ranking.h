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

// The one lookup every table score ends in: a hand whose `key` is its
// rank-count key is a flush candidate when `flush` holds; a candidate's class
// is read from the flush table by its suit's 13-bit rank mask (`flush_ranks()`,
// formed only then), and any other hand's, or a candidate whose flush entry
// is NO_ENTRY (a repeated card faking a fifth suited card), from the value table.
template <class FlushRanks>
inline std::uint16_t lookup(const Ranking& ranking, std::uint32_t key, bool flush,
                            FlushRanks&& flush_ranks) {
  if (ranking.flushes != nullptr && flush) [[unlikely]] {
    const std::uint16_t found = ranking.flushes[flush_ranks()];
    if (found != NO_ENTRY) return found;
  }
  return ranking.values[value_slot(key)];
}

// The class of 5 to 7 cards from the sum of their CARD_BITS; `ranks_of(suit)`
// gives the 13-bit rank mask of the cards of one suit when that suit may
// hold a flush.
template <class RanksOf>
inline std::uint16_t score_sum(std::uint64_t card_bits, const Ranking& ranking, RanksOf&& ranks_of) {
  const std::uint64_t sum = card_bits + detail::SUIT_BIAS;
  const std::uint64_t flags = sum & detail::FLUSH_FLAGS;
  return lookup(ranking, static_cast<std::uint32_t>(sum), flags != 0, [&] {
    return ranks_of(static_cast<unsigned>(std::countr_zero(flags) - 35) / 4);
  });
}

// `score_sum` in two halves for callers that score many hands at once and
// want every table read in flight together. The suit bias is added once, to
// cards the hands share (`biased`); each hand adds its own CARD_BITS and
// finds its value-table slot (`biased_slot`); the hands' sums OR-ed together
// tell whether any may be a flush candidate, and only such a group must be
// scored by `score_sum`. Any other hand's class is `ranking.values[slot]`.
inline constexpr std::uint64_t biased(std::uint64_t card_bits) {
  return card_bits + detail::SUIT_BIAS;
}
inline std::uint32_t biased_slot(std::uint64_t biased_sum) {
  return value_slot(static_cast<std::uint32_t>(biased_sum));
}
inline constexpr bool any_flush_candidate(std::uint64_t biased_sums_ored) {
  return (biased_sums_ored & detail::FLUSH_FLAGS) != 0;
}

// The 13-bit rank mask of the cards of one suit among `n` cards.
inline unsigned ranks_in_suit(const Card* cards, std::size_t n, unsigned suit) {
  unsigned mask = 0;
  for (std::size_t i = 0; i < n; ++i) mask |= unsigned{cards[i].suit() == suit} << cards[i].rank();
  return mask;
}

// Scores exactly N cards (5 to 7); the fixed count lets the card loop unroll.
template <std::size_t N>
inline std::uint16_t score_fixed(const Card* cards, const Ranking& ranking) {
  static_assert(N >= 5 && N <= 7);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < N; ++i) sum += detail::CARD_BITS[cards[i].index()];
  return score_sum(sum, ranking, [cards](unsigned suit) { return ranks_in_suit(cards, N, suit); });
}

// Cards summed for the table scorer: CARD_BITS added (`counts`), suit rank
// masks OR-ed (`lanes`, 16 bits per suit). A board's sums are formed once and
// each seat's hole cards added to them, which gives exactly `score` of the
// seat's whole hand.
struct PackedCards {
  std::uint64_t counts = 0;
  std::uint64_t lanes = 0;

  static constexpr std::array<std::uint64_t, 52> LANES = [] {
    std::array<std::uint64_t, 52> lanes{};
    for (unsigned i = 0; i < 52; ++i)
      lanes[i] = std::uint64_t{rank_bit(i >> 2)} << (16 * (i & 3u));
    return lanes;
  }();

  constexpr PackedCards plus(Card c) const {
    return {counts + detail::CARD_BITS[c.index()], lanes | LANES[c.index()]};
  }
  constexpr PackedCards plus(PackedCards o) const { return {counts + o.counts, lanes | o.lanes}; }
  static constexpr PackedCards of(std::span<const Card> cards) {
    PackedCards p;
    for (Card c : cards) p = p.plus(c);
    return p;
  }

  // The class of these cards (5 to 7 of them), as `score` gives it.
  std::uint16_t score(const Ranking& ranking) const {
    return score_sum(counts, ranking, [this](unsigned suit) {
      return static_cast<unsigned>((lanes >> (16 * suit)) & 0x1FFFu);
    });
  }
};

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

// The class of the five cards of a pair and a triple in `ranking`; a flush
// is possible only when both parts share one suit.
inline std::uint16_t score_parts(const CardPart& a, const CardPart& b, const Ranking& ranking) {
  return lookup(ranking, a.key + b.key, a.suit != 255 && a.suit == b.suit,
                [&] { return static_cast<unsigned>(a.mask | b.mask); });
}

inline std::uint16_t high_score_from_parts(const CardPart& a, const CardPart& b) {
  return score_parts(a, b, HIGH_RANKING);
}
inline std::uint16_t low_score_from_parts(const CardPart& a, const CardPart& b) {
  return score_parts(a, b, ACE_FIVE_RANKING);
}

}  // namespace vantor
