#include "sampler/matching.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "error/error.h"
#include "test_support.h"
#include "sampler/rng.h"

#include "allocation_counter.h"

namespace vantor {
namespace {

using namespace vantor::test_support;


// Slow reference: try every assignment of distinct card positions to slots.
bool brute_force(const std::vector<CardSet>& slots, const std::vector<Card>& cards,
                 std::size_t slot = 0, std::uint64_t used = 0) {
  if (slot == slots.size()) return true;
  for (std::size_t p = 0; p < cards.size(); ++p)
    if (!((used >> p) & 1u) && slots[slot].contains(cards[p]) &&
        brute_force(slots, cards, slot + 1, used | (std::uint64_t{1} << p)))
      return true;
  return false;
}

TEST(Matching, EdgeCases) {
  EXPECT_TRUE(has_perfect_matching({}, {}));
  EXPECT_TRUE(has_perfect_matching({}, std::vector<Card>{card("2c")}));
  // Kh reaches the hearts slot only after Ah moves along an augmenting path.
  const std::vector<CardSet> hearts_then_ace = {CardSet::suit(2), one("Ah")};
  EXPECT_TRUE(has_perfect_matching(hearts_then_ace, std::vector<Card>{card("Ah"), card("Kh")}));
  const std::vector<CardSet> two_aces_of_hearts = {one("Ah"), one("Ah")};
  EXPECT_FALSE(has_perfect_matching(two_aces_of_hearts, std::vector<Card>{card("Ah"), card("Kd")}));
  const std::vector<CardSet> any_ace = {CardSet::rank(12)};
  EXPECT_TRUE(has_perfect_matching(any_ace, std::vector<Card>{card("Kd"), card("Ac")}));
  const std::vector<CardSet> two_slots = {CardSet::full_deck(), CardSet::full_deck()};
  EXPECT_FALSE(has_perfect_matching(two_slots, std::vector<Card>{card("Ac")}));
  // A card listed twice counts twice.
  EXPECT_TRUE(has_perfect_matching(two_aces_of_hearts, std::vector<Card>{card("Ah"), card("Ah")}));
  // A failing slot does not stop the search, and the answer stays false.
  const std::vector<CardSet> middle_fails = {CardSet::suit(0), one("As"), CardSet::suit(1)};
  EXPECT_FALSE(has_perfect_matching(middle_fails, std::vector<Card>{card("2c"), card("2d"), card("Ah")}));
}

TEST(Matching, AgreesWithBruteForceOnRandomSmallGraphs) {
  Rng rng = Rng::seed_from_u64(7);
  int positive = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const unsigned n_slots = rng.below32(7);
    const unsigned n_cards = rng.below32(9);
    // Cards from a small pool so that slots overlap often.
    const CardSet pool(0xFFFull);
    std::vector<Card> cards;
    for (unsigned i = 0; i < n_cards; ++i) cards.push_back(uniform_card(pool, rng));
    std::vector<CardSet> slots;
    for (unsigned i = 0; i < n_slots; ++i) slots.push_back(CardSet(rng.next_u64() & 0xFFF & rng.next_u64()));
    const bool expected = brute_force(slots, cards);
    positive += expected;
    ASSERT_EQ(has_perfect_matching(slots, cards), expected) << trial;
  }
  EXPECT_GT(positive, 2000);
  EXPECT_LT(positive, 18000);
}

TEST(Matching, LargeInputsUseTheHeapPath) {
  // 60 slots over 70 cards (duplicates allowed): slot i takes card i or i + 1.
  std::vector<Card> cards;
  for (unsigned i = 0; i < 70; ++i) cards.push_back(Card(i % 52));
  std::vector<CardSet> slots;
  for (unsigned i = 0; i < 51; ++i) slots.push_back(CardSet::single(Card(i)) | CardSet::single(Card(i + 1)));
  EXPECT_TRUE(has_perfect_matching(slots, cards));
  slots.push_back(CardSet::single(Card(0)));
  slots.push_back(CardSet::single(Card(0)));
  slots.push_back(CardSet::single(Card(0)));  // only two copies of card 0
  EXPECT_FALSE(has_perfect_matching(slots, cards));
}

TEST(Matching, SmallInputsDoNotAllocate) {
  const std::vector<CardSet> slots = {CardSet::suit(2), one("Ah"), CardSet::rank(12), CardSet::full_deck()};
  const std::vector<Card> cards = {card("Ah"), card("Kh"), card("As"), card("2c"), card("3d")};
  const long before = g_allocations.load();
  bool all = true;
  for (int i = 0; i < 100; ++i) all = all && has_perfect_matching(slots, cards);
  EXPECT_EQ(g_allocations.load(), before);
  EXPECT_TRUE(all);
}

}  // namespace
}  // namespace vantor
