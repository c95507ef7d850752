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
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#if defined(__SSE4_1__)
#include <immintrin.h>
#endif

#include "cards/card.h"
#include "error/error.h"
#include "odds/result.h"
#include "variants/variants.h"

namespace vantor {

// Seat masks have 32 bits; no game seats more than 23.
inline constexpr std::size_t MAX_SEATS = 32;

namespace detail {

// The seats holding the lowest of `n` >= 1 scores. Which seat wins a deal is
// random, so this takes no branch on the scores: a minimum, then a mask.
// Two short loops, inlined into the walks that call it per group of deals.
[[gnu::always_inline]] inline SeatMask lowest_scorers(const std::uint32_t* scores, std::size_t n) {
  std::uint32_t best = scores[0];
  for (std::size_t i = 1; i < n; ++i) best = std::min(best, scores[i]);
  SeatMask mask = 0;
  for (std::size_t i = 0; i < n; ++i) mask |= SeatMask{scores[i] == best} << i;
  return mask;
}

// `lowest_scorers` of the N (at most 8) classes `values[slots[i]]`. With
// SSE4.1 the classes are gathered into one vector whose minimum and equal
// lanes are found at once; unused lanes hold NO_ENTRY, which no class is.
template <std::size_t N>
[[gnu::always_inline]] inline SeatMask lowest_of(const std::uint16_t* values,
                                                 const std::uint32_t* slots) {
  static_assert(N >= 1 && N <= 8);
#if defined(__SSE4_1__)
  __m128i v = _mm_set1_epi16(static_cast<short>(NO_ENTRY));
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((v = _mm_insert_epi16(v, values[slots[I]], I)), ...);
  }(std::make_index_sequence<N>{});
  const __m128i best = _mm_shuffle_epi8(_mm_minpos_epu16(v), _mm_set1_epi16(0x0100));
  const __m128i equal = _mm_cmpeq_epi16(v, best);
  return static_cast<SeatMask>(_mm_movemask_epi8(_mm_packs_epi16(equal, _mm_setzero_si128())));
#else
  std::array<std::uint32_t, N> scores;
  for (std::size_t i = 0; i < N; ++i) scores[i] = values[slots[i]];
  return lowest_scorers(scores.data(), N);
#endif
}

// The seats holding the lowest of `n` low scores when it is eight or better;
// 0 when none is.
inline SeatMask lowest_qualifying(const std::uint32_t* scores, std::size_t n) {
  std::uint32_t best = scores[0];
  for (std::size_t i = 1; i < n; ++i) best = std::min(best, scores[i]);
  if (!EightOrBetter{}(best)) return 0;
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
  bool add(SeatMask winners) { return add(winners, 1); }

  // `copies` deals won by `winners`; true when the tally must now be flushed
  // (never for a dense tally, so its adds test nothing more).
  bool add(SeatMask winners, std::uint64_t copies) {
    if (dense_) [[likely]] {
      counts_[winners] += copies;
      return false;
    }
    add_hashed(winners, copies);
    return pending_flush_;
  }

  // One deal won by each of `winners[0]` to `winners[n - 1]`, counted at
  // once; false when the tally cannot (a hashed one: add them one by one).
  // Counting a few outcomes by comparison keeps a run of deals with the same
  // winners from waiting on one counter's store after another.
  bool add_each(const SeatMask* winners, std::size_t n) {
    if (!dense_) return false;
    if (seats_ <= 3) {
      for (SeatMask w = 1; w < counts_.size(); ++w) {
        std::uint32_t hits = 0;
        for (std::size_t j = 0; j < n; ++j) hits += winners[j] == w;
        counts_[w] += hits;
      }
    } else {
      for (std::size_t j = 0; j < n; ++j) counts_[winners[j]] += 1;
    }
    return true;
  }

  // A hashed tally grown past half full must be flushed before the next add.
  bool wants_flush() const { return pending_flush_; }

  // Records every counted outcome into `result` and starts over.
  void flush_into(ChunkResult& result) {
    for (std::size_t i = 0; i < counts_.size(); ++i) {
      if (counts_[i] == 0) continue;
      const SeatMask winners = dense_ ? static_cast<SeatMask>(i) : keys_[i];
      record_unit(winners);
      result.add_copies(unit_, counts_[i]);
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

  // The many-seat tally, kept out of line so the dense add stays small.
  [[gnu::noinline]] void add_hashed(SeatMask winners, std::uint64_t copies) {
    std::size_t slot = (winners * 0x9E3779B9u) >> (32 - HASH_BITS);
    while (keys_[slot] != winners && keys_[slot] != 0) slot = (slot + 1) & (HASH_SLOTS - 1);
    if (keys_[slot] == 0) {
      keys_[slot] = winners;
      if (++used_ > HASH_SLOTS / 2) pending_flush_ = true;
    }
    counts_[slot] += copies;
  }

  void record_unit(SeatMask winners) {
    unit_.clear();
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
    if constexpr (SHARED_BOARD_GAME<V>) {
      if (board.size() == V::BOARD_CARDS) [[likely]] {
        const Ranking& ranking = *V::SHARED_BOARD_RANKING;
        const PackedCards shared = PackedCards::of(board);
        std::array<std::uint32_t, MAX_SEATS> scores;
        bool regular = true;
        for (std::size_t i = 0; i < seats_; ++i) {
          const std::span<const Card> cards = hole(i);
          regular = regular && cards.size() == V::HOLE_CARDS;
          scores[i] = shared.plus(PackedCards::of(cards)).score(ranking);
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
  SeatMask winners_packed(PackedCards board, std::span<const PackedCards> holes) const
    requires SHARED_BOARD_GAME<V>
  {
    const Ranking& ranking = *V::SHARED_BOARD_RANKING;
    std::array<std::uint32_t, MAX_SEATS> scores;
    for (std::size_t i = 0; i < holes.size(); ++i) scores[i] = board.plus(holes[i]).score(ranking);
    return detail::lowest_scorers(scores.data(), holes.size());
  }

  // The same winners for cards in fixed buffers: seat i's HOLE_CARDS cards
  // at `holes + i * stride`, the board's BOARD_CARDS cards at `board`. The
  // counts are compile-time constants here, so the card loops unroll.
  SeatMask winners_strided(const Card* holes, std::size_t stride, const Card* board) const
    requires SHARED_BOARD_GAME<V>
  {
    const Ranking& ranking = *V::SHARED_BOARD_RANKING;
    // Suit lanes matter only to a flush, so they are formed only for one.
    std::uint64_t shared = 0;
    for (std::size_t k = 0; k < V::BOARD_CARDS; ++k) shared += detail::CARD_BITS[board[k].index()];
    // The best score and its seats kept in registers as the seats are
    // scored: a lower score restarts the mask, an equal one joins it.
    std::uint32_t best = ~std::uint32_t{0};
    SeatMask mask = 0;
    for (std::size_t i = 0; i < seats_; ++i) {
      const Card* const hole = holes + i * stride;
      std::uint64_t counts = shared;
      for (std::size_t k = 0; k < V::HOLE_CARDS; ++k) counts += detail::CARD_BITS[hole[k].index()];
      const std::uint32_t score = score_sum(counts, ranking, [&](unsigned suit) {
        return ranks_in_suit(board, V::BOARD_CARDS, suit) | ranks_in_suit(hole, V::HOLE_CARDS, suit);
      });
      const SeatMask keep = SeatMask{0} - SeatMask{score >= best};
      mask = (mask & keep) | (SeatMask{score <= best} << i);
      best = std::min(best, score);
    }
    return mask;
  }

  // Deals at most `winners_batch` takes at once.
  static constexpr std::size_t WINNERS_BATCH = 64;

  // `winners_strided` of `count` (at most WINNERS_BATCH) deals, deal j's
  // cards at `slots + j * slot_size`, its winners into `winners[j]`. Every
  // seat's table slot is found first and the table read after, so that the
  // reads of many deals are in flight at once rather than each deal waiting
  // on its own. Seat i's hole cards are the same in every deal when bit i of
  // `same` is set: they are then summed once.
  void winners_batch(const Card* slots, std::size_t slot_size, std::size_t stride,
                     std::size_t count, SeatMask* winners, std::uint64_t same = 0) const
    requires SHARED_BOARD_GAME<V>
  {
    // A seat count known at compile time unrolls the seat loops and keeps
    // the scores in registers; the common tables get their own copies.
    switch (seats_) {
      case 2: return winners_batch_of<2>(slots, slot_size, stride, count, winners, same);
      case 3: return winners_batch_of<3>(slots, slot_size, stride, count, winners, same);
      case 4: return winners_batch_of<4>(slots, slot_size, stride, count, winners, same);
      case 5: return winners_batch_of<5>(slots, slot_size, stride, count, winners, same);
      case 6: return winners_batch_of<6>(slots, slot_size, stride, count, winners, same);
      case 7: return winners_batch_of<7>(slots, slot_size, stride, count, winners, same);
      case 8: return winners_batch_of<8>(slots, slot_size, stride, count, winners, same);
      case 9: return winners_batch_of<9>(slots, slot_size, stride, count, winners, same);
      case 10: return winners_batch_of<10>(slots, slot_size, stride, count, winners, same);
      default: return winners_batch_of<0>(slots, slot_size, stride, count, winners, same);
    }
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

  // `winners_batch` for SEATS seats (0: `seats_`, known only at run time).
  template <std::size_t SEATS>
  void winners_batch_of(const Card* slots, std::size_t slot_size, std::size_t stride,
                        std::size_t count, SeatMask* winners, std::uint64_t same) const
    requires SHARED_BOARD_GAME<V>
  {
    const Ranking& ranking = *V::SHARED_BOARD_RANKING;
    const std::size_t seats = SEATS != 0 ? SEATS : seats_;
    std::array<std::uint32_t, WINNERS_BATCH * MAX_SEATS> at;
    // Whether any seat of the deal may hold a flush: rare, so such a deal
    // is scored again whole rather than each seat tested.
    std::array<bool, WINNERS_BATCH> flushes;
    const auto sum_of = [](const Card* cards, std::size_t n, std::uint64_t sum) {
      for (std::size_t k = 0; k < n; ++k) sum += detail::CARD_BITS[cards[k].index()];
      return sum;
    };
    // The hole cards' sums of seats whose cards never change, from the first deal.
    std::array<std::uint64_t, SEATS != 0 ? SEATS : MAX_SEATS> held;
    for (std::size_t i = 0; i < seats; ++i)
      held[i] = (same >> i & 1) != 0 ? sum_of(slots + i * stride, V::HOLE_CARDS, 0) : 0;
    for (std::size_t j = 0; j < count; ++j) {
      const Card* const slot = slots + j * slot_size;
      const std::uint64_t shared = biased(sum_of(slot + seats * stride, V::BOARD_CARDS, 0));
      std::uint64_t sums = 0;
      for (std::size_t i = 0; i < seats; ++i) {
        const std::uint64_t sum = (same >> i & 1) != 0
                                      ? shared + held[i]
                                      : sum_of(slot + i * stride, V::HOLE_CARDS, shared);
        sums |= sum;
        at[j * seats + i] = biased_slot(sum);
      }
      flushes[j] = any_flush_candidate(sums);
    }
    std::array<std::uint32_t, SEATS != 0 ? SEATS : MAX_SEATS> scores;
    for (std::size_t j = 0; j < count; ++j) {
      if (flushes[j]) [[unlikely]] {
        const Card* const slot = slots + j * slot_size;
        const Card* const board = slot + seats * stride;
        const std::uint64_t shared = sum_of(board, V::BOARD_CARDS, 0);
        for (std::size_t i = 0; i < seats; ++i) {
          const Card* const hole = slot + i * stride;
          scores[i] = score_sum(sum_of(hole, V::HOLE_CARDS, shared), ranking, [&](unsigned suit) {
            return ranks_in_suit(board, V::BOARD_CARDS, suit) |
                   ranks_in_suit(hole, V::HOLE_CARDS, suit);
          });
        }
        winners[j] = detail::lowest_scorers(scores.data(), seats);
      } else if constexpr (SEATS >= 3 && SEATS <= 8) {
        // One vector for three to eight seats; two compare as fast in registers.
        winners[j] = detail::lowest_of<SEATS>(ranking.values, &at[j * SEATS]);
      } else {
        for (std::size_t i = 0; i < seats; ++i) scores[i] = ranking.values[at[j * seats + i]];
        winners[j] = detail::lowest_scorers(scores.data(), seats);
      }
    }
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

// The one record path of every chunk and walk: accepted deals into a result.
// Weight-1 deals of score games go through an `OutcomeTally`, so `finish`
// must be called before the result is read.
template <class V>
class DealRecorder {
 public:
  DealRecorder(std::size_t seats, ChunkResult& result)
      : showdown_(seats), tally_(seats), result_(result) {}

  Showdown<V>& showdown() { return showdown_; }

  // One deal (seat i holds `hole(i)`) with its weight.
  template <class HoleOf>
  Outcome record(HoleOf&& hole, std::span<const Card> board, double weight) {
    if constexpr (SCORE_GAME<V>) {
      if (weight == 1.0) {
        const Result<SeatMask> winners = showdown_.winners(hole, board);
        if (!winners) return winners.error();
        record_winners(*winners);
        return Ok{};
      }
    }
    return showdown_.play(hole, board, result_, weight);
  }

  // One weight-1 deal of a score game won by `winners`, or `copies` deals
  // with that outcome.
  void record_winners(SeatMask winners, std::uint64_t copies = 1)
    requires SCORE_GAME<V>
  {
    if (tally_.add(winners, copies)) [[unlikely]]
      tally_.flush_into(result_);
  }

  // `copies` weight-1 deals with the outcome of this one (seat i holds
  // `hole(i)`): what recording each of them gives, up to rounding.
  template <class HoleOf>
  Outcome record_copies(HoleOf&& hole, std::span<const Card> board, std::uint64_t copies) {
    if constexpr (SCORE_GAME<V>) {
      const Result<SeatMask> winners = showdown_.winners(hole, board);
      if (!winners) return winners.error();
      record_winners(*winners, copies);
      return Ok{};
    } else {
      if (!unit_) unit_ = ChunkResult::empty(result_.seat_count());
      unit_->clear();
      if (auto played = showdown_.play(hole, board, *unit_, 1.0); !played) return played;
      result_.add_copies(*unit_, copies);
      return Ok{};
    }
  }

  // Deal j of a dealer's fixed buffers (`DealtCards`), weight 1. Where every
  // seat holds the game's hole count and the board its board count, a
  // shared-board game reads its winners straight from the buffers.
  template <class Cards>
  Outcome record_cards(const Cards& cards, std::size_t j) {
    const Card* const slot = cards.slot(j);
    const std::size_t seats = cards.seat_count();
    if constexpr (SHARED_BOARD_GAME<V>) {
      if (&cards != layout_) [[unlikely]] {
        layout_ = &cards;
        regular_ = cards.shaped(V::HOLE_CARDS, V::BOARD_CARDS);
      }
      if (regular_) [[likely]] {
        record_winners(showdown_.winners_strided(slot, Cards::STRIDE, slot + seats * Cards::STRIDE));
        return Ok{};
      }
    }
    return record([&](std::size_t seat) { return cards.hole(seat, j); }, cards.board(j), 1.0);
  }

  // Deals 0 to count - 1 of a dealer's fixed buffers, as `record_cards` of
  // each in turn records them.
  template <class Cards>
  Outcome record_cards_batch(const Cards& cards, std::size_t count) {
    if constexpr (SHARED_BOARD_GAME<V>) {
      if (&cards != layout_) [[unlikely]] {
        layout_ = &cards;
        regular_ = cards.shaped(V::HOLE_CARDS, V::BOARD_CARDS);
      }
      if (regular_) [[likely]] {
        const std::size_t slot_size =
            count > 1 ? static_cast<std::size_t>(cards.slot(1) - cards.slot(0)) : 0;
        std::array<SeatMask, Showdown<V>::WINNERS_BATCH> winners;
        for (std::size_t j = 0; j < count; j += Showdown<V>::WINNERS_BATCH) {
          const std::size_t n = std::min(count - j, Showdown<V>::WINNERS_BATCH);
          showdown_.winners_batch(cards.slot(j), slot_size, Cards::STRIDE, n, winners.data(),
                                  cards.same_entries());
          if (!tally_.add_each(winners.data(), n)) [[unlikely]]
            for (std::size_t k = 0; k < n; ++k) record_winners(winners[k]);
        }
        return Ok{};
      }
    }
    for (std::size_t j = 0; j < count; ++j)
      if (auto recorded = record_cards(cards, j); !recorded) [[unlikely]]
        return recorded;
    return Ok{};
  }

  // `copies` weight-1 deals whose seat scores give the pot to `high` and
  // the low half to `low` (0: no low half), as `V::SCORE_AWARD` reads the
  // scores: what recording each of them gives, up to rounding.
  void record_scored(SeatMask high, SeatMask low, std::uint64_t copies) {
    if constexpr (SCORE_GAME<V>) {
      record_winners(high, copies);
    } else {
      const std::size_t seats = result_.seat_count();
      if (seats <= SPLIT_DENSE_SEATS) [[likely]] {
        if (split_counts_.empty()) split_counts_.assign(std::size_t{1} << (2 * seats), 0);
        split_counts_[(std::size_t{high} << seats) | low] += copies;
      } else {
        record_split(high, low, copies);
      }
    }
  }

  // Records what the tallies still hold; the result is then complete.
  void finish() {
    tally_.flush_into(result_);
    const std::size_t seats = result_.seat_count();
    for (std::size_t i = 0; i < split_counts_.size(); ++i) {
      if (split_counts_[i] == 0) continue;
      const SeatMask low = static_cast<SeatMask>(i & ((std::size_t{1} << seats) - 1));
      record_split(static_cast<SeatMask>(i >> seats), low, split_counts_[i]);
      split_counts_[i] = 0;
    }
  }

 private:
  Showdown<V> showdown_;
  OutcomeTally tally_;
  ChunkResult& result_;
  static constexpr std::size_t SPLIT_DENSE_SEATS = 6;

  void record_split(SeatMask high, SeatMask low, std::uint64_t copies) {
    const std::size_t seats = result_.seat_count();
    if (!unit_) unit_ = ChunkResult::empty(seats);
    unit_->clear();
    std::array<double, MAX_SEATS> shares{}, low_shares{};
    hi_lo_award(high, low, std::span<double>(shares.data(), seats),
                std::span<double>(low_shares.data(), seats));
    unit_->record_weighted(std::span<const double>(shares.data(), seats),
                           std::span<const double>(low_shares.data(), seats), 1.0);
    result_.add_copies(*unit_, copies);
  }

  std::optional<ChunkResult> unit_;  // one deal of `record_copies`
  std::vector<std::uint64_t> split_counts_;  // `record_scored` deals per (high, low)
  const void* layout_ = nullptr;  // the buffers `regular_` was judged for
  bool regular_ = false;
};

}  // namespace vantor
