#include "sampler/shape.h"

#include <algorithm>
#include <array>

#include "sampler/matching.h"

namespace vantor {

namespace {

// A pattern is one bit per slot, so plans cover at most this many slots.
constexpr std::size_t MAX_PATTERN_SLOTS = 64;

// Lists between two looks at the stop flag while listing.
constexpr std::size_t STOP_CHECK = 1 << 16;

// Enumerates count vectors class by class, keeping the feasible ones.
struct ShapeWalk {
  std::span<const CardSet> slots;
  const std::vector<CardSet>& classes;
  const std::vector<std::uint64_t>& patterns;  // per class: the slots accepting it
  std::vector<unsigned> sizes;
  std::vector<unsigned> cards_from;  // cards in classes d.. (suffix sums)
  std::vector<std::uint8_t> counts;
  std::vector<Shape> shapes;
  bool gave_up = false;

  ShapeWalk(std::span<const CardSet> s, const std::vector<CardSet>& c, const std::vector<std::uint64_t>& p)
      : slots(s), classes(c), patterns(p), sizes(c.size()), cards_from(c.size() + 1, 0), counts(c.size(), 0) {
    for (std::size_t j = 0; j < c.size(); ++j) sizes[j] = c[j].count();
    for (std::size_t j = c.size(); j-- > 0;) cards_from[j] = cards_from[j + 1] + sizes[j];
  }

  void walk(std::size_t d, unsigned r) {
    if (shapes.size() > ShapePlan::SHAPE_LIMIT) {
      gave_up = true;
      return;
    }
    // Cards chosen so far that cannot take distinct slots doom every
    // completion; stopping here records the same shapes, only sooner.
    if (d > 0 && counts[d - 1] > 0 && !prefix_fits(d)) return;
    if (d < classes.size()) {
      if (cards_from[d] < r) return;
      const unsigned top = std::min(r, sizes[d]);
      for (unsigned c = 0; c <= top; ++c) {
        counts[d] = static_cast<std::uint8_t>(c);
        walk(d + 1, r - c);
        if (gave_up) return;
      }
      counts[d] = 0;
      return;
    }
    if (r != 0) return;
    record();
  }

  // Whether the cards counted in classes 0..d-1 can each take a distinct
  // slot: a matching with the roles swapped (slot positions as the cards).
  bool prefix_fits(std::size_t d) const {
    std::array<CardSet, MAX_PATTERN_SLOTS> accepting;
    std::array<Card, MAX_PATTERN_SLOTS> positions;
    std::size_t n = 0;
    for (std::size_t j = 0; j < d; ++j)
      for (unsigned k = 0; k < counts[j]; ++k) accepting[n++] = CardSet(patterns[j]);
    for (std::size_t k = 0; k < slots.size(); ++k) positions[k] = Card(static_cast<unsigned>(k));
    return has_perfect_matching(std::span(accepting.data(), n), std::span(positions.data(), slots.size()));
  }

  // Cards of one class are accepted by the same slots, so the lowest ones
  // stand for every card set of this shape.
  void record() {
    std::array<Card, MAX_PATTERN_SLOTS> reps;
    std::size_t n = 0;
    u128 weight = 1;
    for (std::size_t j = 0; j < classes.size(); ++j) {
      CardSet rest = classes[j];
      for (unsigned k = 0; k < counts[j]; ++k) {
        const Card c = rest.lowest();
        reps[n++] = c;
        rest.remove(c);
      }
      weight = sat_mul(weight, binomial(sizes[j], counts[j]));
    }
    if (weight == 0 || !has_perfect_matching(slots, std::span(reps.data(), n))) return;
    shapes.push_back(Shape{weight, counts});
  }
};

// Appends every combination of each class's count, class by class, the
// later classes varying fastest.
struct HandBuilder {
  const std::vector<CardSet>& classes;
  const std::vector<std::uint8_t>& counts;
  CardLists& out;
  const std::atomic<bool>* stop;
  std::array<Card, MAX_PATTERN_SLOTS> hand{};
  bool stopped = false;

