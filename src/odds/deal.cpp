#include "odds/deal.h"

#include <algorithm>
#include <cmath>

#include "sampler/matching.h"

namespace vantor {

namespace {

// A matching of slots to distinct cards, grown a holding at a time, so that
// a search over the seats' holdings can extend it and step back by copy.
class GrowingMatching {
 public:
  explicit GrowingMatching(CardSet live) : live_(live) { owner_.fill(NONE); }

  // False when the slots cannot all get a card beside those already placed
  // (the matching is then spent).
  bool add(std::span<const CardSet> slots) {
    for (CardSet slot : slots) {
      if (count_ == slots_.size()) return false;  // more slots than cards
      slots_[count_] = (slot & live_).mask();
      std::uint64_t visited = 0;
      if (!augment(count_++, visited)) return false;
    }
    return true;
  }

 private:
  static constexpr std::uint8_t NONE = 0xFF;

  // Finds a card for `slot`, moving other slots along an augmenting path.
  bool augment(std::size_t slot, std::uint64_t& visited) {
    for (std::uint64_t rest = slots_[slot] & ~visited; rest != 0; rest &= rest - 1) {
      const auto c = static_cast<unsigned>(std::countr_zero(rest));
      if ((visited >> c) & 1) continue;  // reached deeper down this path
      visited |= std::uint64_t{1} << c;
      if (owner_[c] == NONE || augment(owner_[c], visited)) {
        owner_[c] = static_cast<std::uint8_t>(slot);
        return true;
      }
    }
    return false;
  }

  CardSet live_;
  std::array<std::uint64_t, 64> slots_{};
  std::array<std::uint8_t, 64> owner_{};  // per card: the slot holding it
  std::size_t count_ = 0;
};

// Whether one holding per seat and the board can all get distinct live
// cards at once; nothing when the search would try more holdings than a
// setup step should (the spot is then left to dealing, as before).
std::optional<bool> some_deal_fits(std::span<const HandSpec> seats, std::span<const CardSet> board,
                                   CardSet live) {
  std::uint32_t tries = 20'000;
  GrowingMatching base(live);
  if (!base.add(board)) return false;
  // Seats of one holding join at once, and so do the cards a seat names in
  // every holding; of the other holdings only those that fit beside all of
  // that stay, and the seat with fewest branches goes first.
  std::vector<CardSet> named(seats.size());
  for (std::size_t i = 0; i < seats.size(); ++i) {
    const auto& holdings = seats[i].holdings;
    if (holdings.size() == 1) {
      if (!base.add(holdings.front())) return false;
      continue;
    }
    named[i] = CardSet::full_deck();
    for (const Holding& h : holdings) {
      CardSet in_h;
      for (CardSet slot : h)
        if (slot.is_single()) in_h |= slot;
      named[i] &= in_h;
    }
    for (Card c : named[i]) {
      const CardSet slot = CardSet::single(c);
      if (!base.add(std::span<const CardSet>(&slot, 1))) return false;
    }
  }
  // A holding without the seat's common named cards, which are placed already.
  std::vector<std::vector<Holding>> branches;
  for (std::size_t i = 0; i < seats.size(); ++i) {
    if (seats[i].holdings.size() == 1) continue;
    std::vector<Holding> fitting;
    for (const Holding& h : seats[i].holdings) {
      if (tries-- == 0) return std::nullopt;
      Holding rest;
      for (CardSet slot : h)
        if (!(slot.is_single() && named[i].intersects(slot))) rest.push_back(slot);
      if (GrowingMatching(base).add(rest)) fitting.push_back(std::move(rest));
    }
    if (fitting.empty()) return false;
    branches.push_back(std::move(fitting));
  }
  std::stable_sort(branches.begin(), branches.end(),
                   [](const auto& a, const auto& b) { return a.size() < b.size(); });
  const auto search = [&](const auto& self, std::size_t depth,
                          const GrowingMatching& so_far) -> std::optional<bool> {
    if (depth == branches.size()) return true;
    for (const Holding& h : branches[depth]) {
      if (tries-- == 0) return std::nullopt;
      GrowingMatching next = so_far;
      if (!next.add(h)) continue;
      const std::optional<bool> found = self(self, depth + 1, next);
      if (found != false) return found;
    }
    return false;
  };
  return search(search, 0, base);
}

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
  const bool is_board = t == r.seat_count;
  const std::span<const SlotSampler> samplers =
      is_board ? std::span<const SlotSampler>(&r.board_sampler, 1)
               : std::span<const SlotSampler>(r.samplers[t]);
  std::optional<u128> common;
  for (std::size_t k = 0; k < samplers.size(); ++k) {
    const std::optional<u128> draws = draws_per_set(samplers[k], left);
    if (!draws) {
      if (first && samplers.size() == 1) continue;
      return false;
    }
    const std::optional<ShapePlan>& plan = r.plans[t][k];
    if (*draws == 0 || (plan && plan->total() == 0)) continue;  // never dealt
    if (common && *common != *draws) return false;
    common = draws;
  }
  return true;
}

}  // namespace

