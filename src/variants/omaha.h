// The Omaha family: a hand is exactly two hole cards and exactly three board
// cards. The board's three-card parts are described once per deal and every
// seat's two-card parts combined with them, one table read per combination.
//
//   BoardParts parts = BoardParts::of(board);
//   std::uint32_t s = best_score_against(hole, parts, high_score_from_parts);
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string_view>

#include "variants/rankings/ranking.h"
#include "variants/rules.h"

namespace vantor {

// The three-card subsets of a board of at most five cards, in lexicographic order.
struct BoardParts {
  static constexpr std::size_t MAX_BOARD = 5;

  std::array<CardPart, 10> parts{};
  std::size_t count = 0;

  static BoardParts of(std::span<const Card> board) {
    if (board.size() > MAX_BOARD) throw std::length_error("an Omaha board holds at most five cards");
    BoardParts out;
    const std::size_t n = board.size();
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j)
        for (std::size_t k = j + 1; k < n; ++k)
          out.parts[out.count++] = CardPart::of(board[i], board[j], board[k]);
    return out;
  }
};

// The best (lowest) score of any two hole cards with any board part; NO_HAND
// when there is no such combination.
template <class ScoreFromParts>
inline std::uint32_t best_score_against(std::span<const Card> hole, const BoardParts& parts,
                                        ScoreFromParts score_from_parts) {
  std::uint32_t best = NO_HAND;
  if (hole.size() < 2 || parts.count == 0) return best;
  for (std::size_t i = 0; i < hole.size(); ++i)
    for (std::size_t j = i + 1; j < hole.size(); ++j) {
      const CardPart pair = CardPart::of(hole[i], hole[j]);
      for (std::size_t k = 0; k < parts.count; ++k)
        best = std::min<std::uint32_t>(best, score_from_parts(pair, parts.parts[k]));
    }
  return best;
}

// The place of the triple p < q < r among the triples of a card list,
// ordered by their highest card: C(r, 3) + C(q, 2) + p.
constexpr std::size_t triple_index(std::size_t p, std::size_t q, std::size_t r) {
  return r * (r - 1) * (r - 2) / 6 + q * (q - 1) / 2 + p;
}

// Whether `cards` (two or three) can be part of an eight-or-better low:
// ranks all different, each an ace or a two to an eight. A hand with any
// other part has no qualifying low, so a search for the best qualifying low
// may skip it.
inline bool can_make_low(std::initializer_list<Card> cards) {
  constexpr unsigned LOW_RANKS = 0x107F;  // two to eight (bits 0..6) and ace (bit 12)
  unsigned ranks = 0;
  for (Card c : cards) ranks |= rank_bit(c.rank());
  return std::popcount(ranks) == static_cast<int>(cards.size()) && (ranks & ~LOW_RANKS) == 0;
}

// For a walk over many boards drawn from `cards`: the best score of any two
// of `hole` with the triple p < q < r of `cards`, at
// out[triple_index(p, q, r)], for each triple `wanted(p, q, r)` accepts.
// One table read per hole pair and triple instead of one per pair, triple
// and board. With QUALIFYING_LOW the scores are lows, and a triple that
// cannot make an eight-or-better low with any pair is NO_HAND unread.
template <bool QUALIFYING_LOW = false, class ScoreFromParts, class Wanted>
inline void best_by_triple(std::span<const Card> hole, std::span<const Card> cards,
                           ScoreFromParts score_from_parts, Wanted wanted, std::uint16_t* out) {
  std::array<CardPart, 15> pairs{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < hole.size() && count < pairs.size(); ++i)
    for (std::size_t j = i + 1; j < hole.size() && count < pairs.size(); ++j)
      if (!QUALIFYING_LOW || can_make_low({hole[i], hole[j]}))
        pairs[count++] = CardPart::of(hole[i], hole[j]);
  const std::size_t n = cards.size();
  for (std::size_t r = 2; r < n; ++r)
    for (std::size_t q = 1; q < r; ++q)
      for (std::size_t p = 0; p < q; ++p) {
        if (!wanted(p, q, r)) continue;
        std::uint32_t best = NO_HAND;
        if (!QUALIFYING_LOW || can_make_low({cards[p], cards[q], cards[r]})) {
          const CardPart triple = CardPart::of(cards[p], cards[q], cards[r]);
          for (std::size_t k = 0; k < count; ++k)
            best = std::min<std::uint32_t>(best, score_from_parts(pairs[k], triple));
        }
        out[triple_index(p, q, r)] = static_cast<std::uint16_t>(best);
      }
}

