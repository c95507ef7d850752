// Exact walks for games whose seats are scored apart from one another: a
// seat's score is formed once per holding (games without a board) or once
// per hole pair and board triple (two-plus-three games), so each deal costs
// a few loads and comparisons instead of a showdown. The walk takes them when
// it visits classes of deals; walking one board at a time keeps the plain
// showdown to check them against.
//
//   ScoredHoldings<Stud> holdings;
//   if (holdings.applies(request, lists))
//     done = holdings.run(lists, request.live, budget, stop, recorder);
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "cards/card.h"
#include "odds/request.h"
#include "odds/showdown.h"
#include "sampler/card_lists.h"
#include "sampler/combinations.h"
#include "variants/variants.h"

namespace vantor {

namespace detail {

// How often a fast walk looks at the stop flag, in deals.
inline constexpr std::uint32_t SCORED_STOP_CHECK = 4096;

}  // namespace detail

// Games without a board: a seat's showdown score depends on its holding
// alone, so every holding is scored once and every combination of holdings
// that share no card is one comparison.
template <class V>
class ScoredHoldings {
 public:
  // Whether `lists` can be walked this way: no board to deal, and every
  // holding fits a hand.
  bool applies(const EquityRequest<V>& request, std::span<const CardLists> lists) const {
    if (request.board_slots != 0 || lists.empty() || lists.size() > MAX_SEATS) return false;
    return std::all_of(lists.begin(), lists.end(),
                       [](const CardLists& list) { return list.width() <= V::CAPACITY; });
  }

  // Every combination of holdings from `available`, seats in index order,
  // each one deal of `budget`, as the plain walk meets them. False when the
  // budget runs out or `stop` is raised; the caller then drops the result.
  bool run(std::span<const CardLists> lists, CardSet available, std::uint64_t& budget,
           const std::atomic<bool>* stop, DealRecorder<V>& recorder) {
    seats_.resize(lists.size());
    for (std::size_t s = 0; s < lists.size(); ++s) {
      std::vector<Entry>& entries = seats_[s];
      entries.clear();
      for (std::size_t i = 0; i < lists[s].size(); ++i) {
        const std::span<const Card> cards = lists[s][i];
        std::uint64_t mask = 0;
        for (Card c : cards) mask |= std::uint64_t{1} << c.index();
        if (static_cast<std::size_t>(std::popcount(mask)) < cards.size()) continue;
        if ((mask & ~available.mask()) != 0) continue;
        // A low that does not qualify is kept as NO_HAND, above every one that does.
        Entry e{mask, V::score(cards), NO_HAND};
        if constexpr (V::SCORE_AWARD == ScoreAward::HiLo) {
          const std::uint32_t low = V::low_score(cards);
          if (EightOrBetter{}(low)) e.low = low;
        }
        entries.push_back(e);
      }
    }
    budget_ = &budget;
    stop_ = stop;
    recorder_ = &recorder;
    until_check_ = detail::SCORED_STOP_CHECK;
    return walk(0, 0);
  }

 private:
  struct Entry {
    std::uint64_t mask;
    std::uint32_t high;
    std::uint32_t low;  // NO_HAND unless an eight-or-better low
  };

  bool walk(std::size_t depth, std::uint64_t used) {
    if (depth + 1 == seats_.size()) return last_seat(depth, used);
    for (const Entry& e : seats_[depth]) {
      if ((e.mask & used) != 0) continue;
      high_[depth] = e.high;
      low_[depth] = e.low;
      if (!walk(depth + 1, used | e.mask)) return false;
    }
    return true;
  }

