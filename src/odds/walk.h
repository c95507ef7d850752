// The exact walk: every combination of seat holdings and boards, each one
// showdown of weight 1, under one budget of showdowns shared by the walk.
//
// Seats are walked in index order, the board last; where the holdings of
// the seat with the most of them are grouped (walk_last_seat_by_keys), that
// seat comes last. A holding that repeats a card or uses a card already
// dealt is skipped. A leaf whose boards would overrun the remaining budget
// records nothing and stops the walk (false); the caller then throws the
// partial result away.
//
//   Walk<Holdem> walk(request, lists, result, 50'000'000, nullptr);
//   Result<bool> done = walk.run(request.live);   // false: too many deals
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "cards/card.h"
#include "error/error.h"
#include "odds/rank_boards.h"
#include "odds/request.h"
#include "odds/result.h"
#include "odds/scored_walk.h"
#include "odds/showdown.h"
#include "odds/suit_symmetry.h"
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
        recorder_(request.seat_count, result) {
    for (std::size_t i = 0; i < MAX_SEATS; ++i) order_[i] = static_cast<std::uint8_t>(i);
  }

  // The whole walk from `available`; on true every deal is in the result.
  Result<bool> run(CardSet available) {
    root_available_ = available.mask();
    if (!open_boards_fit(available)) return false;
    if (symmetric_ && holdings_.applies(request_, lists_)) {
      const bool done = holdings_.run(lists_, available, budget_, stop_, recorder_);
      if (done) recorder_.finish();
      return done;
    }
    prepare_groups();
    Result<bool> done = walk_seats(0, available);
    if (done && *done) recorder_.finish();
    return done;
  }

  // The seats from `depth` on in walking order (seat index order unless
  // the holdings are grouped): each holding of the seat that fits `available`.
  Result<bool> walk_seats(std::size_t depth, CardSet available) {
    if (depth == lists_.size()) return walk_boards(available);
    const std::size_t seat = order_[depth];
    if (free_suits_ && depth + 1 == lists_.size()) return walk_last_seat_by_keys(seat, available);
    const CardLists& list = lists_[seat];
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::uint64_t mask = detail::holding_mask(list[i]);
      if ((mask & ~available.mask()) != 0) continue;
      dealt_[seat] = list[i];
      holding_[seat] = i;
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
    const SlotSampler& sampler = request_.board.samplers.front();
    if (sampler.mode() == SamplerMode::Free) return walk_open_boards(sampler, available);
    const std::optional<CardLists> boards = sampler.all_sets(available, budget_, stop_);
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

  // Visits every deal one by one through the showdown, without the suit
  // symmetry or the seat-score walks (scored_walk.h): the same result, kept
  // to check them against.
  void one_board_at_a_time() { symmetric_ = false; }

 private:
  // With an unconstrained board every leaf has the same number of boards (or
  // none, when a seat took a named board card), so the walk's showdowns can
  // be counted from the leaves alone. A walk that would run out of budget is
  // then refused before its first showdown, with the same answer.
  bool open_boards_fit(CardSet available) const {
    if (request_.board_slots == 0) return true;
    const SlotSampler& sampler = request_.board.samplers.front();
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
    if (count * copies_ > budget_) return false;
    budget_ -= static_cast<std::uint64_t>(count * copies_);

    // The cards left, in order: listed only by the walks that read them.
    std::array<Card, 52> cards;
    const auto list_cards = [&] {
      unsigned n = 0;
      for (Card c : available) cards[n++] = c;
    };
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
        if constexpr (RankBoards::fits(V::HOLE_CARDS, V::BOARD_CARDS)) {
          if (symmetric_ && count >= RANK_MIN_BOARDS)
            return walk_rank_boards(available, PackedCards::of(whole.first(forced)), open, hole_parts,
                                    count);
        }
        list_cards();
        std::array<PackedCards, 9> partial{};
        partial[0] = PackedCards::of(whole.first(forced));
        const bool finished = for_each_combination(
            m, open, [&](const ChosenPositions& idx, unsigned from) {
              for (unsigned e = from; e < open; ++e) partial[e + 1] = partial[e].plus(cards[idx[e]]);
              recorder_.record_winners(recorder_.showdown().winners_packed(partial[open], hole_parts),
                                       copies_);
              return !stopped();
            });
        return finished;
      }
    }
    list_cards();
    if constexpr (V::TWO_PLUS_THREE) {
      if (symmetric_ && forced + open == V::BOARD_CARDS && holes_regular() &&
          TripleBoards<V>::pays(forced, m, open, count))
        return triples_.run(std::span<const std::span<const Card>>(dealt_.data(), lists_.size()),
                            whole.first(forced), std::span<const Card>(cards.data(), m), open,
                            stop_, recorder_);
      if (symmetric_ && forced + open == V::BOARD_CARDS && open <= 1 && holes_regular())
        return last_card_.run(std::span<const std::span<const Card>>(dealt_.data(), lists_.size()),
                              whole.first(forced), std::span<const Card>(cards.data(), m), open,
                              stop_, recorder_);
    }
    if (symmetric_ && count >= SYMMETRY_MIN_BOARDS && lists_.size() <= SYMMETRY_MAX_SEATS &&
        suits_interchange(available))
      return walk_symmetric_cards(available, std::span<Card>(board.data(), forced + open), forced);
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

  // The boards of a shared-board score game grouped by ranks and the one
  // suit that can flush someone (`RankBoards`), each group counted with its
  // number of boards: the same tally as walking them one by one. A leaf that
  // a suit permutation keeping the walk's cards maps onto an earlier leaf
  // takes that leaf's outcomes without walking.
  Result<bool> walk_rank_boards(CardSet available, PackedCards forced, unsigned open,
                                std::span<const PackedCards> holes, u128 boards_count)
    requires SHARED_BOARD_GAME<V>
  {
    const std::size_t seats = holes.size();
    std::uint32_t until_check = STOP_CHECK;
    const auto go_on = [&] {
      if (--until_check != 0) [[likely]]
        return true;
      until_check = STOP_CHECK;
      return stop_ == nullptr || !stop_->load(std::memory_order_relaxed);
    };
    std::array<std::uint16_t*, MAX_SEATS> memos{};
    if (prepare_memos(open))
      for (std::size_t i = 0; i < seats; ++i)
        memos[i] = memos_.data() + (memo_starts_[i] + holding_[i]) * RankBoards::multisets(open);
    const auto boards = [&] {
      return RankBoards(*V::SHARED_BOARD_RANKING, available.mask(), open, forced, holes,
                        std::span(memos.data(), seats));
    };
    if (seats > SYMMETRY_MAX_SEATS)
      return boards().run([&](SeatMask winners, std::uint64_t copies) {
        recorder_.record_winners(winners, copies * copies_);
        return go_on();
      });

    // Outcomes counted per winner mask over the leaf, then recorded; kept
    // for the leaf's class when it has boards enough to pay for the lookup.
    const bool cached = boards_count >= SYMMETRY_MIN_BOARDS;
    std::vector<std::uint64_t> key;
    if (cached) {
      std::array<std::uint64_t, MAX_SEATS> held{};
      for (std::size_t i = 0; i < seats; ++i) held[i] = detail::holding_mask(dealt_[i]);
      if (symmetries_.empty()) {
        const std::array<std::uint64_t, 2> root = {root_available_, forced_mask()};
        symmetries_ = suit_symmetries(root);
      }
      // The leaf's canonical form: its least image under those permutations.
      key.assign(held.begin(), held.begin() + seats);
      for (const auto& to : symmetries_) {
        std::array<std::uint64_t, MAX_SEATS> image{};
        for (std::size_t i = 0; i < seats; ++i) image[i] = permute_suits(held[i], to);
        if (std::lexicographical_compare(image.begin(), image.begin() + seats, key.begin(), key.end()))
          key.assign(image.begin(), image.begin() + seats);
      }
      if (const auto known = leaf_outcomes_.find(key); known != leaf_outcomes_.end()) {
        for (const auto& [winners, copies] : known->second)
          recorder_.record_winners(winners, copies * copies_);
        return true;
      }
    }
    leaf_counts_.resize(std::size_t{1} << seats);
    const bool finished = boards().run([&](SeatMask winners, std::uint64_t copies) {
      leaf_counts_[winners] += copies;
      return go_on();
    });
    std::vector<std::pair<SeatMask, std::uint64_t>> outcomes;
    for (std::size_t w = 1; w < leaf_counts_.size(); ++w) {
      const std::uint64_t copies = std::exchange(leaf_counts_[w], 0);
      if (copies == 0 || !finished) continue;
      recorder_.record_winners(static_cast<SeatMask>(w), copies * copies_);
      if (cached) outcomes.emplace_back(static_cast<SeatMask>(w), copies);
    }
    if (!finished) return false;
    if (cached) leaf_outcomes_.emplace(std::move(key), std::move(outcomes));
    return true;
  }

  // Groups the holdings of the seat with the most of them (the last such),
  // walked last, by key when every leaf takes the packed shared-board path
  // of walk_open_boards (the open board completes the board, every holding
  // has the hole count), which records each deal with copies_. The order of
  // the seats changes no count, and a walk of such boards never runs out of
  // budget midway (open_boards_fit).
  void prepare_groups() {
    if constexpr (SHARED_BOARD_GAME<V>) {
      if (!symmetric_ || request_.board_slots == 0 || lists_.empty()) return;
      const SlotSampler& sampler = request_.board.samplers.front();
      if (sampler.mode() != SamplerMode::Free ||
          sampler.forced().size() + sampler.open_count() != V::BOARD_CARDS)
        return;
      std::size_t widest = 0;
      for (std::size_t i = 0; i < lists_.size(); ++i) {
        if (lists_[i].width() != V::HOLE_CARDS) return;
        if (lists_[i].size() >= lists_[widest].size()) widest = i;
      }
      const FlushFreeSuits free(forced_mask(), static_cast<unsigned>(sampler.open_count()), V::HOLE_CARDS);
      if (lists_[widest].size() < 2 || !free.any()) return;
      std::rotate(order_.begin() + widest, order_.begin() + widest + 1, order_.begin() + lists_.size());
      free_suits_ = free;
    }
  }

  // The holdings of `seat`, walked last, that fit `available`, grouped by
  // their key (`FlushFreeSuits`) under the suits every seat leaves free:
  // each group walked once through its first holding and recorded with its
  // size. A holding that takes a named board card has no board, as in
  // walk_open_boards.
  Result<bool> walk_last_seat_by_keys(std::size_t seat, CardSet available) {
    unsigned free = 0xF;
    for (std::size_t i = 0; i < lists_.size(); ++i)
      if (i != seat) free &= free_suits_->of(detail::holding_mask(dealt_[i]));
    const bool settled = (free & ~free_suits_->always()) == 0;  // no holding can change it
    const CardLists& list = lists_[seat];
    const std::uint64_t blocked = ~available.mask() | forced_mask();
    const std::size_t slots = std::bit_ceil(2 * list.size());
    if (group_slots_.size() < slots) group_slots_.assign(slots, NO_GROUP);
    const unsigned shift = 64 - static_cast<unsigned>(std::countr_zero(slots));
    groups_.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::uint64_t mask = detail::holding_mask(list[i]);
      if ((mask & blocked) != 0) continue;
      const std::uint64_t key =
          FlushFreeSuits::key(mask, settled ? free : free & free_suits_->of(mask));
      std::size_t slot = slots == 1 ? 0 : (key * 0x9E3779B97F4A7C15ull) >> shift;
      while (group_slots_[slot] != NO_GROUP && groups_[group_slots_[slot]].key != key)
        slot = (slot + 1) & (slots - 1);
      if (group_slots_[slot] == NO_GROUP) {
        group_slots_[slot] = static_cast<std::uint32_t>(groups_.size());
        groups_.push_back({key, mask, i, slot, 1});
      } else {
        ++groups_[group_slots_[slot]].size;
      }
    }
    for (const Group& group : groups_) group_slots_[group.slot] = NO_GROUP;
    for (const Group& group : groups_) {
      dealt_[seat] = list[group.first];
      holding_[seat] = group.first;
      copies_ = group.size;
      Result<bool> done = walk_boards(available - CardSet(group.cards));
      copies_ = 1;
      if (!done || !*done) return done;
    }
    return true;
  }

  // Room for every holding's non-flush scores of every multiset of `open`
  // ranks, unless that would take too much memory or a leaf has too few
  // boards to gain from it; false without it.
  bool prepare_memos(unsigned open) {
    if (memos_ready_) return !memos_.empty();
    memos_ready_ = true;
    if (open < 2) return false;
    std::size_t holdings = 0;
    for (std::size_t i = 0; i < lists_.size(); ++i) {
      memo_starts_[i] = holdings;
      holdings += lists_[i].size();
    }
    const std::size_t each = RankBoards::multisets(open);
    if (holdings > MEMO_ENTRIES / each) return false;
    memos_.assign(holdings * each, NO_ENTRY);
    return true;
  }

  // The same classes of boards for any game, each board played as cards:
  // the named cards first, then the open ones in ascending order.
  Result<bool> walk_symmetric_cards(CardSet available, std::span<Card> board, std::size_t forced) {
    const std::size_t seats = lists_.size();
    std::array<std::uint64_t, MAX_SEATS + 2> marks{};
    marks[0] = available.mask();
    marks[1] = forced_mask();
    for (std::size_t i = 0; i < seats; ++i) marks[2 + i] = detail::holding_mask(dealt_[i]);
    SymmetricBoards<CardMask> boards(std::span(marks.data(), seats + 2), available.mask(),
                                     static_cast<unsigned>(board.size() - forced), CardMask{},
                                     [](std::uint64_t cards) { return CardMask{cards}; });
    std::optional<PokerError> failure;
    std::uint32_t until_check = STOP_CHECK;
    const bool finished = boards.run([&](const CardMask& open, std::uint64_t copies) {
      std::size_t k = forced;
      for (std::uint64_t m = open.cards; m != 0; m &= m - 1)
        board[k++] = Card(static_cast<unsigned>(std::countr_zero(m)));
      if (auto played = recorder_.record_copies(hole(), board, copies); !played) {
        failure = std::move(played).error();
        return false;
      }
      if (--until_check != 0) [[likely]]
        return true;
      until_check = STOP_CHECK;
      return stop_ == nullptr || !stop_->load(std::memory_order_relaxed);
    });
    if (failure) return *std::move(failure);
    return finished;
  }

  // Whether two suits are alike at this leaf; when none are, every class
  // holds one board and walking them in order is cheaper.
  bool suits_interchange(CardSet available) const {
    std::array<std::uint64_t, MAX_SEATS + 2> marks{};
    marks[0] = available.mask();
    marks[1] = forced_mask();
    for (std::size_t i = 0; i < lists_.size(); ++i) marks[2 + i] = detail::holding_mask(dealt_[i]);
    const auto classes = suit_classes(std::span(marks.data(), lists_.size() + 2));
    return classes != std::array<std::uint8_t, SUITS>{0, 1, 2, 3};
  }

  std::uint64_t forced_mask() const {
    std::uint64_t mask = 0;
    for (Card c : request_.board.samplers.front().forced()) mask |= std::uint64_t{1} << c.index();
    return mask;
  }

  // Every seat holds exactly the variant's hole count (always so in a real
  // request); otherwise the hand buffers take over.
  bool holes_regular() const {
    for (std::size_t i = 0; i < lists_.size(); ++i)
      if (dealt_[i].size() != V::HOLE_CARDS) return false;
    return true;
  }

  static constexpr std::uint32_t STOP_CHECK = 4096;
  // Below this many boards a shared-board leaf is walked one board at a time.
  static constexpr std::uint64_t RANK_MIN_BOARDS = 16;
  // The most non-flush scores kept for the holdings (2 bytes each).
  static constexpr std::size_t MEMO_ENTRIES = std::size_t{1} << 22;
  // Below this many boards a leaf is walked one board at a time (other
  // games) or its outcomes not kept for its class (shared-board games):
  // either would cost more than it saves. Leaf outcomes are kept as masks
  // over the seats, so those walks take at most this many.
  static constexpr std::uint64_t SYMMETRY_MIN_BOARDS = 2048;
  static constexpr std::size_t SYMMETRY_MAX_SEATS = 10;

  const EquityRequest<V>& request_;
  std::span<const CardLists> lists_;
  std::uint64_t budget_;
  const std::atomic<bool>* stop_;
  std::array<std::span<const Card>, MAX_SEATS> dealt_{};
  std::array<std::size_t, MAX_SEATS> holding_{};  // dealt_[i] is lists_[i][holding_[i]]
  std::array<std::uint8_t, MAX_SEATS> order_;      // the seats in walking order
  DealRecorder<V> recorder_;
  // Seats scored apart: games without a board, two-plus-three boards.
  ScoredHoldings<V> holdings_;
  std::conditional_t<V::TWO_PLUS_THREE, TripleBoards<V>, std::monostate> triples_;
  std::conditional_t<V::TWO_PLUS_THREE, LastCardBoards<V>, std::monostate> last_card_;
  // The symmetric walk's memory: suit permutations that keep the walk's
  // cards, and the outcomes of each class of leaves walked so far.
  bool symmetric_ = true;
  std::uint64_t root_available_ = 0;
  std::vector<std::array<std::uint8_t, SUITS>> symmetries_;
  std::map<std::vector<std::uint64_t>, std::vector<std::pair<SeatMask, std::uint64_t>>> leaf_outcomes_;
  std::vector<std::uint64_t> leaf_counts_;  // one leaf's deals per winner mask
  // The last seat's holdings by key: set when they are grouped; the open
  // table of group indices, the groups of one walk_last_seat_by_keys, and
  // the deals each leaf stands for.
  struct Group {
    std::uint64_t key;
    std::uint64_t cards;
    std::size_t first;  // its first holding in the seat's list
    std::size_t slot;
    std::uint64_t size;
  };
  static constexpr std::uint32_t NO_GROUP = ~std::uint32_t{0};
  std::optional<FlushFreeSuits> free_suits_;
  std::vector<std::uint32_t> group_slots_;
  std::vector<Group> groups_;
  std::uint64_t copies_ = 1;
  // Each holding's non-flush scores per multiset of the open board ranks;
  // seat i's holdings from memo_starts_[i] on.
  bool memos_ready_ = false;
  std::vector<std::uint16_t> memos_;
  std::array<std::size_t, MAX_SEATS> memo_starts_{};
};

}  // namespace vantor
