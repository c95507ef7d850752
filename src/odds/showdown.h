// The showdown: one complete deal (every seat's hole cards and the board)
// turned into pot shares through the variant's rules and recorded.
//
// Hand buffers are fixed-size arrays of the variant's capacity and the share
// vectors fixed arrays of the largest seat count, so a showdown allocates
// nothing. Games decided by a single score per seat find their winners as a
// seat mask; `OutcomeTally` counts deals per winner mask so that a run of
// weight-1 deals is recorded once per distinct outcome.
//
//   Showdown<Holdem> showdown(seats);
//   auto hole = [&](std::size_t i) { return std::span<const Card>(dealt[i]); };
//   if (auto done = showdown.play(hole, board, result, 1.0); !done) return done.error();
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "odds/result.h"
#include "variants/variants.h"

namespace vantor {

// Seat masks have 32 bits; no game seats more than 23.
inline constexpr std::size_t MAX_SEATS = 32;

namespace detail {

// The eleven per-seat sums of a result, for whole-result arithmetic.
inline constexpr std::array<std::vector<double> ChunkResult::*, 11> PER_SEAT_SUMS = {
    &ChunkResult::share_sum,      &ChunkResult::share_square_sum, &ChunkResult::square_weight_share_sum,
    &ChunkResult::win_count,      &ChunkResult::tie_count,        &ChunkResult::scoop_count,
    &ChunkResult::low_share_sum,  &ChunkResult::high_win_count,   &ChunkResult::high_tie_count,
    &ChunkResult::low_win_count,  &ChunkResult::low_tie_count};

// Cards summed for the table scorer: rank keys and suit counts added
// (`counts`), suit rank masks OR-ed (`lanes`, 16 bits per suit). A board's
// sums are formed once and each seat's hole cards added to them, which gives
// exactly `score` of the seat's whole hand.
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
    return {counts + CARD_BITS[c.index()], lanes | LANES[c.index()]};
  }
  constexpr PackedCards plus(PackedCards o) const { return {counts + o.counts, lanes | o.lanes}; }
  static constexpr PackedCards of(std::span<const Card> cards) {
    PackedCards p;
    for (Card c : cards) p = p.plus(c);
    return p;
  }

  // The class of these cards (5 to 7 of them), as `score` gives it.
  std::uint16_t score(const Ranking& ranking) const {
    const std::uint64_t sum = counts + SUIT_BIAS;
    if (ranking.flushes != nullptr && (sum & FLUSH_FLAGS) != 0) [[unlikely]] {
      const unsigned suit = static_cast<unsigned>(std::countr_zero(sum & FLUSH_FLAGS) - 35) / 4;
      const std::uint16_t flush = ranking.flushes[(lanes >> (16 * suit)) & 0x1FFFu];
      if (flush != NO_ENTRY) return flush;
    }
    return ranking.values[value_slot(static_cast<std::uint32_t>(sum))];
  }
};

// Board games whose seat score is one table score of hole plus board: the
// board's part is shared by every seat.
template <class V>
struct SharedBoardScore {
  static constexpr bool ENABLED = false;
};
template <>
struct SharedBoardScore<Holdem> {
  static constexpr bool ENABLED = true;
  static constexpr const Ranking& RANKING = HIGH_RANKING;
};
template <>
struct SharedBoardScore<ShortDeck> {
  static constexpr bool ENABLED = true;
  static constexpr const Ranking& RANKING = SHORT_DECK_RANKING;
};

// Adds `count` copies of a weight-1 deal recorded in `unit` into `into`.
inline void add_repeated(ChunkResult& into, const ChunkResult& unit, std::uint64_t count) {
  const double c = static_cast<double>(count);
  into.samples += count;
  into.weight_sum += c;
  into.weight_square_sum += c;
  for (auto sums : PER_SEAT_SUMS) {
    std::vector<double>& to = into.*sums;
    const std::vector<double>& from = unit.*sums;
    for (std::size_t j = 0; j < to.size(); ++j) to[j] += c * from[j];
  }
}

// The seats holding the lowest of `n` >= 1 scores. Which seat wins a deal is
// random, so this takes no branch on the scores: a minimum, then a mask.
inline SeatMask lowest_scorers(const std::uint32_t* scores, std::size_t n) {
  std::uint32_t best = scores[0];
  for (std::size_t i = 1; i < n; ++i) best = std::min(best, scores[i]);
  SeatMask mask = 0;
  for (std::size_t i = 0; i < n; ++i) mask |= SeatMask{scores[i] == best} << i;
  return mask;
}

}  // namespace detail

// Games whose pot goes whole to the best score: the showdown finds a winner
// mask instead of calling the variant's award.
template <class V>
inline constexpr bool SCORE_GAME = !V::DETAILED_AWARD;

