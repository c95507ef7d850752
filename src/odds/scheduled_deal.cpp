#include "odds/scheduled_deal.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace vantor {

std::optional<ScheduledDealer> ScheduledDealer::of(const RequestData& r, std::uint64_t deals,
                                                   std::size_t sharing) {
  // Built in place and returned by name: the dealer is a few KiB of arrays.
  std::optional<ScheduledDealer> made;
  if (fast_acceptance_masks() && r.plain_slots && !made.emplace().schedule(r, deals, sharing)) made.reset();
  return made;
}

bool ScheduledDealer::schedule(const RequestData& r, std::uint64_t deals, std::size_t sharing) {
  ScheduledDealer& d = *this;
  // Slots for about 8 KiB of cards: enough deals to score back to back,
  // few enough to stay in the first-level cache.
  d.batch_size_ =
      std::clamp<std::size_t>(8192 / std::max<std::size_t>(sharing, 1) / ((r.seat_count + 1) * STRIDE), 1, 64);
  if (deals < d.batch_size_) d.batch_size_ = static_cast<std::size_t>(std::max<std::uint64_t>(deals, 1));
  d.cards_ = DealtCards(r.seat_count, d.batch_size_);

  // Every entry's open slots must draw from one pool, and named cards must
  // lie outside it and apart: then the k-th open card is always drawn below
  // |pool| - k, less the cards ranges took before it.
  std::optional<std::uint64_t> pool;
  std::uint64_t named = 0;
  std::size_t opens = 0;
  // Per range holding, whether the seat may ever take it: inside its allowed cards.
  std::vector<bool> takeable;
  for (const std::size_t t : r.order) {
    const SlotSampler* s;
    const bool is_seat = t < r.seat_count;
    const std::uint64_t allowed = detail::allowed_for(r, t, r.live).mask();
    if (is_seat && r.seats[t].samplers.size() > 1) {
      // A range: holdings of named cards only, all the same size.
      const auto& samplers = r.seats[t].samplers;
      const std::size_t size = samplers.front().forced().size();
      if (d.ranges_.size() == MAX_RANGES || samplers.size() >= (std::uint64_t{1} << 32) ||
          t * STRIDE + STRIDE > RANGE)
        return false;
      d.steps_.push_back({static_cast<std::uint8_t>(d.ranges_.size()), RANGE});
      d.ranges_.push_back({static_cast<std::uint32_t>(samplers.size()),
                           static_cast<std::uint32_t>(d.holdings_.size()),
                           static_cast<std::uint32_t>(t * STRIDE)});
      for (const SlotSampler& h : samplers) {
        if (!DealtCards::fits(h) || h.open_count() != 0 || h.forced().size() != size) return false;
        RangeHolding& held = d.holdings_.emplace_back();
        std::copy(h.forced().begin(), h.forced().end(), held.cards.begin());
        for (Card c : h.forced()) held.mask |= std::uint64_t{1} << c.index();
        takeable.push_back((held.mask & ~allowed) == 0);
      }
      d.cards_.set_size(t, size);
      continue;
    }
    if (is_seat) {
      if (r.seats[t].samplers.size() != 1) return false;
      s = &r.seats[t].samplers.front();
    } else {
      if (r.board_slots == 0) continue;
      s = &r.board.samplers.front();
    }
    if (!DealtCards::fits(*s)) return false;
    std::uint64_t forced = 0;
    for (Card c : s->forced()) forced |= std::uint64_t{1} << c.index();
    if ((forced & ~allowed) != 0 || (forced & named) != 0) return false;
    named |= forced;
    const std::uint64_t open_pool = allowed & ~forced;
    if (pool && *pool != open_pool) return false;
    pool = open_pool;

    // Named cards are written once; only open slots change from deal to deal.
    const std::size_t base = t * STRIDE;
    if (base + STRIDE > RANGE) return false;  // slots are bytes below the picks' marks
    for (std::size_t j = 0; j < d.batch_size_; ++j)
      std::copy(s->forced().begin(), s->forced().end(), d.cards_.slot(j) + base);
    d.cards_.set_size(t, s->forced().size() + s->open_count());
    if (s->open_count() == 0) d.cards_.set_same(t);
    if (is_seat) d.steps_.push_back({1, PICK});
    for (std::size_t j = 0; j < s->open_count(); ++j, ++opens)
      d.steps_.push_back({0, static_cast<std::uint8_t>(base + s->forced().size() + j)});
  }
  // Without open slots the pool only tells clashes apart: every live card
  // not named.
  d.pool_ = pool.value_or(r.live.mask() & ~named);
  if ((d.pool_ & named) != 0) return false;
  // A holding a range may take must lie in the pool, so that every accepted
  // pick takes the same number of cards from it; one it may never take is
  // made to clash always.
  for (std::size_t i = 0; i < d.holdings_.size(); ++i) {
    std::uint64_t& mask = d.holdings_[i].mask;
    if (!takeable[i]) mask = ~d.pool_;
    else if ((mask & ~d.pool_) != 0) return false;
  }
  for (const Range& range : d.ranges_) d.range_counts_.push_back(range.count);

  const auto size = static_cast<std::size_t>(std::popcount(d.pool_));
  std::size_t taken = 0;
  std::uint32_t low = 0;
  for (Step& s : d.steps_) {
    if (s.slot == RANGE) {
      taken += d.cards_.size(d.ranges_[s.count].base / STRIDE);
      s.pairs = static_cast<std::uint8_t>((RANGE_ROW + s.count) * MASK_STRIDE / 2);
      continue;
    }
    if (s.slot != PICK) {
      if (taken >= size) return false;
      s.count = static_cast<std::uint8_t>(size - taken++);
      low = s.count;
    }
    s.pairs = static_cast<std::uint8_t>(s.count * MASK_STRIDE / 2);
  }
  if (taken > size) return false;
  // The card draws' counts, judged as one run (ranges may split it).
  d.top_ = 0;
  for (const Step& s : d.steps_)
    if (s.slot != PICK && s.slot != RANGE) d.top_ = std::max<std::uint32_t>(d.top_, s.count);
  d.runs_ = opens == 0 ? 0 : d.top_ - low + 1;
  // Picks below 1 are judged apart when seats with one holding make them
  // and the card draws' run stops short of 1.
  const bool singles = std::any_of(d.steps_.begin(), d.steps_.end(),
                                   [](const Step& s) { return s.slot == PICK; });
  d.picks_ = singles && (opens == 0 || low > 1);
  // With every card named, every deal is the same and no output is read.
  if (opens == 0 && d.ranges_.empty()) d.steps_.clear();
  return true;
}

