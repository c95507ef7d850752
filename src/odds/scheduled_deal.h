// Slot dealing with a fixed schedule of draws, for the commonest requests:
// every seat has one holding of named cards and open slots, or picks one of
// several holdings of named cards only (a range), and the board is named
// cards and open slots. Then every draw's count is known before the deal
// (the open cards all come from one pool that shrinks by one per draw, and
// every holding a range can keep lies in that pool), so the dealer can judge
// blocks of generator outputs for acceptance with vector instructions and
// find each draw's accepted output by a bit scan, with no branch per
// rejected output. It consumes exactly the outputs `deal` consumes, makes
// the same decisions (a range's holding that clashes with cards dealt before
// rejects the attempt) and deals the same cards.
//
//   auto dealer = ScheduledDealer::of(request);    // nullopt: use QuickDealer
//   dealer->deal<PortableSelect>(rng);              // reads rng ahead in blocks
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "cards/card.h"
#include "odds/deal.h"
#include "odds/request.h"
#include "sampler/acceptance.h"
#include "sampler/rng.h"
#include "sampler/rng_lanes.h"

namespace vantor {

// One stream of an `RngLanes`, as the generator of one dealer.
struct LaneStream {
  RngLanes* lanes;
  unsigned lane;
};

class ScheduledDealer {
 public:
  static constexpr std::size_t STRIDE = DealtCards::STRIDE;

  // Nothing when the request does not fit the schedule or vector acceptance
  // is unavailable here. A dealer for at most `deals` deals keeps no more
  // batch slots than that; one of `sharing` dealers run by one thread keeps
  // a share of the slots that fit the first-level cache.
  static std::optional<ScheduledDealer> of(const RequestData& r,
                                           std::uint64_t deals = ~std::uint64_t{0},
                                           std::size_t sharing = 1);

  // One attempt into the first batch slot: false when it is rejected (only
  // ever for a dealer with ranges). The dealer reads `rng` a few blocks
  // ahead, so the same generator must serve every deal of the chunk and
  // nothing else. `Source` is `Rng` or `LaneStream` (the same outputs either
  // way); a dealer with ranges takes `Rng` only, as it reads whole outputs.
  template <class Select, class Source>
  bool deal(Source& rng) {
    if (ranged()) {
      std::uint64_t further = 0;
      return deal_side_by_side<Select, true, 1, Source>({this}, {&rng}, 0, further);
    }
    deal_into<Select>(rng, 0);
    return true;
  }

  // True when some seat picks among several holdings: attempts can then be
  // rejected, and the dealer reads whole outputs (from an `Rng` only).
  bool ranged() const { return !ranges_.empty(); }

  // Deals into slots from, from + 1, ... up to `to` while attempts are left:
  // each attempt takes one of `budget`, and the deals stop where the budget
  // runs out (after a rejection, or before a deal). Returns the slot after
  // the last deal accepted. A dealer with ranges only.
  template <class Select>
  std::size_t deal_within(Rng& rng, std::size_t from, std::size_t to, std::uint64_t& budget) {
    for (std::size_t j = from; j < to; ++j) {
      if (budget == 0) return j;
      --budget;
      if (!deal_side_by_side<Select, true, 1, Rng>({this}, {&rng}, j, budget)) return j;
    }
    return to;
  }

  // `count` deals (at most `batch_size()`) into slots 0, 1, ...: dealing a
  // batch and then scoring it keeps both loops free of each other's stalls.
  template <class Select, class Source>
  void deal_batch(Source& rng, std::size_t count) {
    for (std::size_t j = 0; j < count; ++j) deal_into<Select>(rng, j);
  }

  // Deal j of a batch into slot j (j < `batch_size()`): dealers of several
  // chunks dealing in turn, deal by deal, draw their streams at one pace.
  template <class Select, class Source>
  void deal_slot(Source& rng, std::size_t j) {
    deal_into<Select>(rng, j);
  }

