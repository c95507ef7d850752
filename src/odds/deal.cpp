#include "odds/deal.h"

#include <algorithm>
#include <cmath>

#include "odds/pool.h"  // free_later
#include "sampler/matching.h"

namespace vantor {

namespace {

// The number of equally likely draws behind each card set `s` deals when
// `left` of the entry's allowed cards are still available (one draw in that
// many yields any given set); nothing when it depends on which cards are
// left. Forced cards are taken first, open slots drawn from the rest.
std::optional<u128> draws_per_set(const SlotSampler& s, std::uint64_t left) {
  if (left < s.forced().size()) return 0;
  const std::uint64_t rest = left - s.forced().size();
  if (s.open_count() == 0) return 1;
  u128 draws = 0;
  switch (s.mode()) {
    case SamplerMode::Free:
      return binomial(rest, s.open_count());
    case SamplerMode::Enumerated:
      draws = s.enumerated().size();
      break;
    case SamplerMode::Planned:
      draws = s.plan()->total();
      break;
    case SamplerMode::Unplanned:
      return std::nullopt;  // draws among the planned slots' cards still left
  }
  const std::size_t restricted = s.restricted().size();
  if (restricted != 0 && s.free_count() != 0)
    draws = sat_mul(draws, rest < restricted ? 0 : binomial(rest - restricted, s.free_count()));
  return draws;
}

// True when plain slot dealing gives every card set of the entry the same
// chance: each holding that can be dealt is drawn with the same odds per
// set, and those odds do not depend on the cards dealt before. `left`: the
// entry's allowed cards still available when it is dealt, the same in every
// deal (each earlier entry takes its named cards, which are outside this
// entry's allowed set, and otherwise only cards inside it); `first`: nothing
// is dealt before it.
bool deals_sets_alike(const RequestData& r, std::size_t t, std::uint64_t left, bool first) {
  const RequestEntry& e = r.entry(t);
  const std::vector<SlotSampler>& samplers = e.samplers;
  std::optional<u128> common;
  for (std::size_t k = 0; k < samplers.size(); ++k) {
    const std::optional<u128> draws = draws_per_set(samplers[k], left);
    if (!draws) {
      if (first && samplers.size() == 1) continue;
      return false;
    }
    const std::optional<ShapePlan>& plan = e.plans[k];
    if (*draws == 0 || (plan && plan->total() == 0)) continue;  // never dealt
    if (common && *common != *draws) return false;
    common = draws;
  }
  return true;
}

}  // namespace

namespace detail {

std::size_t pick_by_count(std::span<const u128> counts, Rng& rng) {
  if (counts.size() == 1) return 0;
  const u128 x = rng.below128(counts.back());
  return static_cast<std::size_t>(std::upper_bound(counts.begin(), counts.end(), x) -
                                  counts.begin());
}

bool draw_by_count(const RequestData& r, std::size_t t, CardSet available, Rng& rng,
                   std::vector<Card>& out) {
  const RequestEntry& e = r.entry(t);
  const std::vector<u128>& counts = e.pick.counts;
  out.clear();
  if (counts.back() == 0) return false;
  const std::size_t k = pick_by_count(counts, rng);
  if (const std::optional<ShapePlan>& plan = e.plans[k]) {
    plan->draw_from(plan->classes(), plan->cumulative(), plan->total(), rng, out);
  } else {
    // No plan: cards uniform from the slots' reach, kept when they fill them.
    const Holding& h = e.holdings[k];
    CardSet reach;
    for (CardSet slot : h) reach |= slot;
    reach = allowed_for(r, t, reach & r.live);
    if (!draw_subset(reach, static_cast<unsigned>(h.size()), rng, out) ||
        !has_perfect_matching(h, out))
      return false;
  }
  for (Card c : out)
    if (!available.contains(c)) return false;
  return true;
}

}  // namespace detail

void assign_picks(RequestData& r) {
  std::uint64_t taken = 0;  // cards earlier entries take beside their named ones
  bool first = true;
  for (const std::size_t t : r.order) {
    if (t == r.seat_count && r.board_slots == 0) continue;
    RequestEntry& e = r.entry(t);
    const std::uint64_t allowed = detail::allowed_for(r, t, r.live).count();
    const std::uint64_t left = allowed > taken ? allowed - taken : 0;
    e.pick.slots_by_count = !deals_sets_alike(r, t, left, first);
    taken += e.holdings.front().size() - e.fixed.count();
    first = false;
  }
  r.plain_slots = true;
  for (std::size_t t = 0; t <= r.seat_count; ++t) {
    RequestEntry& e = r.entry(t);
    EntryPick& pick = e.pick;
    r.plain_slots = r.plain_slots && !pick.slots_by_count;
    if (!pick.slots_by_count && !pick.weighted_by_count) continue;
    // A holding's card sets over the entry's allowed cards: its plan's total,
    // or without a plan the draws of its fallback (cards from the slots' reach).
    const CardSet allowed = detail::allowed_for(r, t, r.live);
    u128 sum = 0;
    pick.counts.reserve(e.holdings.size());
    for (std::size_t k = 0; k < e.holdings.size(); ++k) {
      const Holding& h = e.holdings[k];
      u128 count = 0;
      if (const std::optional<ShapePlan>& plan = e.plans[k]) {
        count = plan->total();
      } else {
        CardSet reach;
        for (CardSet slot : h) reach |= slot;
        count = binomial((reach & allowed).count(), h.size());
      }
      sum = sat_add(sum, count);
      pick.counts.push_back(sum);
    }
  }
}

std::optional<QuickDealer> QuickDealer::of(const RequestData& r) {
  if (!r.plain_slots) return std::nullopt;
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
      const auto& holdings = r.seats[t].samplers;
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
      const SlotSampler& board = r.board.samplers.front();
      if (!DealtCards::fits(board)) return std::nullopt;
      add_holding(board);
      d.entries_.push_back({allowed, 0, 0, first, static_cast<std::uint32_t>(t)});
      d.cards_.set_size(t, board.forced().size() + board.open_count());
    }
  }
  return d;
}

std::optional<RequestData> prepare_dealing(RequestData r, const std::function<bool()>& halted) {
  assign_picks(r);
  if (halted && halted()) {
    free_later(std::move(r));
    return std::nullopt;
  }
  r.weighted = choose_dealing(r);
  return r;
}

bool choose_dealing(const RequestData& r) {
  return !r.names_every_seat() && weighted_by_trials(r);
}

bool weighted_by_trials(const RequestData& r) {
  // A holding without a plan (or with nothing to deal) cannot be weighed.
  for (std::size_t t = 0; t <= r.seat_count; ++t)
    for (double w : r.entry(t).log_weights)
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
