// The boards of a shared-board game grouped by what its showdown reads: the
// board's ranks, and the suited ranks of the one suit that can still make
// someone a flush. The walk lists each multiset of ranks once (its key one
// addition per rank), scores every seat's non-flush hand once for it, and
// splits off only the boards whose suits could give a seat a flush, each
// split counted exactly; what is left of the multiset's boards shares the
// non-flush outcome.
//
//   RankBoards boards(HIGH_RANKING, available, 5, forced, holes);
//   boards.run([&](SeatMask winners, std::uint64_t copies) { ...; return true; });
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cards/card.h"
#include "odds/showdown.h"
#include "odds/suit_symmetry.h"
#include "variants/rankings/ranking.h"

namespace vantor {

class RankBoards {
 public:
  // Whether seats of `hole` cards over a board of `board` cards fit the
  // grouping: a table-scored hand of 5 to 7 cards, which holds at most one
  // suit of five; a seat's flush needs at least 5 - hole board cards of its
  // suit, so two suits can never both be that full on one board.
  static constexpr bool fits(std::size_t hole, std::size_t board) {
    return hole >= 1 && hole + board >= 5 && hole + board <= 7 && board <= 5 && 2 * (5 - hole) > board;
  }

  // The multisets of `open` ranks (at most 5), whatever cards are left:
  // the length of a seat's memo of non-flush scores.
  static constexpr std::size_t multisets(unsigned open) { return MULTISETS[RANKS][open]; }

  // `open` cards (at most 5) from `available` complete the board after the
  // `forced` ones; seat i holds `holes[i]` (at most MAX_SEATS seats). Seat
  // i's non-flush score of each multiset of ranks is kept in `memos[i]`
  // (`multisets(open)` entries, NO_ENTRY where not yet scored) unless that
  // is null: scores depend on the seat's cards and the forced ones only, so
  // the memo serves every walk of the same holding.
  RankBoards(const Ranking& ranking, std::uint64_t available, unsigned open, PackedCards forced,
             std::span<const PackedCards> holes, std::span<std::uint16_t* const> memos = {})
      : ranking_(ranking), open_(open), seats_(holes.size()) {
    for (std::size_t i = 0; i < seats_; ++i) memos_[i] = i < memos.size() ? memos[i] : nullptr;
    for (unsigned r = 0; r < RANKS; ++r) {
      lanes_[r] = static_cast<std::uint8_t>((available >> (4 * r)) & 0xF);
      counts_[r] = static_cast<std::uint8_t>(std::popcount(lanes_[r]));
    }
    forced_key_ = static_cast<std::uint32_t>(forced.counts);
    for (std::size_t i = 0; i < seats_; ++i) hole_keys_[i] = static_cast<std::uint32_t>(holes[i].counts);
    for (unsigned s = 0; s < SUITS; ++s) {
      forced_lanes_[s] = static_cast<std::uint16_t>((forced.lanes >> (16 * s)) & 0x1FFF);
      const int forced_count = std::popcount(forced_lanes_[s]);
      int most = 0;
      for (std::size_t i = 0; i < seats_; ++i) {
        hole_lanes_[s][i] = static_cast<std::uint16_t>((holes[i].lanes >> (16 * s)) & 0x1FFF);
        // Open cards of suit s this seat needs for a flush.
        const int held = std::popcount(hole_lanes_[s][i]);
        needs_[s][i] = 5 - forced_count - held;
        most = std::max(most, held);
      }
      const int need = std::max(5 - forced_count - most, 0);
      if (need <= static_cast<int>(open_))
        flush_suits_[flush_suit_count_++] = {static_cast<std::uint8_t>(s), need};
    }
  }

  // Calls visit(winners, copies) for each group until it answers false;
  // true when every group was visited. The copies add up to
  // C(|available|, open).
  template <class Visit>
  bool run(Visit&& visit) {
    return open_ == 0 ? leaf(0, 1, 0, 0, visit) : walk(RANKS, open_, 0, 1, 0, 0, visit);
  }

 private:
  static constexpr unsigned RANKS = 13;
  // MULTISETS[r][k]: the multisets of k ranks below r, at most 4 of each.
  static constexpr std::array<std::array<std::size_t, 6>, RANKS + 1> MULTISETS = [] {
    std::array<std::array<std::size_t, 6>, RANKS + 1> table{};
    table[0][0] = 1;
    for (unsigned r = 1; r <= RANKS; ++r)
      for (unsigned k = 0; k <= 5; ++k)
        for (unsigned take = 0; take <= 4 && take <= k; ++take) table[r][k] += table[r - 1][k - take];
    return table;
  }();
  static constexpr std::array<std::uint32_t, RANKS> RANK_KEYS = [] {
    std::array<std::uint32_t, RANKS> keys{};
    for (unsigned r = 0; r < RANKS; ++r) keys[r] = rank_key(r);
    return keys;
  }();