// Two-plus-three score of a hole and a board of any size: boards beyond five
// cards (only reachable from the batch scorer) walk every triple directly.
template <class ScoreFromParts>
inline std::uint32_t two_plus_three(std::span<const Card> hole, std::span<const Card> board,
                                    ScoreFromParts score_from_parts) {
  if (board.size() <= BoardParts::MAX_BOARD)
    return best_score_against(hole, BoardParts::of(board), score_from_parts);
  std::uint32_t best = NO_HAND;
  if (hole.size() < 2) return best;
  const std::size_t n = board.size();
  for (std::size_t a = 0; a < n; ++a)
    for (std::size_t b = a + 1; b < n; ++b)
      for (std::size_t c = b + 1; c < n; ++c) {
        const CardPart triple = CardPart::of(board[a], board[b], board[c]);
        for (std::size_t i = 0; i < hole.size(); ++i)
          for (std::size_t j = i + 1; j < hole.size(); ++j)
            best = std::min<std::uint32_t>(
                best, score_from_parts(CardPart::of(hole[i], hole[j]), triple));
      }
  return best;
}

// Seats with the lowest qualifying two-plus-three score; 0 when none qualifies.
// Each buffer is split into hole and board at min(length, hole_count); seats
// sharing seat 0's board (every seat of a real deal) reuse its parts.
template <class ScoreFromParts, class Qualifies = AlwaysQualifies>
inline SeatMask best_seats(Hands hands, std::size_t hole_count, ScoreFromParts score_from_parts,
                           Qualifies qualifies = {}) {
  if (hands.empty()) return 0;
  const auto split_at = [hole_count](std::span<const Card> hand) {
    return std::min(hand.size(), hole_count);
  };
  const std::span<const Card> board0 = hands[0].subspan(split_at(hands[0]));
  const bool shared = board0.size() <= BoardParts::MAX_BOARD;
  BoardParts parts0;
  if (shared) parts0 = BoardParts::of(board0);

  const auto score = [&](std::span<const Card> hand) {
    const std::size_t cut = split_at(hand);
    const std::span<const Card> hole = hand.first(cut);
    const std::span<const Card> board = hand.subspan(cut);
    return shared && std::ranges::equal(board, board0)
               ? best_score_against(hole, parts0, score_from_parts)
               : two_plus_three(hole, board, score_from_parts);
  };
  return lowest_seats(hands, score, qualifies);
}

namespace detail {

inline constexpr auto HIGH_FROM_PARTS = [](const CardPart& a, const CardPart& b) -> std::uint32_t {
  return high_score_from_parts(a, b);
};
inline constexpr auto LOW_FROM_PARTS = [](const CardPart& a, const CardPart& b) -> std::uint32_t {
  return low_score_from_parts(a, b);
};

// High-only Omaha rules over V::HOLE_CARDS hole cards; the default award.
template <class V>
struct OmahaHighRules {
  static constexpr bool DETAILED_AWARD = true;
  static constexpr ScoreAward SCORE_AWARD = ScoreAward::Best;
  static constexpr auto HIGH_PARTS = HIGH_FROM_PARTS;