namespace {

void fill_block(Rng& rng, std::uint32_t* fresh) {
  Rng g = rng;  // in registers for the whole block
#pragma GCC unroll 8
  for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) fresh[i] = g.next_u32();
  rng = g;
}

// Both halves of each output, for a dealer with ranges.
[[gnu::noinline]] void fill_whole_block(Rng& rng, std::uint32_t* fresh, std::uint32_t* lows) {
  Rng g = rng;
#pragma GCC unroll 8
  for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) {
    const std::uint64_t v = g.next_u64();
    fresh[i] = static_cast<std::uint32_t>(v >> 32);
    lows[i] = static_cast<std::uint32_t>(v);
  }
  rng = g;
}

}  // namespace

template <class Source>
std::uint64_t ScheduledDealer::slide_with(Source& source, std::uint64_t unconsumed) {
  constexpr bool LANE = std::is_same_v<Source, LaneStream>;
  if (!warm_) {
    // The window's newer block and the waiting one, judged; the window's
    // older block holds nothing and is marked consumed below.
    warm_ = true;
    if constexpr (LANE) lane_blocks_.fill(highs_.data());  // judged first, never read
    slide_block(source);
    slide_block(source);
    slide_block(source);
    // The window starts a block before the first one the lane handed out
    // (the lane leaves a block there): the older block, never read.
    if constexpr (LANE) lane_window_ = lane_blocks_[0] - ACCEPTANCE_BLOCK;
  } else {
    slide_block(source);
  }
  return (unconsumed >> ACCEPTANCE_BLOCK) | (~std::uint64_t{0} << ACCEPTANCE_BLOCK);
}

std::uint64_t ScheduledDealer::slide(Rng& rng, std::uint64_t unconsumed) {
  return slide_with(rng, unconsumed);
}

std::uint64_t ScheduledDealer::slide(LaneStream& stream, std::uint64_t unconsumed) {
  return slide_with(stream, unconsumed);
}

static_assert(RngLanes::BLOCK == ACCEPTANCE_BLOCK);

template <class Source>
void ScheduledDealer::slide_block(Source& source) {
  constexpr bool LANE = std::is_same_v<Source, LaneStream>;
  base_ = (base_ + ACCEPTANCE_BLOCK) % RING;
  mask_base_ = mask_base_ + 1 == MASK_BLOCKS ? 0 : mask_base_ + 1;
  // The block after the window is judged into the masks' word the dropped
  // block left (and into the repeat after the ring's end when that is the first).
  const unsigned waiting = mask_base_ == 0 ? MASK_BLOCKS - 1 : mask_base_ - 1;
  const unsigned older = base_ / ACCEPTANCE_BLOCK;
  constexpr unsigned BLOCKS = RING / ACCEPTANCE_BLOCK;
  const std::uint32_t* const judged = LANE ? lane_blocks_[(older + 2) % BLOCKS]
                                           : highs_.data() + (base_ + 2 * ACCEPTANCE_BLOCK) % RING;
  std::uint32_t* const masks = masks_.data() + waiting;
  acceptance_masks(judged, top_, runs_, picks_, masks, waiting == 0 ? masks + MASK_BLOCKS : masks,
                   MASK_STRIDE);
  if constexpr (LANE) {
    // No copy: the lane keeps the blocks this ring names (the last it handed
    // out) as they are, each block following the one before it.
    lane_blocks_[(older + 3) % BLOCKS] = source.lanes->take_block(source.lane);
    lane_window_ = lane_blocks_[older];
  } else {
    const unsigned fresh_at = (base_ + 3 * ACCEPTANCE_BLOCK) % RING;
    std::uint32_t* const fresh = highs_.data() + fresh_at;
    // Lanes hand out upper halves only: dealers with ranges draw from an Rng.
    if (!ranges_.empty()) [[unlikely]] {
      std::uint32_t* const range_masks = masks + RANGE_ROW * MASK_STRIDE;
      wide_acceptance_masks(judged, lows_.data() + (judged - highs_.data()), range_counts_.data(),
                            range_counts_.size(), range_masks,
                            waiting == 0 ? range_masks + MASK_BLOCKS : range_masks, MASK_STRIDE);
      fill_whole_block(source, fresh, lows_.data() + fresh_at);
      if (fresh_at == 0)
        std::memcpy(lows_.data() + RING, lows_.data(), ACCEPTANCE_BLOCK * sizeof(std::uint32_t));
    } else {
      fill_block(source, fresh);
    }
    if (fresh_at == 0)
      std::memcpy(highs_.data() + RING, fresh, ACCEPTANCE_BLOCK * sizeof(std::uint32_t));
  }
}

}  // namespace vantor
