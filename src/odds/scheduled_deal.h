// Slot dealing with a fixed schedule of draws, for the commonest requests:
// every seat has one holding of named cards and open slots, and the board is
// named cards and open slots. Then every draw's count is known before the
// deal (the open cards all come from one pool that shrinks by one per draw),
// so the dealer can judge blocks of generator outputs for acceptance with
// vector instructions and find each draw's accepted output by a bit scan,
// with no branch per rejected output. It consumes exactly the outputs
// `deal` consumes, makes the same decisions and deals the same cards;
// every deal is accepted.
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

  // One deal (always accepted) into the first batch slot. The dealer reads
  // `rng` a few blocks ahead, so the same generator must serve every deal
  // of the chunk and nothing else. `Source` is `Rng` or `LaneStream` (the
  // same outputs either way).
  template <class Select, class Source>
  bool deal(Source& rng) {
    deal_into<Select>(rng, cards_.slot(0));
    return true;
  }

  // `count` deals (at most `batch_size()`) into slots 0, 1, ...: dealing a
  // batch and then scoring it keeps both loops free of each other's stalls.
  template <class Select, class Source>
  void deal_batch(Source& rng, std::size_t count) {
    for (std::size_t j = 0; j < count; ++j) deal_into<Select>(rng, cards_.slot(j));
  }

  // Deal j of a batch into slot j (j < `batch_size()`): dealers of several
  // chunks dealing in turn, deal by deal, draw their streams at one pace.
  template <class Select, class Source>
  void deal_slot(Source& rng, std::size_t j) {
    deal_into<Select>(rng, cards_.slot(j));
  }

  // Deal j of two dealers of the same request into their slot j, their
  // steps taken side by side: two independent chains of picks in flight.
  // Each dealer draws from its own source exactly as `deal_slot` would.
  template <class Select, class Source>
  static void deal_pair(ScheduledDealer& a, Source& rng_a, ScheduledDealer& b, Source& rng_b,
                        std::size_t j) {
    if (a.steps_.empty()) return;
    constexpr std::uint64_t OLDER = (std::uint64_t{1} << ACCEPTANCE_BLOCK) - 1;
    std::uint64_t unconsumed_a = a.unconsumed_, unconsumed_b = b.unconsumed_;
    if ((unconsumed_a & OLDER) == 0) [[unlikely]]
      unconsumed_a = a.slide_to_older(rng_a, unconsumed_a);
    if ((unconsumed_b & OLDER) == 0) [[unlikely]]
      unconsumed_b = b.slide_to_older(rng_b, unconsumed_b);
    Card* const out_a = a.cards_.slot(j);
    Card* const out_b = b.cards_.slot(j);
    std::uint64_t pool_a = a.pool_, pool_b = b.pool_;
    const std::uint32_t* window_a = a.highs_.data() + a.base_;
    const std::uint32_t* window_b = b.highs_.data() + b.base_;
    const std::uint32_t* marks_a = a.masks_.data() + a.mask_base_;
    const std::uint32_t* marks_b = b.masks_.data() + b.mask_base_;
    const Step* s = a.steps_.data();
    const Step* const end = s + a.steps_.size();
    std::uint64_t kept_a = window_mask(marks_a, *s) & unconsumed_a;
    std::uint64_t kept_b = window_mask(marks_b, *s) & unconsumed_b;
    for (;;) {
      while (kept_a == 0) [[unlikely]] {
        const std::uint64_t unconsumed = a.slide_to_older(rng_a, 0);  // moves the masks
        window_a = a.highs_.data() + a.base_;
        marks_a = a.masks_.data() + a.mask_base_;
        kept_a = window_mask(marks_a, *s) & unconsumed;
      }
      while (kept_b == 0) [[unlikely]] {
        const std::uint64_t unconsumed = b.slide_to_older(rng_b, 0);  // moves the masks
        window_b = b.highs_.data() + b.base_;
        marks_b = b.masks_.data() + b.mask_base_;
        kept_b = window_mask(marks_b, *s) & unconsumed;
      }
      if (s->slot != PICK) {
        const unsigned at_a = lowest_bit_index(kept_a), at_b = lowest_bit_index(kept_b);
        const auto index_a = static_cast<unsigned>((std::uint64_t{window_a[at_a]} * s->count) >> 32);
        const auto index_b = static_cast<unsigned>((std::uint64_t{window_b[at_b]} * s->count) >> 32);
        const std::uint64_t bit_a = Select::nth_bit(CardSet(pool_a), index_a);
        const std::uint64_t bit_b = Select::nth_bit(CardSet(pool_b), index_b);
        pool_a ^= bit_a;
        pool_b ^= bit_b;
        out_a[s->slot] = Card(lowest_bit_index(bit_a));
        out_b[s->slot] = Card(lowest_bit_index(bit_b));
      }
      if (++s == end) break;
      kept_a = Select::above_lowest(window_mask(marks_a, *s), kept_a);
      kept_b = Select::above_lowest(window_mask(marks_b, *s), kept_b);
    }
    a.unconsumed_ = ~(kept_a ^ (kept_a - 1));
    b.unconsumed_ = ~(kept_b ^ (kept_b - 1));
  }

  std::size_t batch_size() const { return batch_size_; }
  // The cards of the last batch, deal j in slot j.
  const DealtCards& cards() const { return cards_; }

 private:
  // Named cards are in every slot from the start; a deal writes open cards.
  template <class Select, class Source>
  void deal_into(Source& rng, Card* const out) {
    constexpr std::uint64_t OLDER = (std::uint64_t{1} << ACCEPTANCE_BLOCK) - 1;
    // Window outputs not consumed yet: always those after some position.
    std::uint64_t unconsumed = unconsumed_;
    // A deal starts inside the older block, so its draws (a few outputs,
    // rarely a block) nearly always find theirs in the window and the steps
    // run without a look at the window's end; a draw that finds none slides.
    if ((unconsumed & OLDER) == 0 && !steps_.empty()) [[unlikely]]
      unconsumed = slide_to_older(rng, unconsumed);
    std::uint64_t pool = pool_;
    const std::uint32_t* window = highs_.data() + base_;
    const std::uint32_t* marks = masks_.data() + mask_base_;
    const Step* s = steps_.data();
    const Step* const end = s + steps_.size();
    if (s == end) return;
    // From one draw to the next, the chain is only `above_lowest` of the
    // kept outputs: the next draw keeps its accepted outputs after the one
    // this draw took.
    std::uint64_t kept = window_mask(marks, *s) & unconsumed;
    for (;;) {
      while (kept == 0) [[unlikely]] {
        // Every output left in the window is rejected for this draw.
        unconsumed = slide_to_older(rng, 0);
        window = highs_.data() + base_;
        marks = masks_.data() + mask_base_;
        kept = window_mask(marks, *s) & unconsumed;
      }
      if (s->slot != PICK) {
        const unsigned at = lowest_bit_index(kept);
        const auto index = static_cast<unsigned>((std::uint64_t{window[at]} * s->count) >> 32);
        const std::uint64_t bit = Select::nth_bit(CardSet(pool), index);
        pool ^= bit;  // the bit is in the pool: one instruction on the pool's chain
        out[s->slot] = Card(lowest_bit_index(bit));
      }
      if (++s == end) break;
      kept = Select::above_lowest(window_mask(marks, *s), kept);
    }
    unconsumed_ = ~(kept ^ (kept - 1));
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

  // One draw: the holding pick of a seat (a draw below 1) or an open card.
  struct Step {
    std::uint8_t count;  // the draw is below this
    std::uint8_t slot;   // where its card goes in `cards_`; PICK for a pick
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
  // [count * MASK_STRIDE + block]: the block's outputs a draw below count keeps.
  alignas(16) std::array<std::uint32_t, 65 * MASK_STRIDE> masks_{};
  // Upper halves of the outputs of the window and the waiting block.
  // The ring's first block is repeated after its end, so that a window
  // starting at any block reads on without wrapping.
  std::array<std::uint32_t, RING + ACCEPTANCE_BLOCK> highs_{};
  DealtCards cards_;
};

}  // namespace vantor