  // The last seat against the best of the others: each of its holdings
  // beats, ties or loses to that best high (and low), so its holdings are
  // counted per outcome and each outcome recorded once.
  bool last_seat(std::size_t depth, std::uint64_t used) {
    std::uint32_t best = NO_HAND, best_low = LOW_QUALIFIER;
    SeatMask others = 0, low_others = 0;
    if (depth > 0) {
      others = detail::lowest_scorers(high_.data(), depth);
      best = high_[static_cast<std::size_t>(std::countr_zero(others))];
      low_others = detail::lowest_qualifying(low_.data(), depth);
      if (low_others != 0) best_low = low_[static_cast<std::size_t>(std::countr_zero(low_others))];
    }
    // counts[3 * high + low], each 0 beats, 1 ties, 2 loses; 9: a holding
    // that shares a card with the others.
    std::array<std::uint64_t, 10> counts{};
    const std::vector<Entry>& entries = seats_[depth];
    for (const Entry& e : entries) {
      const unsigned high = unsigned{e.high >= best} + unsigned{e.high > best};
      const unsigned low = unsigned{e.low >= best_low} + unsigned{e.low > best_low};
      counts[(e.mask & used) == 0 ? 3 * high + low : 9] += 1;
    }
    std::uint64_t dealt = 0;
    for (std::size_t i = 0; i < 9; ++i) dealt += counts[i];
    if (dealt > *budget_) return false;
    *budget_ -= dealt;
    const SeatMask me = SeatMask{1} << depth;
    const std::array<SeatMask, 3> highs{me, others | me, others};
    const std::array<SeatMask, 3> lows{me, low_others | me, low_others};
    for (std::size_t i = 0; i < 9; ++i) {
      if (counts[i] == 0) continue;
      if constexpr (V::SCORE_AWARD == ScoreAward::HiLo)
        recorder_->record_scored(highs[i / 3], lows[i % 3], counts[i]);
      else
        recorder_->record_scored(highs[i / 3], 0, counts[i]);
    }
    until_check_ -= static_cast<std::int64_t>(entries.size());
    if (until_check_ <= 0) [[unlikely]] {
      until_check_ = detail::SCORED_STOP_CHECK;
      if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) return false;
    }
    return true;
  }

  std::vector<std::vector<Entry>> seats_;
  std::array<std::uint32_t, MAX_SEATS> high_{}, low_{};
  std::uint64_t* budget_ = nullptr;
  const std::atomic<bool>* stop_ = nullptr;
  DealRecorder<V>* recorder_ = nullptr;
  std::int64_t until_check_ = 0;
};

// Two-plus-three games over many boards: each seat's best score with every
// board triple is tabled once (one score per hole pair and triple), and a
// board's score is the least of its ten triples, read from the table and
// kept per board prefix so a board that changes only its last card reads six.
template <class V>
class TripleBoards {
  static_assert(V::TWO_PLUS_THREE && V::BOARD_CARDS == 5);

 public:
  // Whether tabling the triples of `forced` named and `m` open cards pays
  // for `boards` boards of `open` more cards: the table costs one score per
  // reachable triple, the plain walk ten per board.
  static bool pays(std::size_t forced, unsigned m, unsigned open, u128 boards) {
    u128 reachable = 0;
    for (unsigned k = 0; k <= 3 && k <= open; ++k)
      if (3 - k <= forced) reachable += binomial(static_cast<unsigned>(forced), 3 - k) * binomial(m, k);
    return reachable <= boards * 4;
  }

