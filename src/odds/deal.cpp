#include "odds/deal.h"

#include <cmath>


namespace vantor {

std::optional<QuickDealer> QuickDealer::of(const RequestData& r) {
  QuickDealer d;
  d.live_ = r.live.mask();
  d.cards_ = DealtCards(r.seat_count, 1);
  const auto add_holding = [&d](const SlotSampler& s) {
    Holding h;
    for (Card c : s.forced()) {
      h.cards[h.forced_count++] = c;
      h.forced |= std::uint64_t{1} << c.index();
    }
    h.open = static_cast<std::uint32_t>(s.open_count());
    d.holdings_.push_back(h);
  };
  for (const std::size_t t : r.order) {
    const std::uint64_t allowed = detail::allowed_for(r, t, CardSet::full_deck()).mask();
    const auto first = static_cast<std::uint32_t>(d.holdings_.size());
    if (t < r.seat_count) {
      const auto& holdings = r.samplers[t];
      if (holdings.empty()) return std::nullopt;
      const std::size_t size = holdings.front().forced().size() + holdings.front().open_count();
      for (const SlotSampler& s : holdings) {
        if (!DealtCards::fits(s) || s.forced().size() + s.open_count() != size) return std::nullopt;
        add_holding(s);
      }
      const std::uint64_t k = holdings.size();
      d.entries_.push_back({allowed, k, rejection_zone(k), first,
                            static_cast<std::uint32_t>(t)});
      d.cards_.set_size(t, size);
    } else {
      if (r.board_slots == 0) continue;
      if (!DealtCards::fits(r.board_sampler)) return std::nullopt;
      add_holding(r.board_sampler);
      d.entries_.push_back({allowed, 0, 0, first, static_cast<std::uint32_t>(t)});
      d.cards_.set_size(t, r.board_sampler.forced().size() + r.board_sampler.open_count());
    }
  }
  return d;
}

bool choose_dealing(const RequestData& r) {
  // A holding without a plan (or with nothing to deal) cannot be weighed.
  for (const auto& entry : r.log_weights)
    for (double w : entry)
      if (!std::isfinite(w)) return false;

  Rng rng = Rng::seed_from_u64(DEALING_TRIAL_SEED);
  std::vector<std::vector<Card>> seats(r.seat_count);
  std::vector<Card> board;
  WeighingScratch scratch;

  constexpr unsigned SLOT_TRIALS = 800, ENOUGH_ACCEPTED = 40, WEIGHTED_TRIALS = 400;
  unsigned accepted = 0;
  for (unsigned i = 0; i < SLOT_TRIALS; ++i) {
    if (deal(r, rng, seats, board) && ++accepted == ENOUGH_ACCEPTED) return false;
  }
  const double acceptance = static_cast<double>(accepted) / SLOT_TRIALS;

  unsigned k = 0;
  double s1 = 0.0, s2 = 0.0;
  for (unsigned i = 0; i < WEIGHTED_TRIALS; ++i) {
    if (const auto w = deal_weighted(r, rng, seats, board, scratch)) {
      ++k;
      s1 += *w;
      s2 += *w * *w;
    }
  }
  if (k == 0 || s2 <= 0.0) return false;
  // Effective sample size per weighted attempt against slot acceptance.
  return (s1 * s1 / s2) / WEIGHTED_TRIALS > 1.5 * acceptance;
}

}  // namespace vantor