  // Deal j of two dealers of the same request into their slot j, their
  // steps taken side by side: two independent chains of picks in flight.
  // Each dealer draws from its own source exactly as `deal_slot` would.
  template <class Select, class Source>
  static void deal_pair(ScheduledDealer& a, Source& rng_a, ScheduledDealer& b, Source& rng_b,
                        std::size_t j) {
    std::uint64_t unused = 0;
    deal_side_by_side<Select, false, 2, Source>({&a, &b}, {&rng_a, &rng_b}, j, unused);
  }

  std::size_t batch_size() const { return batch_size_; }
  // The cards of the last batch, deal j in slot j.
  const DealtCards& cards() const { return cards_; }

 private:
  template <class Select, class Source>
  void deal_into(Source& rng, std::size_t j) {
    std::uint64_t unused = 0;
    deal_side_by_side<Select, false, 1, Source>({this}, {&rng}, j, unused);
  }

  // Deal j of N dealers of the same request (so the same steps) into their
  // slot j, each from its own source; with N > 1 their chains interleave.
  // The loops over the dealers are unrolled so that their state stays in
  // registers (kept rolled, the side-by-side deals ran about 10% slower).
  // Named cards are in every slot from the start; a deal writes open cards
  // and ranges' holdings. RANGED (one dealer only) compiles the range picks
  // in: a clash rejects the attempt and the next one starts at the next
  // output, while `further` (attempts this deal may still start) lasts;
  // false when it ran out.
  template <class Select, bool RANGED, std::size_t N, class Source>
  static bool deal_side_by_side(const std::array<ScheduledDealer*, N>& d,
                                const std::array<Source*, N>& rng, std::size_t j,
                                std::uint64_t& further) {
    static_assert(!RANGED || (N == 1 && std::is_same_v<Source, Rng>));
    constexpr std::uint64_t OLDER = (std::uint64_t{1} << ACCEPTANCE_BLOCK) - 1;
    const Step* const first = d[0]->steps_.data();
    const Step* s = first;
    const Step* const end = s + d[0]->steps_.size();
    if (s == end) return true;
    // Window outputs not consumed yet: always those after some position.
    std::array<std::uint64_t, N> unconsumed, pool, kept;
    std::array<const std::uint32_t*, N> window, marks;
    const std::uint32_t* lows = nullptr;  // the window's low halves, with ranges
    std::array<Card*, N> out;
#pragma GCC unroll 8
    for (std::size_t n = 0; n < N; ++n) {
      ScheduledDealer& e = *d[n];
      unconsumed[n] = e.unconsumed_;
      // A deal starts inside the older block, so its draws (a few outputs,
      // rarely a block) nearly always find theirs in the window and the steps
      // run without a look at the window's end; a draw that finds none slides.
      if ((unconsumed[n] & OLDER) == 0) [[unlikely]]
        unconsumed[n] = e.slide_to_older(*rng[n], unconsumed[n]);
      pool[n] = e.pool_;
      window[n] = e.window<Source>();
      marks[n] = e.masks_.data() + e.mask_base_;
      out[n] = e.cards_.slot(j);
      kept[n] = window_mask(marks[n], *s) & unconsumed[n];
      if constexpr (RANGED) lows = e.lows_.data() + e.base_;
    }
    // From one draw to the next, the chain is only `above_lowest` of the
    // kept outputs: the next draw keeps its accepted outputs after the one
    // this draw took.
    for (;;) {
#pragma GCC unroll 8
      for (std::size_t n = 0; n < N; ++n) {
        while (kept[n] == 0) [[unlikely]] {
          // Every output left in the window is rejected for this draw.
          ScheduledDealer& e = *d[n];
          const std::uint64_t fresh = e.slide_to_older(*rng[n], 0);  // moves the masks
          window[n] = e.window<Source>();
          marks[n] = e.masks_.data() + e.mask_base_;
          kept[n] = window_mask(marks[n], *s) & fresh;
          if constexpr (RANGED) lows = e.lows_.data() + e.base_;
        }
      }
      if constexpr (RANGED) {
        if (s->slot == RANGE) {
          ScheduledDealer& e = *d[0];
          const unsigned at = lowest_bit_index(kept[0]);
          const Range& range = e.ranges_[s->count];
          const RangeHolding& h =
              e.holdings_[range.first + wide_pick(window[0][at], lows[at], range.count)];
          if ((h.mask & ~pool[0]) != 0) [[unlikely]] {
            // Rejected: the next attempt starts after this output.
            if (further == 0) {
              e.unconsumed_ = ~(kept[0] ^ (kept[0] - 1));
              return false;
            }
            --further;
            pool[0] = e.pool_;
            s = first;
            kept[0] = Select::above_lowest(window_mask(marks[0], *s), kept[0]);
            continue;
          }
          pool[0] ^= h.mask;
          std::memcpy(out[0] + range.base, h.cards.data(), sizeof h.cards);
        }
      }
      if (s->slot < RANGE) {
#pragma GCC unroll 8
        for (std::size_t n = 0; n < N; ++n) {
          const unsigned at = lowest_bit_index(kept[n]);
          const auto index = static_cast<unsigned>((std::uint64_t{window[n][at]} * s->count) >> 32);
          const std::uint64_t bit = Select::nth_bit(CardSet(pool[n]), index);
          pool[n] ^= bit;  // the bit is in the pool: one instruction on the pool's chain
          out[n][s->slot] = Card(lowest_bit_index(bit));
        }
      }
      if (++s == end) break;
#pragma GCC unroll 8
      for (std::size_t n = 0; n < N; ++n)
        kept[n] = Select::above_lowest(window_mask(marks[n], *s), kept[n]);
    }
#pragma GCC unroll 8
    for (std::size_t n = 0; n < N; ++n) d[n]->unconsumed_ = ~(kept[n] ^ (kept[n] - 1));
    return true;
  }

