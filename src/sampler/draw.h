// The slot sampler: uniform card sets for one holding.
//
// A holding is a list of slot sets, each to receive one distinct card. The
// sampler is prepared once per holding (known cards fixed, the easy cases
// recognised) and then draws, for every deal, a card set uniform over all
// those that fill the holding from the cards still available, or lists them
// all for exact enumeration.
//
//   SlotSampler sampler(holding, live);
//   std::vector<Card> out;
//   if (sampler.draw(available, rng, out)) use(out);   // false: rejected attempt
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "cards/card.h"
#include "sampler/card_lists.h"
#include "sampler/rng.h"
#include "sampler/shape.h"

namespace vantor {

// Appends k distinct cards drawn uniformly from `set`, one 32-bit pick each;
// false when the set runs out first.
inline bool draw_subset(CardSet set, unsigned k, Rng& rng, std::vector<Card>& out) {
  for (unsigned n = 0; n < k; ++n) {
    if (set.is_empty()) return false;
    const Card c = uniform_card(set, rng);
    out.push_back(c);
    set.remove(c);
  }
  return true;
}

enum class SamplerMode : std::uint8_t {
  Free,        // every open slot accepts every available card
  Enumerated,  // at most ENUMERATION_LIMIT card sets, listed flat
  Planned,     // a shape plan with more card sets than that
  Unplanned,   // no plan: draw from the union and test by matching
};

class SlotSampler {
 public:
  // Constrained holdings with at most this many card sets are listed.
  static constexpr std::uint64_t ENUMERATION_LIMIT = 200000;
  // Up to this many open slots, the unconstrained ones are drawn apart.
  static constexpr std::size_t MAX_RESTRICTED = 8;

  // Prepares a holding against the cards that may be dealt at all. A plan of
  // at most `enumeration_limit` card sets (capped at ENUMERATION_LIMIT) is
  // listed; a larger one is drawn from as a plan. Copies share the list.
  SlotSampler(std::span<const CardSet> slots, CardSet available,
              std::uint64_t enumeration_limit = ENUMERATION_LIMIT);

  // Clears `out` and fills it with one card per slot, forced cards first;
  // false (out empty) when this attempt is rejected. Uniform over the card
  // sets that fill the holding from `available`, among accepted draws.
  bool draw(CardSet available, Rng& rng, std::vector<Card>& out) const;

  // Every card set that fills the holding from `available`, each as the
  // forced cards followed by the rest; nullopt when there are more than
  // `limit`, or once `stop` is set. An unfillable holding gives an empty list.
  std::optional<CardLists> all_sets(CardSet available, std::uint64_t limit,
                                    const std::atomic<bool>* stop = nullptr) const;

  // The length of the list `all_sets` gives, found without listing: exact,
  // or for a holding without a shape plan (whose list keeps only the
  // combinations a matching accepts) an upper bound. nullopt where
  // `all_sets` answers too many.
  struct SetCount {
    std::uint64_t count;
    bool exact;
  };
  std::optional<SetCount> set_count(CardSet available, std::uint64_t limit) const;

  // Cards fixed at preparation, in the order they were fixed.
  const std::vector<Card>& forced() const { return forced_; }
  // The remaining slots, reduced to available cards.
  const std::vector<CardSet>& open_slots() const { return open_; }
  std::size_t open_count() const { return open_.size(); }
  // The constrained open slots when they are drawn apart from free ones.
  const std::vector<CardSet>& restricted() const { return restricted_; }
  std::size_t free_count() const { return free_count_; }
  bool disjoint() const { return disjoint_; }
  SamplerMode mode() const { return mode_; }
  // The slots the mode's payload describes: the restricted ones if any, else all open.
  std::span<const CardSet> planned_slots() const {
    return restricted_.empty() ? std::span<const CardSet>(open_) : std::span<const CardSet>(restricted_);
  }
  // Payloads: the listed sets (Enumerated), the plan (Planned), the union
  // of the planned slots (Unplanned).
  const CardLists& enumerated() const;
  const std::optional<ShapePlan>& plan() const { return plan_; }
  CardSet union_set() const { return union_; }

 private:
  bool draw_open(CardSet available, Rng& rng, std::vector<Card>& out) const;

  std::vector<Card> forced_;
  std::vector<CardSet> open_;
  std::vector<CardSet> restricted_;
  std::size_t free_count_ = 0;
  bool disjoint_ = false;
  SamplerMode mode_ = SamplerMode::Free;
  std::shared_ptr<const CardLists> enumerated_;  // null unless Enumerated
  std::optional<ShapePlan> plan_;
  CardSet union_;
};

}  // namespace vantor