Outcome check_feasible(std::span<const HandSpec> seats, std::span<const CardSet> board,
                       CardSet live) {
  // A seat contributes, per position, every card any of its holdings accepts
  // there; seats whose holdings disagree in length are judged elsewhere.
  std::vector<CardSet> merged;
  for (const HandSpec& seat : seats) {
    if (seat.holdings.empty()) continue;
    const std::size_t length = seat.holdings.front().size();
    bool equal = true;
    for (const Holding& h : seat.holdings) equal = equal && h.size() == length;
    if (!equal) continue;
    for (std::size_t j = 0; j < length; ++j) {
      CardSet any;
      for (const Holding& h : seat.holdings) any |= h[j];
      merged.push_back(any);
    }
  }
  merged.insert(merged.end(), board.begin(), board.end());

  const EquityError::Infeasible failure{"the hands, board and dead cards together"};
  for (CardSet slot : merged)
    if (!slot.intersects(live)) return failure;
  const std::vector<Card> cards = live.to_vector();
  if (!has_perfect_matching(merged, cards)) return failure;
  // Merging lets positions of different holdings fit together where no
  // holding does; a short search over whole holdings settles most spots.
  if (some_deal_fits(seats, board, live) == false) return failure;
  return Ok{};
}

namespace detail {

std::size_t pick_by_count(std::span<const u128> counts, Rng& rng) {
  if (counts.size() == 1) return 0;
  const u128 x = rng.below128(counts.back());
  return static_cast<std::size_t>(std::upper_bound(counts.begin(), counts.end(), x) -
                                  counts.begin());
}

bool draw_by_count(const RequestData& r, std::size_t t, CardSet available, Rng& rng,
                   std::vector<Card>& out) {
  const std::vector<u128>& counts = r.picks[t].counts;
  out.clear();
  if (counts.back() == 0) return false;
  const std::size_t k = pick_by_count(counts, rng);
  if (const std::optional<ShapePlan>& plan = r.plans[t][k]) {
    plan->draw_from(plan->classes(), plan->cumulative(), plan->total(), rng, out);
  } else {
    // No plan: cards uniform from the slots' reach, kept when they fill them.
    const Holding& h = r.slots[t][k];
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
  const std::size_t n = r.seat_count;
  r.picks.resize(n + 1);
  const auto entry_size = [&r, n](std::size_t t) {
    return t < n ? r.slots[t].front().size() : r.board_slots;
  };
  std::uint64_t taken = 0;  // cards earlier entries take beside their named ones
  bool first = true;
  for (const std::size_t t : r.order) {
    if (t == n && r.board_slots == 0) continue;
    const std::uint64_t allowed = detail::allowed_for(r, t, r.live).count();
    const std::uint64_t left = allowed > taken ? allowed - taken : 0;
    r.picks[t].slots_by_count = !deals_sets_alike(r, t, left, first);
    taken += entry_size(t) - r.fixed[t].count();
    first = false;
  }
  r.plain_slots = true;
  for (std::size_t t = 0; t <= n; ++t) {
    EntryPick& pick = r.picks[t];
    r.plain_slots = r.plain_slots && !pick.slots_by_count;
    if (!pick.slots_by_count && !pick.weighted_by_count) continue;
    // A holding's card sets over the entry's allowed cards: its plan's total,
    // or without a plan the draws of its fallback (cards from the slots' reach).
    const CardSet allowed = detail::allowed_for(r, t, r.live);
    u128 sum = 0;
    for (std::size_t k = 0; k < r.slots[t].size(); ++k) {
      const Holding& h = r.slots[t][k];
      u128 count = 0;
      if (const std::optional<ShapePlan>& plan = r.plans[t][k]) {
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
  return !r.names_every_seat() && weighted_by_trials(r);
}

bool weighted_by_trials(const RequestData& r) {
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
