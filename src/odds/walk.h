// The exact walk: every combination of seat holdings and boards, each one
// showdown of weight 1, under one budget of showdowns shared by the walk.
//
// Seats are walked in index order, the board last. A holding that repeats a
// card or uses a card already dealt is skipped. A leaf whose boards would
// overrun the remaining budget records nothing and stops the walk (false);
// the caller then throws the partial result away.
//
//   Walk<Holdem> walk(request, lists, result, 50'000'000, nullptr);
//   Result<bool> done = walk.run(request.live);   // false: too many deals
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "odds/request.h"
#include "odds/result.h"
#include "odds/showdown.h"
#include "sampler/card_lists.h"
#include "sampler/combinations.h"
#include "sampler/draw.h"

namespace vantor {

namespace detail {

// A mask no set of available cards contains: marks a holding that repeats a card.
inline constexpr std::uint64_t REPEATS_A_CARD = std::uint64_t{1} << 63;

// The cards of a holding as a mask, or REPEATS_A_CARD when one is named twice.
inline std::uint64_t holding_mask(std::span<const Card> cards) {
  std::uint64_t mask = 0;
  for (Card c : cards) mask |= std::uint64_t{1} << c.index();
  return static_cast<std::size_t>(std::popcount(mask)) < cards.size() ? REPEATS_A_CARD : mask;
}

}  // namespace detail

template <class V>
class Walk {
 public:
  // `lists[i]`: every holding seat i may take, as card lists.
  Walk(const EquityRequest<V>& request, std::span<const CardLists> lists, ChunkResult& result,
       std::uint64_t budget, const std::atomic<bool>* stop)
      : request_(request),
        lists_(lists),
        budget_(budget),
        stop_(stop),
        recorder_(request.seat_count, result) {}

  // The whole walk from `available`; on true every deal is in the result.
  Result<bool> run(CardSet available) {
    if (!open_boards_fit(available)) return false;
    Result<bool> done = walk_seats(0, available);
    if (done && *done) recorder_.finish();
    return done;
  }

  // Seat `depth` onwards: each of its holdings that fits `available`.
  Result<bool> walk_seats(std::size_t depth, CardSet available) {
    if (depth == lists_.size()) return walk_boards(available);
    const CardLists& list = lists_[depth];
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::uint64_t mask = detail::holding_mask(list[i]);
      if ((mask & ~available.mask()) != 0) continue;
      dealt_[depth] = list[i];
      Result<bool> done = walk_seats(depth + 1, available - CardSet(mask));
      if (!done || !*done) return done;
    }
    return true;
  }