  // C(n, k) for n <= 4: the ways to take k of one rank's available cards.
  static constexpr std::array<std::array<std::uint8_t, 5>, 5> CHOOSE = {{
      {1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 2, 1, 0, 0}, {1, 3, 3, 1, 0}, {1, 4, 6, 4, 1}}};

  // For n ranks, every subset of them as a mask, largest first, so that a
  // walk over the subsets of at least k ranks stops at the first smaller one.
  static constexpr std::array<std::array<std::uint8_t, 32>, 6> SUBSETS = [] {
    std::array<std::array<std::uint8_t, 32>, 6> table{};
    for (unsigned n = 0; n <= 5; ++n) {
      unsigned at = 0;
      for (int size = static_cast<int>(n); size >= 0; --size)
        for (unsigned mask = 0; mask < (1u << n); ++mask)
          if (std::popcount(mask) == size) table[n][at++] = static_cast<std::uint8_t>(mask);
    }
    return table;
  }();

  struct FlushSuit {
    std::uint8_t suit;
    int need;  // open cards of the suit that give some seat a flush
  };

  // Ranks below `below` take `left` (>= 1) more cards; `key` sums the rank
  // keys so far and `copies` counts the boards with those ranks; the first
  // `distinct` entries of ranks_ / takes_ are the ranks taken. `ordinal`
  // numbers the multisets in the order of a walk with every card available,
  // so a multiset has one number whatever this walk's cards.
  template <class Visit>
  bool walk(unsigned below, unsigned left, std::uint32_t key, std::uint64_t copies, unsigned distinct,
            std::size_t ordinal, Visit& visit) {
    for (unsigned r = below; r-- > 0;) {
      const unsigned n = counts_[r];
      ranks_[distinct] = static_cast<std::uint8_t>(r);
      for (unsigned take = 1; take <= 4 && take <= left; ++take) {
        if (take <= n) {
          takes_[distinct] = static_cast<std::uint8_t>(take);
          const std::uint32_t next_key = key + take * RANK_KEYS[r];
          const std::uint64_t next_copies = copies * CHOOSE[n][take];
          const bool go_on =
              take == left ? leaf(next_key, next_copies, distinct + 1, ordinal, visit)
                           : walk(r, left - take, next_key, next_copies, distinct + 1, ordinal, visit);
          if (!go_on) return false;
        }
        ordinal += MULTISETS[r][left - take];
      }
    }
    return true;
  }

  // One multiset of ranks: its boards by the suited ranks of a suit that can
  // flush someone, then the rest, which no seat can flush.
  template <class Visit>
  bool leaf(std::uint32_t key, std::uint64_t copies, unsigned distinct, std::size_t ordinal, Visit& visit) {
    std::array<std::uint32_t, MAX_SEATS> plain;
    const std::uint32_t board_key = forced_key_ + key;
    for (std::size_t i = 0; i < seats_; ++i) {
      std::uint16_t* const memo = memos_[i] == nullptr ? nullptr : memos_[i] + ordinal;
      if (memo != nullptr && *memo != NO_ENTRY) {
        plain[i] = *memo;
        continue;
      }
      plain[i] = ranking_.values[value_slot(board_key + hole_keys_[i])];
      if (memo != nullptr) *memo = static_cast<std::uint16_t>(plain[i]);
    }
    std::uint64_t flushed = 0;
    for (unsigned f = 0; f < flush_suit_count_; ++f) {
      const unsigned s = flush_suits_[f].suit;
      const int need = flush_suits_[f].need;
      // Per rank taken: the ways when the suit's card is among them, and
      // when it is not.
      std::array<std::uint8_t, 5> with{}, without{};
      int can = 0;
      for (unsigned j = 0; j < distinct; ++j) {
        const unsigned r = ranks_[j], take = takes_[j], n = counts_[r];
        const bool has = (lanes_[r] >> s) & 1u;
        with[j] = has ? CHOOSE[n - 1][take - 1] : 0;
        without[j] = CHOOSE[n - has][take];
        can += has;
      }
      if (can < need) continue;
      for (unsigned at = 0; at < (1u << distinct); ++at) {
        const unsigned subset = SUBSETS[distinct][at];
        const int size = std::popcount(subset);
        if (size < need) break;
        std::uint64_t ways = 1;
        std::uint16_t suited = forced_lanes_[s];
        for (unsigned j = 0; j < distinct; ++j) {
          const bool in = (subset >> j) & 1u;
          ways *= in ? with[j] : without[j];
          suited |= static_cast<std::uint16_t>(in ? rank_bit(ranks_[j]) : 0u);
        }
        if (ways == 0) continue;
        std::array<std::uint32_t, MAX_SEATS> scores;
        for (std::size_t i = 0; i < seats_; ++i) {
          scores[i] = plain[i];
          if (size >= needs_[s][i]) {
            const std::uint16_t found = ranking_.flushes[suited | hole_lanes_[s][i]];
            if (found != NO_ENTRY) scores[i] = found;
          }
        }
        flushed += ways;
        if (!visit(detail::lowest_scorers(scores.data(), seats_), ways)) return false;
      }
    }
    if (copies == flushed) return true;
    return visit(detail::lowest_scorers(plain.data(), seats_), copies - flushed);
  }