  // Outputs held at once: the window (the block being consumed and the one
  // after it), a block judged and waiting to enter it, and a fresh block
  // behind that. Each block is judged a slide after its outputs were written
  // and enters the window a slide after its masks were written: reading
  // fresh stores back in wider loads stalls. Blocks live in a ring.
  static constexpr unsigned RING = 4 * ACCEPTANCE_BLOCK;
  // The masks' ring: per count, a word for each judged block (older, newer,
  // waiting) and the first one repeated, so that the window's mask is one
  // 64-bit load from the older block's word on.
  static constexpr unsigned MASK_STRIDE = 4;  // even: see Step::pairs
  static constexpr unsigned MASK_BLOCKS = 3;
  static constexpr std::uint8_t PICK = 0xFF;
  static constexpr std::uint8_t RANGE = 0xFE;
  // Count rows for card draws (below 1 to 64); a range's masks are in row
  // RANGE_ROW + its index.
  static constexpr unsigned RANGE_ROW = 65;
  static constexpr unsigned MAX_RANGES = 16;

  // One draw: the holding pick of a seat with one holding (a draw below 1),
  // of a range, or an open card.
  struct Step {
    std::uint8_t count;  // the draw is below this; for a range, its index in `ranges_`
    std::uint8_t slot;   // where its card goes in `cards_`; PICK or RANGE for a pick
    // count * MASK_STRIDE / 2: where its masks start in `masks_`, in 64-bit
    // units, so that the address is one scaled index (no shift on the way).
    std::uint8_t pairs = 0;
  };

  // Fills a fresh dealer for `of`; false when the request does not fit.
  bool schedule(const RequestData& r, std::uint64_t deals, std::size_t sharing);