  // Every board of the `forced` cards and `open` of `cards` (ascending, as
  // the plain walk lists them), each one weight-1 deal whose budget was
  // taken already; seat i holds `holes[i]`. False when `stop` is raised.
  bool run(std::span<const std::span<const Card>> holes, std::span<const Card> forced,
           std::span<const Card> cards, unsigned open, const std::atomic<bool>* stop,
           DealRecorder<V>& recorder) {
    const std::size_t f = forced.size();
    const std::size_t n = f + cards.size();
    std::array<Card, 52> list{};
    std::copy(forced.begin(), forced.end(), list.begin());
    std::copy(cards.begin(), cards.end(), list.begin() + f);
    const std::span<const Card> all(list.data(), n);
    const std::size_t per_seat = n * (n - 1) * (n - 2) / 6;
    const std::size_t seats = holes.size();
    const auto wanted = [f, open](std::size_t p, std::size_t q, std::size_t r) {
      return unsigned{p >= f} + unsigned{q >= f} + unsigned{r >= f} <= open;
    };
    high_.resize(seats * per_seat);
    for (std::size_t s = 0; s < seats; ++s)
      best_by_triple(holes[s], all, V::HIGH_PARTS, wanted, high_.data() + s * per_seat);
    if constexpr (V::SCORE_AWARD == ScoreAward::HiLo) {
      low_.resize(seats * per_seat);
      for (std::size_t s = 0; s < seats; ++s)
        best_by_triple<true>(holes[s], all, V::LOW_PARTS, wanted, low_.data() + s * per_seat);
    }

    // best[k][s]: seat s's best score over the triples of board cards 0..k.
    std::array<std::array<std::uint32_t, MAX_SEATS>, 5> best_high{}, best_low{};
    std::array<std::size_t, 5> pos{};
    for (std::size_t i = 0; i < f; ++i) pos[i] = i;
    bool first = true;
    std::uint32_t until_check = detail::SCORED_STOP_CHECK;
    return for_each_combination(
        static_cast<unsigned>(cards.size()), open, [&](const ChosenPositions& idx, unsigned from) {
          for (unsigned e = from; e < open; ++e) pos[f + e] = f + idx[e];
          const std::size_t start = first ? 2 : std::max<std::size_t>(f + from, 2);
          first = false;
          for (std::size_t k = start; k < 5; ++k) {
            const std::size_t top = pos[k] * (pos[k] - 1) * (pos[k] - 2) / 6;
            extend(k, top, pos, seats, per_seat, high_, best_high);
            if constexpr (V::SCORE_AWARD == ScoreAward::HiLo)
              extend(k, top, pos, seats, per_seat, low_, best_low);
          }
          const SeatMask high = detail::lowest_scorers(best_high[4].data(), seats);
          if constexpr (V::SCORE_AWARD == ScoreAward::HiLo)
            recorder.record_scored(high, detail::lowest_qualifying(best_low[4].data(), seats), 1);
          else
            recorder.record_scored(high, 0, 1);
          if (--until_check != 0) [[likely]]
            return true;
          until_check = detail::SCORED_STOP_CHECK;
          return stop == nullptr || !stop->load(std::memory_order_relaxed);
        });
  }

 private:
  // best[k] from best[k - 1] and the triples whose highest card is board card k.
  static void extend(std::size_t k, std::size_t top, const std::array<std::size_t, 5>& pos,
                     std::size_t seats, std::size_t per_seat, const std::vector<std::uint16_t>& table,
                     std::array<std::array<std::uint32_t, MAX_SEATS>, 5>& best) {
    for (std::size_t s = 0; s < seats; ++s) {
      const std::uint16_t* t = table.data() + s * per_seat + top;
      std::uint32_t b = k == 2 ? NO_HAND : best[k - 1][s];
      for (std::size_t j = 1; j < k; ++j) {
        const std::uint16_t* row = t + pos[j] * (pos[j] - 1) / 2;
        for (std::size_t i = 0; i < j; ++i) b = std::min<std::uint32_t>(b, row[pos[i]]);
      }
      best[k][s] = b;
    }
  }

  std::vector<std::uint16_t> high_, low_;
};

// Two-plus-three boards missing at most one card (turn and river spots),
// leaf after leaf: a seat's best over the triples of the named board cards
// is formed once per holding, and its best with each last card once per
// holding and card, so a seat whose holding is the same as at the previous
// leaf is not scored again.
template <class V>
class LastCardBoards {
  static_assert(V::TWO_PLUS_THREE && V::BOARD_CARDS == 5);