// Weight-1 deals of a score game counted per winner mask; `flush_into`
// records each distinct outcome once, scaled by its count, which equals
// recording the deals one by one up to floating-point rounding.
class OutcomeTally {
 public:
  explicit OutcomeTally(std::size_t seats)
      : seats_(seats), dense_(seats <= DENSE_SEATS), unit_(ChunkResult::empty(seats)) {
    if (dense_) {
      counts_.assign(std::size_t{1} << seats, 0);
    } else {
      counts_.assign(HASH_SLOTS, 0);
      keys_.assign(HASH_SLOTS, 0);
    }
  }

  // One deal won by `winners` (never 0).
  void add(SeatMask winners) { add(winners, 1); }

  // `copies` deals won by `winners`.
  void add(SeatMask winners, std::uint64_t copies) {
    if (dense_) [[likely]] {
      counts_[winners] += copies;
      return;
    }
    std::size_t slot = (winners * 0x9E3779B9u) >> (32 - HASH_BITS);
    while (keys_[slot] != winners && keys_[slot] != 0) slot = (slot + 1) & (HASH_SLOTS - 1);
    if (keys_[slot] == 0) {
      keys_[slot] = winners;
      if (++used_ > HASH_SLOTS / 2) pending_flush_ = true;
    }
    counts_[slot] += copies;
  }

  // A hashed tally grown past half full must be flushed before the next add.
  bool wants_flush() const { return pending_flush_; }

  // Records every counted outcome into `result` and starts over.
  void flush_into(ChunkResult& result) {
    for (std::size_t i = 0; i < counts_.size(); ++i) {
      if (counts_[i] == 0) continue;
      const SeatMask winners = dense_ ? static_cast<SeatMask>(i) : keys_[i];
      record_unit(winners);
      detail::add_repeated(result, unit_, counts_[i]);
      counts_[i] = 0;
      if (!dense_) keys_[i] = 0;
    }
    used_ = 0;
    pending_flush_ = false;
  }

 private:
  static constexpr std::size_t DENSE_SEATS = 10;
  static constexpr unsigned HASH_BITS = 12;
  static constexpr std::size_t HASH_SLOTS = std::size_t{1} << HASH_BITS;

  void record_unit(SeatMask winners) {
    for (auto sums : detail::PER_SEAT_SUMS) {
      std::vector<double>& v = unit_.*sums;
      std::fill(v.begin(), v.end(), 0.0);
    }
    std::array<double, MAX_SEATS> shares{}, low_shares{};
    default_award(winners, std::span<double>(shares.data(), seats_));
    unit_.record_weighted(std::span<const double>(shares.data(), seats_),
                          std::span<const double>(low_shares.data(), seats_), 1.0);
  }

  std::size_t seats_;
  bool dense_;
  std::vector<std::uint64_t> counts_;
  std::vector<SeatMask> keys_;
  std::size_t used_ = 0;
  bool pending_flush_ = false;
  ChunkResult unit_;
};

// Buffers and rules for the showdowns of one chunk or one walk.
template <class V>
class Showdown {
 public:
  explicit Showdown(std::size_t seats) : seats_(seats) {
    if (seats > MAX_SEATS) throw std::length_error("more seats than a seat mask can name");
  }

  std::size_t seat_count() const { return seats_; }

  // Pot shares of one deal (seat i holds `hole(i)`) recorded with `weight`.
  template <class HoleOf>
  Outcome play(HoleOf&& hole, std::span<const Card> board, ChunkResult& result, double weight) {
    if (auto filled = fill(hole, board); !filled) return filled.error();
    std::fill_n(shares_.begin(), seats_, 0.0);
    std::fill_n(low_shares_.begin(), seats_, 0.0);
    if constexpr (SCORE_GAME<V>) {
      default_award(score_winners(), std::span<double>(shares_.data(), seats_));
    } else {
      if (auto awarded = V::award_detailed(hands(), std::span<double>(shares_.data(), seats_),
                                           std::span<double>(low_shares_.data(), seats_));
          !awarded)
        return awarded.error();
    }
    result.record_weighted(shares(), low_shares(), weight);
    return Ok{};
  }

