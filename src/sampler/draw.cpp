#include "sampler/draw.h"

#include <algorithm>
#include <array>

#include "sampler/matching.h"

namespace vantor {

namespace {

// Combinations between two looks at the stop flag while listing (each may
// cost a matching test).
constexpr std::uint32_t STOP_CHECK = 1 << 12;

// Calls f(span of k cards) for every k-combination of `cards`, positions in
// lexicographic order; false when `stop` ended it first.
template <class F>
bool for_each_combination_of(std::span<const Card> cards, std::size_t k,
                             const std::atomic<bool>* stop, F&& f) {
  std::array<Card, MAX_CHOSEN> pick;
  std::uint32_t until_check = STOP_CHECK;
  return for_each_combination(static_cast<unsigned>(cards.size()), static_cast<unsigned>(k),
                              [&](const ChosenPositions& idx, unsigned from) {
                                for (std::size_t e = from; e < k; ++e) pick[e] = cards[idx[e]];
                                f(std::span<const Card>(pick.data(), k));
                                if (--until_check != 0) return true;
                                until_check = STOP_CHECK;
                                return stop == nullptr || !stop->load(std::memory_order_relaxed);
                              });
}

}  // namespace

SlotSampler::SlotSampler(std::span<const CardSet> slots, CardSet available,
                         std::uint64_t enumeration_limit) {
  std::vector<CardSet> rest(slots.begin(), slots.end());
  for (CardSet& s : rest) s &= available;
  // A slot with one possible card fixes it, which may pin down others in turn.
  for (;;) {
    const auto it = std::find_if(rest.begin(), rest.end(), [](CardSet s) { return s.is_single(); });
    if (it == rest.end()) break;
    const Card c = it->lowest();
    forced_.push_back(c);
    rest.erase(it);
    for (CardSet& s : rest) s.remove(c);
  }
  for (Card c : forced_) available.remove(c);
  open_ = std::move(rest);

  const auto is_free = [available](CardSet s) { return available.is_subset_of(s); };
  if (std::all_of(open_.begin(), open_.end(), is_free)) {
    mode_ = SamplerMode::Free;
    return;
  }
  if (open_.size() <= MAX_RESTRICTED) {
    for (CardSet s : open_)
      if (!is_free(s)) restricted_.push_back(s);
    free_count_ = open_.size() - restricted_.size();
    disjoint_ = true;
    CardSet seen;
    for (CardSet s : restricted_) {
      if (seen.intersects(s)) disjoint_ = false;
      seen |= s;
    }
  }

  const std::span<const CardSet> planned = planned_slots();
  for (CardSet s : planned) union_ |= s;
  union_ &= available;
  std::optional<ShapePlan> plan = ShapePlan::build(planned, union_);
  if (!plan) {
    mode_ = SamplerMode::Unplanned;
  } else if (plan->total() <= std::min(enumeration_limit, ENUMERATION_LIMIT)) {
    mode_ = SamplerMode::Enumerated;
    enumerated_ = std::make_shared<const CardLists>(
        plan->total() == 0 ? CardLists(planned.size()) : plan->enumerate());
  } else {
    mode_ = SamplerMode::Planned;
    plan_ = std::move(plan);
  }
}

bool SlotSampler::draw(CardSet available, Rng& rng, std::vector<Card>& out) const {
  out.clear();
  for (Card c : forced_) {
    if (!available.contains(c)) {
      out.clear();
      return false;
    }
    out.push_back(c);
    available.remove(c);
  }
  if (open_.empty()) return true;
  if (!draw_open(available, rng, out)) {
    out.clear();
    return false;
  }
  return true;
}

bool SlotSampler::draw_open(CardSet available, Rng& rng, std::vector<Card>& out) const {
  const std::size_t start = out.size();
  const auto drawn_available = [&] {
    for (std::size_t i = start; i < out.size(); ++i)
      if (!available.contains(out[i])) return false;
    return true;
  };
  const std::span<const CardSet> planned = planned_slots();

  switch (mode_) {
    case SamplerMode::Free:
      return draw_subset(available, static_cast<unsigned>(open_.size()), rng, out);
    case SamplerMode::Enumerated: {
      const CardLists& lists = *enumerated_;
      if (lists.empty()) return false;
      const auto entry = lists[rng.below64(lists.size())];
      for (Card c : entry)
        if (!available.contains(c)) return false;
      out.insert(out.end(), entry.begin(), entry.end());
      break;
    }
    case SamplerMode::Planned:
      plan_->draw_from(plan_->classes(), plan_->cumulative(), plan_->total(), rng, out);
      if (!drawn_available()) return false;
      break;
    case SamplerMode::Unplanned:
      if (!draw_subset(available & union_, static_cast<unsigned>(planned.size()), rng, out))
        return false;
      if (!has_perfect_matching(planned, std::span<const Card>(out).subspan(start))) return false;
      break;
  }
  if (restricted_.empty() || free_count_ == 0) return true;

  for (std::size_t i = start; i < out.size(); ++i) available.remove(out[i]);
  if (!draw_subset(available, static_cast<unsigned>(free_count_), rng, out)) return false;

  // A set reachable through w different restricted/free splits was w times
  // as likely; keep it with probability 1/w.
  const std::span<const Card> drawn = std::span<const Card>(out).subspan(start);
  std::uint32_t ways = 0;
  if (disjoint_) {
    CardSet s;
    for (Card c : drawn) s.insert(c);
    ways = 1;
    for (CardSet slot : restricted_) ways *= (slot & s).count();
  } else {
    // Every way to give the restricted slots r of the n drawn cards.
    const auto r = static_cast<unsigned>(restricted_.size());
    std::array<Card, MAX_RESTRICTED> subset;
    for_each_combination(static_cast<unsigned>(drawn.size()), r,
                         [&](const ChosenPositions& idx, unsigned from) {
                           for (unsigned e = from; e < r; ++e) subset[e] = drawn[idx[e]];
                           if (has_perfect_matching(restricted_, std::span<const Card>(subset.data(), r)))
                             ++ways;
                           return true;
                         });
  }
  if (ways >= 2 && rng.below32(ways) != 0) return false;
  return true;
}

const CardLists& SlotSampler::enumerated() const {
  static const CardLists none;
  return enumerated_ ? *enumerated_ : none;
}

std::optional<SlotSampler::SetCount> SlotSampler::set_count(CardSet available,
                                                             std::uint64_t limit) const {
  for (Card c : forced_) {
    if (!available.contains(c)) return SetCount{0, true};
    available.remove(c);
  }
  const std::size_t k = open_.size();
  if (k == 0) return SetCount{1, true};
  if (mode_ != SamplerMode::Free) {
    CardSet union_all;
    for (CardSet s : open_) union_all |= s;
    available &= union_all;
  }
  const unsigned n = available.count();
  if (n < k) return SetCount{0, true};
  if (mode_ != SamplerMode::Free) {
    if (const std::optional<ShapePlan> plan = ShapePlan::build(open_, available)) {
      if (plan->total() > limit) return std::nullopt;
      return SetCount{static_cast<std::uint64_t>(plan->total()), true};
    }
  }
  const u128 count = binomial(n, k);
  if (count > limit) return std::nullopt;
  return SetCount{static_cast<std::uint64_t>(count), mode_ == SamplerMode::Free};
}

std::optional<CardLists> SlotSampler::all_sets(CardSet available, std::uint64_t limit,
                                               const std::atomic<bool>* stop) const {
  CardLists out(forced_.size() + open_.size());
  for (Card c : forced_) {
    if (!available.contains(c)) return out;
    available.remove(c);
  }
  if (open_.empty()) {
    out.push_back(forced_);
    return out;
  }
  std::vector<Card> row(forced_);
  const auto push = [&](std::span<const Card> cards) {
    row.resize(forced_.size());
    row.insert(row.end(), cards.begin(), cards.end());
    out.push_back(row);
  };
  const std::size_t k = open_.size();

  if (mode_ == SamplerMode::Free) {
    const std::vector<Card> cards = available.to_vector();
    if (cards.size() < k) return out;
    const u128 count = binomial(cards.size(), k);
    if (count > limit) return std::nullopt;
    out.reserve(static_cast<std::size_t>(count));
    if (!for_each_combination_of(cards, k, stop, push)) return std::nullopt;
    return out;
  }

  CardSet union_all;
  for (CardSet s : open_) union_all |= s;
  available &= union_all;
  const std::vector<Card> cards = available.to_vector();
  if (cards.size() < k) return out;
  const std::optional<ShapePlan> plan = ShapePlan::build(open_, available);
  if (!plan) {
    if (binomial(cards.size(), k) > limit) return std::nullopt;
    const bool listed = for_each_combination_of(cards, k, stop, [&](std::span<const Card> pick) {
      if (has_perfect_matching(open_, pick)) push(pick);
    });
    if (!listed) return std::nullopt;
    return out;
  }
  if (plan->total() > limit) return std::nullopt;
  CardLists sets = plan->enumerate(stop);
  if (stop != nullptr && stop->load(std::memory_order_relaxed)) return std::nullopt;
  if (forced_.empty()) return std::optional<CardLists>(std::move(sets));
  out.reserve(sets.size());
  for (std::size_t i = 0; i < sets.size(); ++i) push(sets[i]);
  return out;
}

}  // namespace vantor
