#include "sampler/shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "error/error.h"
#include "test_support.h"
#include "sampler/matching.h"

namespace vantor {
namespace {

using namespace vantor::test_support;


std::vector<unsigned> counts_of(const Shape& s) { return {s.counts.begin(), s.counts.end()}; }

TEST(ShapePlan, AceAndKing) {
  const std::vector<CardSet> slots = {CardSet::rank(12), CardSet::rank(11)};
  const auto plan = ShapePlan::build(slots, CardSet::full_deck());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->classes(), (std::vector<CardSet>{CardSet::rank(11), CardSet::rank(12)}));
  ASSERT_EQ(plan->shapes().size(), 1u);
  EXPECT_EQ(counts_of(plan->shapes()[0]), (std::vector<unsigned>{1, 1}));
  EXPECT_EQ(plan->shapes()[0].weight, u128{16});
  EXPECT_EQ(plan->total(), u128{16});
  EXPECT_EQ(plan->slot_count(), 2u);

  // Listing: kings class first, each class in ascending order.
  const CardLists lists = plan->enumerate();
  ASSERT_EQ(lists.size(), 16u);
  EXPECT_EQ(lists.width(), 2u);
  std::size_t i = 0;
  for (const char* king : {"Kc", "Kd", "Kh", "Ks"})
    for (const char* ace : {"Ac", "Ad", "Ah", "As"}) {
      EXPECT_EQ(lists[i][0], card(king));
      EXPECT_EQ(lists[i][1], card(ace));
      ++i;
    }
}

TEST(ShapePlan, TwoHearts) {
  const std::vector<CardSet> slots = {CardSet::suit(2), CardSet::suit(2)};
  const auto plan = ShapePlan::build(slots, CardSet::full_deck());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->classes(), std::vector<CardSet>{CardSet::suit(2)});
  ASSERT_EQ(plan->shapes().size(), 1u);
  EXPECT_EQ(counts_of(plan->shapes()[0]), std::vector<unsigned>{2});
  EXPECT_EQ(plan->total(), u128{78});
  EXPECT_EQ(plan->enumerate().size(), 78u);
}

TEST(ShapePlan, HeartSpadeAnyShapesInWalkOrder) {
  const std::vector<CardSet> slots = {CardSet::suit(2), CardSet::suit(3), CardSet::full_deck()};
  const auto plan = ShapePlan::build(slots, CardSet::full_deck());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->classes(),
            (std::vector<CardSet>{CardSet::suit(0) | CardSet::suit(1), CardSet::suit(2), CardSet::suit(3)}));
  ASSERT_EQ(plan->shapes().size(), 3u);
  EXPECT_EQ(counts_of(plan->shapes()[0]), (std::vector<unsigned>{0, 1, 2}));
  EXPECT_EQ(counts_of(plan->shapes()[1]), (std::vector<unsigned>{0, 2, 1}));
  EXPECT_EQ(counts_of(plan->shapes()[2]), (std::vector<unsigned>{1, 1, 1}));
  EXPECT_EQ(plan->shapes()[0].weight, u128{1014});
  EXPECT_EQ(plan->shapes()[1].weight, u128{1014});
  EXPECT_EQ(plan->shapes()[2].weight, u128{4394});
  EXPECT_EQ(plan->cumulative(), (std::vector<u128>{1014, 2028, 6422}));
  EXPECT_EQ(plan->total(), u128{6422});
}

TEST(ShapePlan, EmptyCases) {
  EXPECT_FALSE(ShapePlan::build({}, CardSet::full_deck()));
  // The universe lacks the only card: a valid plan that cannot be filled.
  const std::vector<CardSet> ace = {CardSet::single(card("Ah"))};
  const auto plan = ShapePlan::build(ace, CardSet::full_deck() - CardSet::single(card("Ah")));
  ASSERT_TRUE(plan);
  EXPECT_TRUE(plan->classes().empty());
  EXPECT_TRUE(plan->shapes().empty());
  EXPECT_EQ(plan->total(), u128{0});
  EXPECT_EQ(plan->enumerate().size(), 0u);
  WeighingScratch scratch;
  EXPECT_EQ(plan->weigh(CardSet::full_deck(), scratch), u128{0});
  // Two slots that only Ah fills.
  const std::vector<CardSet> twice = {CardSet::single(card("Ah")), CardSet::single(card("Ah"))};
  const auto none = ShapePlan::build(twice, CardSet::full_deck());
  ASSERT_TRUE(none);
  EXPECT_EQ(none->total(), u128{0});
}

TEST(ShapePlan, GivesUpBeyondTheShapeLimit) {
  // Eight slots; every card gets its own pattern of at least five slots, so
  // each card is a class and nearly every 8-card set is its own shape.
  std::vector<CardSet> slots(8);
  unsigned next = 0;
  for (unsigned pattern = 0; pattern < 256 && next < 52; ++pattern) {
    if (std::popcount(pattern) < 5) continue;
    for (unsigned k = 0; k < 8; ++k)
      if ((pattern >> k) & 1u) slots[k].insert(Card(next));
    ++next;
  }
  EXPECT_FALSE(ShapePlan::build(slots, CardSet::full_deck()));
  // The same slots over 12 cards: at most C(12, 8) = 495 shapes, one per set.
  const CardSet small(0xFFFull);
  const auto plan = ShapePlan::build(slots, small);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->classes().size(), 12u);
  EXPECT_EQ(plan->total(), u128{brute_force_sets(slots, small).size()});
}