  // Hole = the first min(length, HOLE_CARDS) cards, board = the rest.
  static std::uint32_t score(std::span<const Card> hand) {
    const std::size_t cut = std::min<std::size_t>(hand.size(), V::HOLE_CARDS);
    return two_plus_three(hand.first(cut), hand.subspan(cut), HIGH_FROM_PARTS);
  }
  static SeatMask winning_seats(Hands hands) {
    return best_seats(hands, V::HOLE_CARDS, HIGH_FROM_PARTS);
  }
  static Outcome award_detailed(Hands hands, std::span<double> shares, std::span<double>) {
    default_award(winning_seats(hands), shares);
    return Ok{};
  }
};

// Omaha hi/lo: high and eight-or-better low chosen independently.
template <class V>
struct OmahaHiLoRules : OmahaHighRules<V> {
  static constexpr ScoreAward SCORE_AWARD = ScoreAward::HiLo;
  static constexpr auto LOW_PARTS = LOW_FROM_PARTS;
  static std::uint32_t low_score(std::span<const Card> hand) {
    const std::size_t cut = std::min<std::size_t>(hand.size(), V::HOLE_CARDS);
    return two_plus_three(hand.first(cut), hand.subspan(cut), LOW_FROM_PARTS);
  }
  static SeatMask best_low_seats(Hands hands) {
    return best_seats(hands, V::HOLE_CARDS, LOW_FROM_PARTS, EightOrBetter{});
  }
  static Outcome award_detailed(Hands hands, std::span<double> shares,
                                std::span<double> low_shares) {
    hi_lo_award(OmahaHighRules<V>::winning_seats(hands), best_low_seats(hands), shares,
                low_shares);
    return Ok{};
  }
};

}  // namespace detail

// Every Omaha game deals its hole cards and a five-card board; the batch
// kernel scores a hole and board by the two-plus-three rule.
template <unsigned HOLE>
struct OmahaTraits : detail::Traits<HOLE, 5, Dealing::Board> {
  static constexpr std::string_view KERNEL = "omaha";
  static constexpr std::optional<std::uint32_t> REPEATED_CARD_SCORE = NO_HAND;
  static constexpr bool TWO_PLUS_THREE = true;
};

struct Omaha : OmahaTraits<4>, detail::OmahaHighRules<Omaha> {
  static constexpr std::string_view KEY = "omaha";
  static constexpr std::string_view LABEL = "Omaha";
};
struct OmahaFive : OmahaTraits<5>, detail::OmahaHighRules<OmahaFive> {
  static constexpr std::string_view KEY = "omaha_five";
  static constexpr std::string_view LABEL = "5-Card Omaha";
};
struct OmahaSix : OmahaTraits<6>, detail::OmahaHighRules<OmahaSix> {
  static constexpr std::string_view KEY = "omaha_six";
  static constexpr std::string_view LABEL = "6-Card Omaha";
};
struct OmahaHiLo : OmahaTraits<4>, detail::OmahaHiLoRules<OmahaHiLo> {
  static constexpr std::string_view KEY = "omaha_hi_lo";
  static constexpr std::string_view LABEL = "Omaha Hi/Lo";
};
struct OmahaFiveHiLo : OmahaTraits<5>, detail::OmahaHiLoRules<OmahaFiveHiLo> {
  static constexpr std::string_view KEY = "omaha_five_hi_lo";
  static constexpr std::string_view LABEL = "5-Card Omaha Hi/Lo";
};
// Scored as 5-Card Omaha; one board card is turned before the betting.
struct Courchevel : OmahaTraits<5>, detail::OmahaHighRules<Courchevel> {
  static constexpr std::string_view KEY = "courchevel";
  static constexpr std::string_view LABEL = "Courchevel";
  static constexpr unsigned FACE_UP_BOARD = 1;
};
struct CourchevelHiLo : OmahaTraits<5>, detail::OmahaHiLoRules<CourchevelHiLo> {
  static constexpr std::string_view KEY = "courchevel_hi_lo";
  static constexpr std::string_view LABEL = "Courchevel Hi/Lo";
  static constexpr unsigned FACE_UP_BOARD = 1;
};

}  // namespace vantor