  // Every seat holds a holding: every board dealt from `available`.
  Result<bool> walk_boards(CardSet available) {
    if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) [[unlikely]]
      return false;
    if (request_.board_slots == 0) {
      if (budget_ == 0) return false;
      --budget_;
      if (auto played = play(std::span<const Card>()); !played) return played.error();
      return true;
    }
    const SlotSampler& sampler = request_.board_sampler;
    if (sampler.mode() == SamplerMode::Free) return walk_open_boards(sampler, available);
    const std::optional<CardLists> boards = sampler.all_sets(available, budget_);
    if (!boards) return false;
    for (std::size_t i = 0; i < boards->size(); ++i) {
      if (budget_ == 0) return false;
      --budget_;
      if (auto played = play((*boards)[i]); !played) return played.error();
      if ((i + 1) % STOP_CHECK == 0 && stop_ != nullptr && stop_->load(std::memory_order_relaxed))
        return false;
    }
    return true;
  }

  std::uint64_t budget() const { return budget_; }

 private:
  // With an unconstrained board every leaf has the same number of boards (or
  // none, when a seat took a named board card), so the walk's showdowns can
  // be counted from the leaves alone. A walk that would run out of budget is
  // then refused before its first showdown, with the same answer.
  bool open_boards_fit(CardSet available) const {
    if (request_.board_slots == 0) return true;
    const SlotSampler& sampler = request_.board_sampler;
    if (sampler.mode() != SamplerMode::Free) return true;
    CardSet named;
    for (Card c : sampler.forced()) named.insert(c);
    if (!named.is_subset_of(available)) return true;  // no leaf has a board
    std::size_t dealt = named.count();
    for (const CardLists& list : lists_) dealt += list.width();
    const CardSet free = available - named;
    if (free.count() + named.count() < dealt) return true;
    const u128 boards = binomial(available.count() - dealt, sampler.open_count());
    if (boards == 0) return true;
    const u128 max_leaves = u128{budget_} / boards;
    return count_leaves(0, free, static_cast<std::uint64_t>(max_leaves)) <= max_leaves;
  }

  // Seat combinations from `depth` on that fit `available`, counted up to
  // just past `cap`.
  std::uint64_t count_leaves(std::size_t depth, CardSet available, std::uint64_t cap) const {
    if (depth == lists_.size()) return 1;
    std::uint64_t count = 0;
    const CardLists& list = lists_[depth];
    const bool last = depth + 1 == lists_.size();
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::uint64_t mask = detail::holding_mask(list[i]);
      if ((mask & ~available.mask()) != 0) continue;
      count += last ? 1 : count_leaves(depth + 1, available - CardSet(mask), cap - count);
      if (count > cap) break;
    }
    return count;
  }

  auto hole() const {
    return [this](std::size_t seat) { return dealt_[seat]; };
  }

  Outcome play(std::span<const Card> board) { return recorder_.record(hole(), board, 1.0); }

  // A board whose open slots take any card: the forced cards, then every
  // combination of the open count from what is left, ascending, as the
  // sampler would list them, but without listing them.
  Result<bool> walk_open_boards(const SlotSampler& sampler, CardSet available) {
    std::array<Card, 8> board{};
    const std::size_t forced = sampler.forced().size();
    const unsigned open = static_cast<unsigned>(sampler.open_count());
    for (std::size_t i = 0; i < forced; ++i) {
      const Card c = sampler.forced()[i];
      if (!available.contains(c)) return true;  // no board fits this leaf
      available.remove(c);
      board[i] = c;
    }
    const unsigned m = available.count();
    if (m < open) return true;
    const u128 count = binomial(m, open);
    if (count > budget_) return false;
    budget_ -= static_cast<std::uint64_t>(count);

    std::array<Card, 52> cards{};
    {
      unsigned n = 0;
      for (Card c : available) cards[n++] = c;
    }
    const std::span<const Card> whole(board.data(), forced + open);
    std::optional<PokerError> failure;
    std::uint32_t until_check = STOP_CHECK;
    const auto stopped = [&] {
      if (--until_check != 0) [[likely]]
        return false;
      until_check = STOP_CHECK;
      return stop_ != nullptr && stop_->load(std::memory_order_relaxed);
    };

    if constexpr (SHARED_BOARD_GAME<V>) {
      if (forced + open == V::BOARD_CARDS && holes_regular()) {
        // Each seat's hole cards packed once; the board's packed cards
        // extended from the first position that changed.
        std::array<PackedCards, MAX_SEATS> holes;
        const std::size_t seats = lists_.size();
        for (std::size_t i = 0; i < seats; ++i) holes[i] = PackedCards::of(dealt_[i]);
        const std::span<const PackedCards> hole_parts(holes.data(), seats);
        std::array<PackedCards, 9> partial{};
        partial[0] = PackedCards::of(whole.first(forced));
        const bool finished = for_each_combination(
            m, open, [&](const ChosenPositions& idx, unsigned from) {
              for (unsigned e = from; e < open; ++e) partial[e + 1] = partial[e].plus(cards[idx[e]]);
              recorder_.record_winners(recorder_.showdown().winners_packed(partial[open], hole_parts));
              return !stopped();
            });
        return finished;
      }
    }
    const bool finished = for_each_combination(
        m, open, [&](const ChosenPositions& idx, unsigned from) {
          for (unsigned e = from; e < open; ++e) board[forced + e] = cards[idx[e]];
          if (auto played = play(whole); !played) {
            failure = std::move(played).error();
            return false;
          }
          return !stopped();
        });
    if (failure) return *std::move(failure);
    return finished;
  }

  // Every seat holds exactly the variant's hole count (always so in a real
  // request); otherwise the hand buffers take over.
  bool holes_regular() const {
    for (std::size_t i = 0; i < lists_.size(); ++i)
      if (dealt_[i].size() != V::HOLE_CARDS) return false;
    return true;
  }

  static constexpr std::uint32_t STOP_CHECK = 4096;

  const EquityRequest<V>& request_;
  std::span<const CardLists> lists_;
  std::uint64_t budget_;
  const std::atomic<bool>* stop_;
  std::array<std::span<const Card>, MAX_SEATS> dealt_{};
  DealRecorder<V> recorder_;
};

}  // namespace vantor