  // Score games: the seats holding the best hand of one deal.
  template <class HoleOf>
  Result<SeatMask> winners(HoleOf&& hole, std::span<const Card> board)
    requires SCORE_GAME<V>
  {
    if constexpr (detail::SharedBoardScore<V>::ENABLED) {
      if (board.size() == V::BOARD_CARDS) [[likely]] {
        const Ranking& ranking = detail::SharedBoardScore<V>::RANKING;
        const detail::PackedCards shared = detail::PackedCards::of(board);
        std::array<std::uint32_t, MAX_SEATS> scores;
        bool regular = true;
        for (std::size_t i = 0; i < seats_; ++i) {
          const std::span<const Card> cards = hole(i);
          regular = regular && cards.size() == V::HOLE_CARDS;
          scores[i] = shared.plus(detail::PackedCards::of(cards)).score(ranking);
        }
        if (regular) [[likely]]
          return detail::lowest_scorers(scores.data(), seats_);
      }
    }
    if (auto filled = fill(hole, board); !filled) return filled.error();
    return score_winners();
  }

  // Score games with a shared table-scored board: winners from the board's
  // packed cards and each seat's packed hole cards (always 5 to 7 in all).
  SeatMask winners_packed(detail::PackedCards board, std::span<const detail::PackedCards> holes) const
    requires detail::SharedBoardScore<V>::ENABLED
  {
    const Ranking& ranking = detail::SharedBoardScore<V>::RANKING;
    std::array<std::uint32_t, MAX_SEATS> scores;
    for (std::size_t i = 0; i < holes.size(); ++i) scores[i] = board.plus(holes[i]).score(ranking);
    return detail::lowest_scorers(scores.data(), holes.size());
  }

  // The same winners for cards in fixed buffers: seat i's HOLE_CARDS cards
  // at `holes + i * stride`, the board's BOARD_CARDS cards at `board`. The
  // counts are compile-time constants here, so the card loops unroll.
  SeatMask winners_strided(const Card* holes, std::size_t stride, const Card* board) const
    requires detail::SharedBoardScore<V>::ENABLED
  {
    const Ranking& ranking = detail::SharedBoardScore<V>::RANKING;
    // Suit lanes matter only to a flush, so they are formed only for one.
    std::uint64_t shared = 0;
    for (std::size_t k = 0; k < V::BOARD_CARDS; ++k) shared += detail::CARD_BITS[board[k].index()];
    std::array<std::uint32_t, MAX_SEATS> scores;
    for (std::size_t i = 0; i < seats_; ++i) {
      const Card* const hole = holes + i * stride;
      std::uint64_t counts = shared;
      for (std::size_t k = 0; k < V::HOLE_CARDS; ++k) counts += detail::CARD_BITS[hole[k].index()];
      const std::uint64_t sum = counts + detail::SUIT_BIAS;
      if ((sum & detail::FLUSH_FLAGS) != 0) [[unlikely]] {
        detail::PackedCards hand;
        for (std::size_t k = 0; k < V::BOARD_CARDS; ++k) hand = hand.plus(board[k]);
        for (std::size_t k = 0; k < V::HOLE_CARDS; ++k) hand = hand.plus(hole[k]);
        scores[i] = hand.score(ranking);
        continue;
      }
      scores[i] = ranking.values[value_slot(static_cast<std::uint32_t>(sum))];
    }
    return detail::lowest_scorers(scores.data(), seats_);
  }

  std::span<const double> shares() const { return {shares_.data(), seats_}; }
  std::span<const double> low_shares() const { return {low_shares_.data(), seats_}; }

 private:
  std::span<const std::span<const Card>> hands() const { return {hands_.data(), seats_}; }

  // Hand buffer i = seat i's hole cards, then the board. Without a board the
  // hole cards are the hand and are not copied.
  template <class HoleOf>
  Outcome fill(HoleOf& hole, std::span<const Card> board) {
    for (std::size_t i = 0; i < seats_; ++i) {
      const std::span<const Card> cards = hole(i);
      const std::size_t total = cards.size() + board.size();
      if (total > V::CAPACITY) [[unlikely]]
        return CardError::TooManyCards{static_cast<std::uint64_t>(total)};
      if (board.empty()) {
        hands_[i] = cards;
        continue;
      }
      Card* out = buffers_[i].data();
      out = std::copy(cards.begin(), cards.end(), out);
      std::copy(board.begin(), board.end(), out);
      hands_[i] = std::span<const Card>(buffers_[i].data(), total);
    }
    return Ok{};
  }

  SeatMask score_winners() const {
    std::array<std::uint32_t, MAX_SEATS> scores;
    for (std::size_t i = 0; i < seats_; ++i) scores[i] = V::score(hands_[i]);
    return detail::lowest_scorers(scores.data(), seats_);
  }

  std::size_t seats_;
  std::array<std::array<Card, V::CAPACITY>, MAX_SEATS> buffers_{};
  std::array<std::span<const Card>, MAX_SEATS> hands_{};
  std::array<double, MAX_SEATS> shares_{};
  std::array<double, MAX_SEATS> low_shares_{};
};

}  // namespace vantor