TEST(ShapePlan, UnfillableSlotsAmongManyClassesFinishQuickly) {
  // Three slots share two cards, five more give most cards their own class:
  // no shape is feasible, and hopeless partial choices are cut early
  // instead of walking some 10^8 count vectors.
  std::vector<CardSet> slots(8);
  const CardSet two_aces = CardSet::single(card("Ac")) | CardSet::single(card("Ad"));
  for (int k = 0; k < 3; ++k) slots[k] = two_aces;
  unsigned i = 0;
  for (Card c : CardSet::full_deck() - two_aces) {
    const unsigned pattern = 1 + (i++ * 7) % 31;  // a non-empty subset of slots 3..7
    for (unsigned k = 0; k < 5; ++k)
      if ((pattern >> k) & 1u) slots[3 + k].insert(c);
  }
  const auto plan = ShapePlan::build(slots, CardSet::full_deck());
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->total(), u128{0});
  EXPECT_GE(plan->classes().size(), 30u);
}

TEST(ShapePlan, WeighDropsUnavailableClasses) {
  const std::vector<CardSet> slots = {CardSet::suit(2), CardSet::suit(3), CardSet::full_deck()};
  const auto plan = ShapePlan::build(slots, CardSet::full_deck());
  ASSERT_TRUE(plan);
  WeighingScratch scratch;
  const CardSet no_minors = CardSet::suit(2) | CardSet::suit(3);
  EXPECT_EQ(plan->weigh(no_minors, scratch), u128{2028});
  EXPECT_EQ(scratch.cumulative, (std::vector<u128>{1014, 2028, 2028}));
  EXPECT_EQ(scratch.classes[0], CardSet());
  Rng rng = Rng::seed_from_u64(3);
  std::vector<Card> out;
  for (int i = 0; i < 5000; ++i) {
    out.clear();
    plan->draw_from(scratch.classes, scratch.cumulative, 2028, rng, out);
    ASSERT_EQ(out.size(), 3u);
    ASSERT_TRUE(CardSet(mask_of(out)).is_subset_of(no_minors));
  }
  // The scratch is reused without growing.
  EXPECT_EQ(plan->weigh(CardSet::full_deck(), scratch), u128{6422});
  EXPECT_EQ(scratch.cumulative.size(), 3u);
}

// Random slots over a 14-card universe: counts, lists, weights and draws all
// agree with brute force.
TEST(ShapePlan, AgreesWithBruteForce) {
  Rng rng = Rng::seed_from_u64(11);
  const CardSet universe(0x3FFFull << 20);
  int fillable = 0;
  for (int trial = 0; trial < 150; ++trial) {
    const unsigned k = 1 + rng.below32(5);
    std::vector<CardSet> slots;
    for (unsigned i = 0; i < k; ++i) {
      std::uint64_t m = rng.next_u64();
      if (rng.below32(3) == 0) m &= rng.next_u64();  // some sparse slots
      slots.push_back(CardSet(m & ((0x3FFFull << 20) | 0xFull)));  // a few cards outside the universe
    }
    const auto plan = ShapePlan::build(slots, universe);
    ASSERT_TRUE(plan);
    const std::set<std::uint64_t> expected = brute_force_sets(slots, universe);
    ASSERT_EQ(plan->total(), u128{expected.size()}) << trial;
    fillable += !expected.empty();

    const CardLists lists = plan->enumerate();
    std::set<std::uint64_t> listed;
    for (std::size_t i = 0; i < lists.size(); ++i) listed.insert(mask_of(lists[i]));
    EXPECT_EQ(lists.size(), expected.size());
    EXPECT_EQ(listed, expected);

    const CardSet available(universe.mask() & rng.next_u64());
    std::set<std::uint64_t> expected_available;
    for (std::uint64_t m : expected)
      if (CardSet(m).is_subset_of(available)) expected_available.insert(m);
    WeighingScratch scratch;
    const u128 total = plan->weigh(available, scratch);
    ASSERT_EQ(total, u128{expected_available.size()}) << trial;
    if (total == 0) continue;
    std::vector<Card> out;
    for (int d = 0; d < 50; ++d) {
      out.clear();
      plan->draw_from(scratch.classes, scratch.cumulative, total, rng, out);
      ASSERT_EQ(out.size(), k);
      ASSERT_TRUE(expected_available.count(mask_of(out))) << trial;
    }
  }
  EXPECT_GT(fillable, 100);
}

// Draws are uniform over all 6422 sets of [any heart, any spade, any card],
// though the three shapes differ in weight.
TEST(ShapePlan, DrawIsUniform) {
  const std::vector<CardSet> slots = {CardSet::suit(2), CardSet::suit(3), CardSet::full_deck()};
  const auto plan = ShapePlan::build(slots, CardSet::full_deck());
  ASSERT_TRUE(plan);
  const std::set<std::uint64_t> support = brute_force_sets(slots, CardSet(0xFFFFFFFFFFFFFull));
  ASSERT_EQ(support.size(), 6422u);
  Rng rng = Rng::seed_from_u64(2024);
  std::map<std::uint64_t, int> seen;
  std::vector<Card> out;
  const int per_cell = 30;
  const int draws = per_cell * 6422;
  for (int i = 0; i < draws; ++i) {
    out.clear();
    plan->draw_from(plan->classes(), plan->cumulative(), plan->total(), rng, out);
    ++seen[mask_of(out)];
  }
  ASSERT_EQ(seen.size(), support.size());
  double chi2 = 0;
  for (const auto& [m, n] : seen) {
    ASSERT_TRUE(support.count(m));
    chi2 += (n - per_cell) * (n - per_cell) / double(per_cell);
  }
  const double df = 6421;
  EXPECT_LT(chi2, df + 6 * std::sqrt(2 * df));
}

}  // namespace
}  // namespace vantor