  // Drops the older block (fully consumed), judges the waiting one into the
  // window and draws the next; returns `unconsumed` for the moved window.
  // The first call slides twice, to fill the window's newer block.
  std::uint64_t slide(Rng& rng, std::uint64_t unconsumed);
  std::uint64_t slide(LaneStream& stream, std::uint64_t unconsumed);
  // Slides until the older block holds an output not consumed yet.
  template <class Source>
  std::uint64_t slide_to_older(Source& rng, std::uint64_t unconsumed) {
    do unconsumed = slide(rng, unconsumed);
    while ((unconsumed & ((std::uint64_t{1} << ACCEPTANCE_BLOCK) - 1)) == 0);
    return unconsumed;
  }
  template <class Source>
  std::uint64_t slide_with(Source& source, std::uint64_t unconsumed);
  template <class Source>
  void slide_block(Source& source);

  // Where the window's outputs start: in the ring, or in the lane's queue.
  template <class Source>
  const std::uint32_t* window() const {
    if constexpr (std::is_same_v<Source, LaneStream>) return lane_window_;
    else return highs_.data() + base_;
  }

  // Which window outputs a draw below `count` keeps.
  static std::uint64_t window_mask(const std::uint32_t* marks, const Step& step) {
    std::uint64_t mask;
    std::memcpy(&mask, marks + std::size_t{step.pairs} * 2, sizeof mask);  // one load
    return mask;
  }

  static unsigned lowest_bit_index(std::uint64_t nonzero) {
#if defined(__GNUC__)
    return static_cast<unsigned>(__builtin_ctzll(nonzero));
#else
    return static_cast<unsigned>(std::countr_zero(nonzero));
#endif
  }

  // A seat's pick among several holdings of named cards: a 64-bit draw.
  struct Range {
    std::uint32_t count;  // holdings to pick from
    std::uint32_t first;  // the first in `holdings_`
    std::uint32_t base;   // the seat's cards in a slot of `cards_`
  };
  struct RangeHolding {
    // The cards, all in the pool; a holding the seat may never take has
    // every card outside the pool, so that it always clashes.
    std::uint64_t mask = 0;
    std::array<Card, STRIDE> cards{};
  };

  std::uint64_t pool_ = 0;  // the live cards every open slot draws from
  std::uint64_t unconsumed_ = 0;  // window outputs not consumed yet
  bool warm_ = false;             // the window holds outputs
  unsigned base_ = 0;  // where the window starts in the ring
  unsigned mask_base_ = 0;  // the older block's word in the masks' ring
  std::size_t batch_size_ = 1;
  std::vector<Step> steps_;
  // Counts judged: the card draws' run top_, top_ - 1, ... (runs_ of them),
  // and 1 for holding picks when that run does not reach it.
  std::uint32_t top_ = 0;
  std::uint32_t runs_ = 0;
  bool picks_ = false;
  std::vector<Range> ranges_;
  std::vector<std::uint32_t> range_counts_;  // ranges_[k].count, for the judging
  std::vector<RangeHolding> holdings_;
  // [count * MASK_STRIDE + block]: the block's outputs a draw below count keeps.
  alignas(16) std::array<std::uint32_t, (RANGE_ROW + MAX_RANGES) * MASK_STRIDE> masks_{};
  // Upper halves of the outputs of the window and the waiting block.
  // The ring's first block is repeated after its end, so that a window
  // starting at any block reads on without wrapping.
  std::array<std::uint32_t, RING + ACCEPTANCE_BLOCK> highs_{};
  // Their lower halves, laid out alike; written for a dealer with ranges only.
  std::array<std::uint32_t, RING + ACCEPTANCE_BLOCK> lows_{};
  DealtCards cards_;
  // Drawn from lanes, the blocks are read where the lane holds them: the
  // ring's blocks in place, and where the window starts.
  std::array<const std::uint32_t*, RING / ACCEPTANCE_BLOCK> lane_blocks_{};
  const std::uint32_t* lane_window_ = nullptr;
  static_assert(RngLanes::KEPT >= RING / ACCEPTANCE_BLOCK);
};

}  // namespace vantor
