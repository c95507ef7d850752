// Shape plans: counting, weighing, listing and drawing the card sets that
// fill a list of constrained slots.
//
// Cards accepted by exactly the same slots form a class; a shape says how
// many cards come from each class. All card sets of one shape are equally
// feasible, so one matching test per shape decides feasibility and the number
// of card sets of a shape is a product of binomials. A draw picks a shape in
// proportion to its weight, then cards inside each class uniformly.
//
//   auto plan = ShapePlan::build(slots, universe);   // nullopt: too many shapes
//   if (plan && plan->total() > 0) plan->draw_from(plan->classes(), plan->cumulative(),
//                                                  plan->total(), rng, out);
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
#include "sampler/combinations.h"
#include "sampler/u128.h"

namespace vantor {

struct Shape {
  u128 weight = 0;                   // card sets of this shape (saturating)
  std::vector<std::uint8_t> counts;  // cards taken from each class, in class order
};

// Caller-owned buffers for `ShapePlan::weigh`, reused across deals.
struct WeighingScratch {
  std::vector<CardSet> classes;
  std::vector<u128> cumulative;
};

// Copies share the shapes (a plan never changes once built), so a holding
// written many times over costs its shapes once.
class ShapePlan {
 public:
  // The walk gives up after this many shapes; callers fall back to rejection.
  static constexpr std::size_t SHAPE_LIMIT = 20000;

  // nullopt when there are no slots or the walk gives up. A plan of total 0
  // is valid: its slots cannot be filled from the universe.
  static std::optional<ShapePlan> build(std::span<const CardSet> slots, CardSet universe);

  u128 total() const { return total_; }
  // In order of their lowest card.
  const std::vector<CardSet>& classes() const { return classes_; }
  // Every feasible shape, count vectors in lexicographic order.
  const std::vector<Shape>& shapes() const { return tables_->shapes; }
  // Running sums of the shape weights (saturating), one per shape.
  const std::vector<u128>& cumulative() const { return tables_->cumulative; }
  std::size_t slot_count() const { return slot_count_; }

  // The weights again, counting only cards of `available`: fills the scratch
  // with each class ∩ available and the running sums; answers the new total.
  u128 weigh(CardSet available, WeighingScratch& scratch) const;

  // Appends one card set, uniform over the card sets that `classes` and
  // `cumulative` describe (the plan's own, or those of `weigh`); total >= 1.
  void draw_from(std::span<const CardSet> classes, std::span<const u128> cumulative, u128 total,
                 Rng& rng, std::vector<Card>& out) const;

  // Every card set of the plan, shape by shape, each class's combinations in
  // lexicographic order; lists hold their cards class by class. Ends early,
  // with part of the list, once `stop` is set.
  CardLists enumerate(const std::atomic<bool>* stop = nullptr) const;

 private:
  struct Tables {
    std::vector<Shape> shapes;
    std::vector<u128> cumulative;
  };

  ShapePlan() = default;

  u128 total_ = 0;
  std::vector<CardSet> classes_;
  std::shared_ptr<const Tables> tables_;
  std::size_t slot_count_ = 0;
};

}  // namespace vantor