 public:
  // Every board of the `forced` cards and `open` (0 or 1) of `cards`, as
  // `TripleBoards::run` walks them.
  bool run(std::span<const std::span<const Card>> holes, std::span<const Card> forced,
           std::span<const Card> cards, unsigned open, const std::atomic<bool>* stop,
           DealRecorder<V>& recorder) {
    const std::size_t seats = holes.size();
    if (forced.size() + open != 5 || open > 1 || seats > MAX_SEATS) [[unlikely]]
      throw std::logic_error("a last-card walk deals at most one card of a five-card board");
    std::uint64_t named = 0;
    for (Card c : forced) named |= std::uint64_t{1} << c.index();
    for (std::size_t s = 0; s < seats; ++s) seats_[s].hold(holes[s], forced, named);
    std::array<std::uint32_t, MAX_SEATS> high{}, low{};
    const auto record = [&] {
      const SeatMask winners = detail::lowest_scorers(high.data(), seats);
      if constexpr (V::SCORE_AWARD == ScoreAward::HiLo)
        recorder.record_scored(winners, detail::lowest_qualifying(low.data(), seats), 1);
      else
        recorder.record_scored(winners, 0, 1);
    };
    if (open == 0) {
      for (std::size_t s = 0; s < seats; ++s) {
        high[s] = seats_[s].named_high;
        low[s] = seats_[s].named_low;
      }
      record();
      return true;
    }
    std::uint32_t until_check = detail::SCORED_STOP_CHECK;
    for (Card c : cards) {
      for (std::size_t s = 0; s < seats; ++s) seats_[s].with(c, forced, high[s], low[s]);
      record();
      if (--until_check == 0) [[unlikely]] {
        until_check = detail::SCORED_STOP_CHECK;
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) return false;
      }
    }
    return true;
  }

 private:
  struct Seat {
    std::array<Card, 8> holding{};
    std::size_t size = 0;
    std::uint64_t named = ~std::uint64_t{0};  // the named board cards scored against
    std::array<CardPart, 15> pairs{}, low_pairs{};
    std::size_t pair_count = 0, low_pair_count = 0;
    std::uint32_t named_high = NO_HAND, named_low = NO_HAND;
    std::uint64_t known = 0;  // last cards already scored
    std::array<std::uint32_t, 52> high{}, low{};

    void hold(std::span<const Card> hole, std::span<const Card> forced, std::uint64_t board) {
      if (board == named && hole.size() == size && std::equal(hole.begin(), hole.end(), holding.begin()))
        return;
      named = board;
      size = std::min(hole.size(), holding.size());
      std::copy_n(hole.begin(), size, holding.begin());
      pair_count = low_pair_count = 0;
      for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = i + 1; j < size && pair_count < pairs.size(); ++j) {
          pairs[pair_count++] = CardPart::of(holding[i], holding[j]);
          if (can_make_low({holding[i], holding[j]}))
            low_pairs[low_pair_count++] = pairs[pair_count - 1];
        }
      named_high = named_low = NO_HAND;
      const std::size_t f = forced.size();
      for (std::size_t a = 0; a < f; ++a)
        for (std::size_t b = a + 1; b < f; ++b)
          for (std::size_t c = b + 1; c < f; ++c) add(forced[a], forced[b], forced[c], named_high, named_low);
      known = 0;
    }

    // The best with the triple, high and low, folded into `h` and `l`; a
    // low only where it can be eight or better.
    void add(Card a, Card b, Card c, std::uint32_t& h, std::uint32_t& l) const {
      const CardPart triple = CardPart::of(a, b, c);
      for (std::size_t k = 0; k < pair_count; ++k)
        h = std::min<std::uint32_t>(h, V::HIGH_PARTS(pairs[k], triple));
      if constexpr (V::SCORE_AWARD == ScoreAward::HiLo) {
        if (!can_make_low({a, b, c})) return;
        for (std::size_t k = 0; k < low_pair_count; ++k)
          l = std::min<std::uint32_t>(l, V::LOW_PARTS(low_pairs[k], triple));
      }
    }

    // Scores with the named cards and `last`; lows kept only when eight or better.
    void with(Card last, std::span<const Card> forced, std::uint32_t& h, std::uint32_t& l) {
      const unsigned i = last.index();
      if (((known >> i) & 1u) == 0) {
        std::uint32_t bh = named_high, bl = named_low;
        const std::size_t f = forced.size();
        for (std::size_t a = 0; a < f; ++a)
          for (std::size_t b = a + 1; b < f; ++b) add(forced[a], forced[b], last, bh, bl);
        high[i] = bh;
        low[i] = bl;
        known |= std::uint64_t{1} << i;
      }
      h = high[i];
      l = low[i];
    }
  };

  std::array<Seat, MAX_SEATS> seats_{};
};

}  // namespace vantor
