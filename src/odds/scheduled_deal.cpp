#include "odds/scheduled_deal.h"

#include <algorithm>
#include <cstring>

namespace vantor {

std::optional<ScheduledDealer> ScheduledDealer::of(const RequestData& r) {
  if (!fast_acceptance_masks()) return std::nullopt;
  const auto fits = [](const SlotSampler& s) {
    return s.mode() == SamplerMode::Free && s.forced().size() + s.open_count() <= STRIDE;
  };
  ScheduledDealer d;
  d.seat_count_ = r.seat_count;
  d.cards_.assign((r.seat_count + 1) * STRIDE, Card());
  d.sizes_.assign(r.seat_count + 1, 0);

  // Every entry's open slots must draw from one pool, and named cards must
  // lie outside it and apart: then no deal is ever rejected and the k-th open
  // card is always drawn below |pool| - k.
  std::optional<std::uint64_t> pool;
  std::uint64_t named = 0;
  std::size_t opens = 0;
  for (const std::size_t t : r.order) {
    const SlotSampler* s;
    const bool is_seat = t < r.seat_count;
    if (is_seat) {
      if (r.samplers[t].size() != 1) return std::nullopt;
      s = &r.samplers[t].front();
    } else {
      if (r.board_slots == 0) continue;
      s = &r.board_sampler;
    }
    if (!fits(*s)) return std::nullopt;
    std::uint64_t forced = 0;
    for (Card c : s->forced()) forced |= std::uint64_t{1} << c.index();
    const std::uint64_t allowed = detail::allowed_for(r, t, r.live).mask();
    if ((forced & ~allowed) != 0 || (forced & named) != 0) return std::nullopt;
    named |= forced;
    const std::uint64_t open_pool = allowed & ~forced;
    if (pool && *pool != open_pool) return std::nullopt;
    pool = open_pool;

    // Named cards are written once; only open slots change from deal to deal.
    const std::size_t base = t * STRIDE;
    if (base + STRIDE > PICK) return std::nullopt;  // slots are bytes
    std::copy(s->forced().begin(), s->forced().end(), d.cards_.begin() + base);
    d.sizes_[t] = static_cast<std::uint8_t>(s->forced().size() + s->open_count());
    if (is_seat) d.steps_.push_back({1, PICK});
    for (std::size_t j = 0; j < s->open_count(); ++j, ++opens)
      d.steps_.push_back({0, static_cast<std::uint8_t>(base + s->forced().size() + j)});
  }
  d.pool_ = pool.value_or(0);
  const auto size = static_cast<std::size_t>(std::popcount(d.pool_));
  if ((d.pool_ & named) != 0 || opens > size) return std::nullopt;

  std::size_t drawn = 0;
  for (Step& s : d.steps_)
    if (s.slot != PICK) s.count = static_cast<std::uint8_t>(size - drawn++);
  for (const Step& s : d.steps_)
    if (std::find(d.counts_.begin(), d.counts_.end(), s.count) == d.counts_.end())
      d.counts_.push_back(s.count);
  return d;
}

unsigned ScheduledDealer::slide(Rng& rng, unsigned pos) {
  base_ = (base_ + ACCEPTANCE_BLOCK) % RING;
  std::array<std::uint32_t, 65> kept;
  acceptance_masks(highs_.data() + (base_ + ACCEPTANCE_BLOCK) % RING, counts_, kept.data());
  for (std::size_t j = 0; j < counts_.size(); ++j) {
    std::uint64_t& mask = masks_[counts_[j]];
    mask = (mask >> ACCEPTANCE_BLOCK) | (std::uint64_t{kept[j]} << ACCEPTANCE_BLOCK);
  }
  std::uint32_t* const fresh = highs_.data() + (base_ + WINDOW) % RING;
  for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) fresh[i] = rng.next_u32();
  return pos - ACCEPTANCE_BLOCK;
}

}  // namespace vantor