  const Ranking& ranking_;
  unsigned open_;
  std::size_t seats_;
  std::array<std::uint8_t, RANKS> lanes_{};   // available suits per rank
  std::array<std::uint8_t, RANKS> counts_{};  // how many
  std::uint32_t forced_key_ = 0;
  std::array<std::uint16_t, SUITS> forced_lanes_{};
  // Per seat, the first seats_ entries set by the constructor.
  std::array<std::uint32_t, MAX_SEATS> hole_keys_;
  std::array<std::uint16_t*, MAX_SEATS> memos_;
  std::array<std::array<std::uint16_t, MAX_SEATS>, SUITS> hole_lanes_;
  std::array<std::array<int, MAX_SEATS>, SUITS> needs_;
  std::array<FlushSuit, SUITS> flush_suits_{};
  unsigned flush_suit_count_ = 0;
  // The ranks taken on the way to a leaf and how many cards of each.
  std::array<std::uint8_t, 8> ranks_{};
  std::array<std::uint8_t, 8> takes_{};
};

// Suits in which no seat can make a flush, and holdings read with their
// cards of such suits known by rank alone. A seat's hand is its hole cards
// and the board (5 to 7 cards in all), a flush five cards of one suit; a
// seat holding at most 4 - named - open cards of a suit (named: the board's
// forced cards of it, open: the board's open slots) never has five. When
// every seat is so, a deal's scores depend on that suit's cards by rank
// only, and the boards left by two holdings alike but for which such suits
// their cards have are as many per rank: the same outcomes.
class FlushFreeSuits {
 public:
  // Seats of `hole` cards over a board of `forced` cards and `open` slots.
  FlushFreeSuits(std::uint64_t forced, unsigned open, unsigned hole) {
    for (unsigned s = 0; s < SUITS; ++s) {
      room_[s] = 4 - std::popcount(forced & (CardSet::SUIT_MASK << s)) - static_cast<int>(open);
      if (room_[s] >= static_cast<int>(hole)) always_ |= 1u << s;
    }
  }

  // The suits (bit s for suit s) in which `cards` leave no flush.
  unsigned of(std::uint64_t cards) const {
    unsigned free = always_;
    for (unsigned s = 0; s < SUITS; ++s)
      free |= unsigned{std::popcount(cards & (CardSet::SUIT_MASK << s)) <= room_[s]} << s;
    return free;
  }

  // The suits free whatever a seat holds.
  unsigned always() const { return always_; }

  // Whether some holding leaves some suit free.
  bool any() const { return std::ranges::any_of(room_, [](int room) { return room >= 0; }); }

  // `cards` with those of the suits `free` moved to the lowest of those
  // suits at their rank, and `free` above the cards: two holdings with one
  // key, under seats that leave the same suits free, score alike.
  static std::uint64_t key(std::uint64_t cards, unsigned free) {
    const std::uint64_t lanes = CardSet::SUIT_MASK * free;  // the suits `free` at every rank
    std::uint64_t key = cards & ~lanes;
    for (std::uint64_t moved = cards & lanes; moved != 0; moved &= moved - 1) {
      const unsigned rank = static_cast<unsigned>(std::countr_zero(moved)) / 4;
      const std::uint64_t open = lanes & (std::uint64_t{0xF} << (4 * rank)) & ~key;
      key |= open & (~open + 1);
    }
    return key | std::uint64_t{free} << 52;
  }

 private:
  std::array<int, SUITS> room_{};
  unsigned always_ = 0;
};

}  // namespace vantor