  void build_hands(std::size_t j, std::size_t filled) {
    const std::size_t n = std::min(counts.size(), classes.size());
    while (j < n && counts[j] == 0) ++j;
    if (j >= n) {
      out.push_back(std::span<const Card>(hand.data(), filled));
      if (out.size() % STOP_CHECK == 0 && stop != nullptr && stop->load(std::memory_order_relaxed))
        stopped = true;
      return;
    }
    // Each level owns its class's cards; copy them locally.
    std::array<Card, 64> cards{};
    unsigned size = 0;
    for (Card c : classes[j]) cards[size++] = c;
    const unsigned k = counts[j];
    for_each_combination(size, k, [&](const ChosenPositions& idx, unsigned from) {
      for (unsigned e = from; e < k; ++e) hand[filled + e] = cards[idx[e]];
      build_hands(j + 1, filled + k);
      return !stopped;
    });
  }
};

}  // namespace

std::optional<ShapePlan> ShapePlan::build(std::span<const CardSet> slots, CardSet universe) {
  if (slots.empty()) return std::nullopt;
  ShapePlan plan;
  plan.slot_count_ = slots.size();
  plan.tables_ = std::make_shared<const Tables>();
  // More slots than cards can never be filled.
  if (slots.size() > MAX_PATTERN_SLOTS) return plan;

  std::vector<std::uint64_t> patterns;
  for (Card c : universe) {
    std::uint64_t pattern = 0;
    for (std::size_t k = 0; k < slots.size(); ++k)
      if (slots[k].contains(c)) pattern |= std::uint64_t{1} << k;
    if (pattern == 0) continue;
    const auto it = std::find(patterns.begin(), patterns.end(), pattern);
    if (it == patterns.end()) {
      patterns.push_back(pattern);
      plan.classes_.push_back(CardSet::single(c));
    } else {
      plan.classes_[static_cast<std::size_t>(it - patterns.begin())].insert(c);
    }
  }

  ShapeWalk walk(slots, plan.classes_, patterns);
  walk.walk(0, static_cast<unsigned>(slots.size()));
  if (walk.gave_up) return std::nullopt;
  auto tables = std::make_shared<Tables>();
  tables->shapes = std::move(walk.shapes);
  tables->cumulative.reserve(tables->shapes.size());
  u128 sum = 0;
  for (const Shape& s : tables->shapes) {
    sum = sat_add(sum, s.weight);
    tables->cumulative.push_back(sum);
  }
  plan.total_ = sum;
  plan.tables_ = std::move(tables);
  return plan;
}

u128 ShapePlan::weigh(CardSet available, WeighingScratch& scratch) const {
  scratch.classes.resize(classes_.size());
  for (std::size_t j = 0; j < classes_.size(); ++j) scratch.classes[j] = classes_[j] & available;
  scratch.cumulative.clear();
  u128 sum = 0;
  for (const Shape& s : shapes()) {
    const std::size_t n = std::min(s.counts.size(), scratch.classes.size());
    u128 weight = 1;
    for (std::size_t j = 0; j < n && weight != 0; ++j)
      weight = sat_mul(weight, binomial(scratch.classes[j].count(), s.counts[j]));
    sum = sat_add(sum, weight);
    scratch.cumulative.push_back(sum);
  }
  return sum;
}

void ShapePlan::draw_from(std::span<const CardSet> classes, std::span<const u128> cumulative,
                          u128 total, Rng& rng, std::vector<Card>& out) const {
  if (total == 0) return;  // nothing to draw from; callers check the total first
  const u128 x = rng.below128(total);
  // The first shape whose running sum exceeds x: zero weights are never hit.
  const auto chosen = static_cast<std::size_t>(
      std::upper_bound(cumulative.begin(), cumulative.end(), x) - cumulative.begin());
  if (chosen >= shapes().size()) return;
  const Shape& shape = shapes()[chosen];
  const std::size_t n = std::min(shape.counts.size(), classes.size());
  for (std::size_t j = 0; j < n; ++j) {
    CardSet rest = classes[j];
    for (unsigned k = 0; k < shape.counts[j] && !rest.is_empty(); ++k) {
      const Card c = uniform_card(rest, rng);
      out.push_back(c);
      rest.remove(c);
    }
  }
}

CardLists ShapePlan::enumerate(const std::atomic<bool>* stop) const {
  CardLists out(slot_count_);
  constexpr u128 RESERVE_CAP = 1048576;
  out.reserve(static_cast<std::size_t>(std::min(total_, RESERVE_CAP)));
  for (const Shape& shape : shapes()) {
    HandBuilder builder{classes_, shape.counts, out, stop};
    builder.build_hands(0, 0);
    if (builder.stopped) break;
  }
  return out;
}

}  // namespace vantor
