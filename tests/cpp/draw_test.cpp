#include "sampler/draw.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <set>
#include <vector>

#include "error/error.h"
#include "test_support.h"
#include "sampler/matching.h"

#include "allocation_counter.h"

namespace vantor {
namespace {

using namespace vantor::test_support;

const CardSet DECK = CardSet::full_deck();
const CardSet HEARTS = CardSet::suit(2), SPADES = CardSet::suit(3), CLUBS = CardSet::suit(0),
              DIAMONDS = CardSet::suit(1);

// Draws until `accepted` draws were accepted and checks that they hit
// exactly the support, each set equally often within a chi-square bound
// (df + 6 sd: a fixed seed makes this deterministic, and a sampler that
// favours some sets by even a few percent fails it).
struct Uniformity {
  double chi2 = 0, bound = 0;
  std::size_t outside = 0, hit = 0;
  long attempts = 0;
};

// Counts per card set in one open-addressed table (support sizes reach 2e5).
class SetCounter {
 public:
  explicit SetCounter(std::size_t expected) {
    std::size_t n = 16;
    while (n < 2 * expected) n <<= 1;
    keys_.assign(n, 0);
    counts_.assign(n, 0);
  }
  long& operator[](std::uint64_t key) {  // key != 0: sets here are never empty
    std::size_t i = (key * 0x9E3779B97F4A7C15ull) >> 20 & (keys_.size() - 1);
    while (keys_[i] != 0 && keys_[i] != key) i = (i + 1) & (keys_.size() - 1);
    keys_[i] = key;
    return counts_[i];
  }
  template <class F>
  void for_each(F&& f) const {
    for (std::size_t i = 0; i < keys_.size(); ++i)
      if (keys_[i] != 0) f(keys_[i], counts_[i]);
  }

 private:
  std::vector<std::uint64_t> keys_;
  std::vector<long> counts_;
};

template <class Draw>
Uniformity measure(const std::set<std::uint64_t>& support, long per_cell, Draw draw) {
  SetCounter seen(support.size() + 1024);
  Uniformity u;
  const long accepted = per_cell * static_cast<long>(support.size());
  std::vector<Card> out;
  out.reserve(16);
  for (long n = 0; n < accepted; ++u.attempts)
    if (draw(out)) {
      ++seen[mask_of(out)];
      ++n;
    }
  seen.for_each([&](std::uint64_t m, long count) {
    if (!support.count(m)) {
      ++u.outside;
      return;
    }
    ++u.hit;
    u.chi2 += (count - per_cell) * double(count - per_cell) / double(per_cell);
  });
  // Sets never drawn count as well.
  u.chi2 += double(support.size() - u.hit) * double(per_cell);
  const double df = double(support.size()) - 1;
  u.bound = df + 6 * std::sqrt(2 * df);
  return u;
}

void expect_uniform(const SlotSampler& sampler, CardSet available, const std::set<std::uint64_t>& support,
                    long per_cell, std::uint64_t seed) {
  Rng rng = Rng::seed_from_u64(seed);
  const Uniformity u =
      measure(support, per_cell, [&](std::vector<Card>& out) { return sampler.draw(available, rng, out); });
  EXPECT_EQ(u.outside, 0u);
  // Every set is drawn, up to the few that a Poisson count leaves at zero.
  const double missing = double(support.size()) * std::exp(-double(per_cell));
  EXPECT_GE(double(u.hit), double(support.size()) - (missing + 6 * std::sqrt(missing) + 1));
  EXPECT_LT(u.chi2, u.bound) << "support " << support.size();
}

TEST(DrawSubset, DrawsDistinctCardsAndFailsWhenShort) {
  Rng rng = Rng::seed_from_u64(1);
  std::vector<Card> out;
  EXPECT_TRUE(draw_subset(HEARTS, 13, rng, out));
  EXPECT_EQ(mask_of(out), HEARTS.mask());
  out.clear();
  EXPECT_FALSE(draw_subset(CardSet::rank(12), 5, rng, out));
  EXPECT_TRUE(draw_subset(CardSet(), 0, rng, out));
}

TEST(SlotSampler, KnownCardsAreForcedInSlotOrder) {
  const std::vector<CardSet> slots = {one("Kd"), one("Ah")};
  const SlotSampler s(slots, DECK);
  EXPECT_EQ(s.forced(), (std::vector<Card>{card("Kd"), card("Ah")}));
  EXPECT_EQ(s.open_count(), 0u);
  Rng rng = Rng::seed_from_u64(1);
  std::vector<Card> out;
  EXPECT_TRUE(s.draw(DECK, rng, out));
  EXPECT_EQ(out, (std::vector<Card>{card("Kd"), card("Ah")}));
  // A forced card already dealt rejects without touching the generator.
  const Rng before = rng;
  EXPECT_FALSE(s.draw(DECK - one("Ah"), rng, out));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(rng.state(), before.state());
  EXPECT_FALSE(s.draw(DECK - one("Kd"), rng, out));
  const auto sets = s.all_sets(DECK, 1);
  ASSERT_TRUE(sets);
  ASSERT_EQ(sets->size(), 1u);
  EXPECT_EQ(mask_of((*sets)[0]), (one("Kd") | one("Ah")).mask());
  EXPECT_EQ(s.all_sets(DECK - one("Kd"), 10)->size(), 0u);
}

TEST(SlotSampler, PropagationFixesChainsOfSingleCards) {
  // Ah is fixed first, which leaves Kh alone in the first slot, then Qh.
  const std::vector<CardSet> slots = {one("Ah") | one("Kh"), one("Ah"), one("Kh") | one("Qh"), HEARTS};
  const SlotSampler s(slots, DECK);
  EXPECT_EQ(s.forced(), (std::vector<Card>{card("Ah"), card("Kh"), card("Qh")}));
  ASSERT_EQ(s.open_count(), 1u);
  EXPECT_EQ(s.open_slots()[0], HEARTS - one("Ah") - one("Kh") - one("Qh"));
  // Unavailable cards are dropped before propagation: Ah dead makes Kh single.
  const SlotSampler t(std::vector<CardSet>{one("Ah") | one("Kh"), HEARTS}, DECK - one("Ah"));
  EXPECT_EQ(t.forced(), std::vector<Card>{card("Kh")});
}

TEST(SlotSampler, ForcedCardThenFreeSlot) {
  const std::vector<CardSet> slots = {one("Ah"), DECK};
  const SlotSampler s(slots, DECK);
  EXPECT_EQ(s.forced(), std::vector<Card>{card("Ah")});
  EXPECT_EQ(s.mode(), SamplerMode::Free);
  EXPECT_TRUE(s.restricted().empty());
  Rng rng = Rng::seed_from_u64(5);
  std::vector<Card> out;
  std::set<unsigned> seconds;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(s.draw(DECK, rng, out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], card("Ah"));
    seconds.insert(out[1].index());
  }
  EXPECT_EQ(seconds.size(), 51u);
  EXPECT_FALSE(seconds.count(card("Ah").index()));
}

TEST(SlotSampler, AceAndKingIsEnumeratedAndUniform) {
  const std::vector<CardSet> slots = {CardSet::rank(12), CardSet::rank(11)};
  const SlotSampler s(slots, DECK);
  EXPECT_EQ(s.mode(), SamplerMode::Enumerated);
  EXPECT_EQ(s.restricted().size(), 2u);
  EXPECT_EQ(s.free_count(), 0u);
  EXPECT_TRUE(s.disjoint());
  EXPECT_EQ(s.enumerated().size(), 16u);
  const auto support = brute_force_sets(slots, DECK);
  ASSERT_EQ(support.size(), 16u);
  expect_uniform(s, DECK, support, 2000, 1);
  // With the ace of spades gone only 12 sets remain, still uniform.
  expect_uniform(s, DECK - one("As"), brute_force_sets(slots, DECK - one("As")), 2000, 2);
}

TEST(SlotSampler, HeartAndAnyCardIsUniformOver585Sets) {
  const std::vector<CardSet> slots = {HEARTS, DECK};
  const SlotSampler s(slots, DECK);
  EXPECT_EQ(s.mode(), SamplerMode::Enumerated);
  EXPECT_EQ(s.restricted(), std::vector<CardSet>{HEARTS});
  EXPECT_EQ(s.free_count(), 1u);
  const auto support = brute_force_sets(slots, DECK);
  ASSERT_EQ(support.size(), 585u);  // 13 * 51 - C(13, 2)
  expect_uniform(s, DECK, support, 400, 3);

  // The bound has teeth: without the acceptance correction two-heart sets
  // come twice as often, and that fails it.
  Rng rng = Rng::seed_from_u64(3);
  const Uniformity biased = measure(support, 400, [&](std::vector<Card>& out) {
    out.clear();
    const Card h = uniform_card(HEARTS, rng);
    out.push_back(h);
    out.push_back(uniform_card(DECK - CardSet::single(h), rng));
    return true;
  });
  EXPECT_GT(biased.chi2, biased.bound);
}

TEST(SlotSampler, OverlappingRestrictedSlotsAreUniform) {
  // [any heart, heart or spade, any card]: the restricted slots share the
  // hearts, so the correction counts splits by matching.
  const std::vector<CardSet> slots = {HEARTS, HEARTS | SPADES, DECK};
  const SlotSampler s(slots, DECK);
  EXPECT_EQ(s.mode(), SamplerMode::Enumerated);
  EXPECT_FALSE(s.disjoint());
  EXPECT_EQ(s.free_count(), 1u);
  EXPECT_EQ(s.enumerated().size(), 247u);  // 13 * 13 + C(13, 2)
  const CardSet available = DECK - CardSet::rank(0) - CardSet::rank(1) - CardSet::rank(2);
  expect_uniform(s, available, brute_force_sets(slots, available), 30, 4);
}

TEST(SlotSampler, PlannedHoldingIsUniform) {
  // 286 + 1014 ways for the hearts-or-diamonds part, times 13 * 13.
  const std::vector<CardSet> slots = {HEARTS, HEARTS, SPADES, CLUBS, DIAMONDS | HEARTS};
  const SlotSampler s(slots, DECK);
  ASSERT_EQ(s.mode(), SamplerMode::Planned);
  ASSERT_TRUE(s.plan());
  EXPECT_EQ(s.plan()->total(), u128{219700});
  EXPECT_GT(s.plan()->shapes().size(), 1u);
  const auto support = brute_force_sets(slots, DECK);
  ASSERT_EQ(support.size(), 219700u);
  expect_uniform(s, DECK, support, 10, 5);
}

// Slots in which every card of `cards` gets its own pattern of at least
// `min_bits` slots, the patterns taken with a stride so that every slot is
// used: far more than 20000 shapes, so no plan.
std::vector<CardSet> patterned_slots(unsigned slots, unsigned min_bits, CardSet cards) {
  std::vector<unsigned> patterns;
  for (unsigned p = 0; p < (1u << slots); ++p)
    if (std::popcount(p) >= static_cast<int>(min_bits)) patterns.push_back(p);
  std::vector<CardSet> out(slots);
  std::size_t i = 0;
  for (Card c : cards) {
    const unsigned pattern = patterns[(i++ * 37) % patterns.size()];
    for (unsigned k = 0; k < slots; ++k)
      if ((pattern >> k) & 1u) out[k].insert(c);
  }
  return out;
}

TEST(SlotSampler, UnplannedHoldingIsUniform) {
  const CardSet twenty(0xFFFFFull << 8);
  const std::vector<CardSet> slots = patterned_slots(8, 5, twenty);
  const SlotSampler s(slots, twenty);
  ASSERT_EQ(s.mode(), SamplerMode::Unplanned);
  EXPECT_EQ(s.union_set(), twenty);
  EXPECT_EQ(s.restricted().size(), 8u);
  const auto support = brute_force_sets(slots, twenty);
  EXPECT_GT(support.size(), 20000u);
  expect_uniform(s, twenty, support, 10, 6);

  // all_sets without a plan: matching-filtered combinations, in order.
  const auto sets = s.all_sets(twenty, 125970);
  ASSERT_TRUE(sets);
  std::set<std::uint64_t> listed;
  for (std::size_t i = 0; i < sets->size(); ++i) listed.insert(mask_of((*sets)[i]));
  EXPECT_EQ(listed, support);
  EXPECT_EQ(sets->size(), support.size());
  EXPECT_FALSE(s.all_sets(twenty, 125969));  // C(20, 8) = 125970
}

TEST(SlotSampler, UnplannedWithFreeCompletionIsUniform) {
  std::vector<CardSet> slots = patterned_slots(7, 4, DECK);
  slots.push_back(DECK);
  const SlotSampler s(slots, DECK);
  ASSERT_EQ(s.mode(), SamplerMode::Unplanned);
  EXPECT_EQ(s.restricted().size(), 7u);
  EXPECT_EQ(s.free_count(), 1u);
  EXPECT_FALSE(s.disjoint());
  const CardSet available(0x3FFFull);  // 14 cards
  const auto support = brute_force_sets(slots, available);
  EXPECT_GT(support.size(), 500u);
  expect_uniform(s, available, support, 25, 7);
}

TEST(SlotSampler, NineOrMoreOpenSlotsArePlannedTogether) {
  std::vector<CardSet> slots(9, DECK);
  slots[0] = HEARTS;
  const SlotSampler s(slots, DECK);
  EXPECT_TRUE(s.restricted().empty());
  EXPECT_EQ(s.planned_slots().size(), 9u);
  EXPECT_EQ(s.mode(), SamplerMode::Planned);
  Rng rng = Rng::seed_from_u64(8);
  std::vector<Card> out;
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(s.draw(DECK, rng, out));
    ASSERT_EQ(out.size(), 9u);
    ASSERT_TRUE(has_perfect_matching(slots, out));
  }
}

TEST(SlotSampler, UnfillableHolding) {
  const std::vector<CardSet> slots = {one("Ah"), one("Ah")};
  const SlotSampler s(slots, DECK);
  EXPECT_EQ(s.forced(), std::vector<Card>{card("Ah")});
  EXPECT_EQ(s.mode(), SamplerMode::Enumerated);
  EXPECT_TRUE(s.enumerated().empty());
  Rng rng = Rng::seed_from_u64(9);
  std::vector<Card> out;
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(s.draw(DECK, rng, out));
  const auto sets = s.all_sets(DECK, 1000);
  ASSERT_TRUE(sets);
  EXPECT_EQ(sets->size(), 0u);
}

TEST(SlotSampler, AllSetsOfAFreeHoldingHonoursTheLimit) {
  const std::vector<CardSet> slots = {DECK, DECK};
  const CardSet fifty = DECK - one("2c") - one("3c");
  const SlotSampler s(slots, fifty);
  EXPECT_EQ(s.mode(), SamplerMode::Free);
  const auto sets = s.all_sets(fifty, 1225);
  ASSERT_TRUE(sets);
  EXPECT_EQ(sets->size(), 1225u);
  EXPECT_EQ(mask_of((*sets)[0]), (one("2d") | one("2h")).mask());  // lexicographic
  EXPECT_EQ(mask_of((*sets)[1224]), (one("Ah") | one("As")).mask());
  EXPECT_FALSE(s.all_sets(fifty, 1224));
  EXPECT_EQ(s.all_sets(CardSet(0x1), 0)->size(), 0u);  // fewer cards than slots
}

TEST(SlotSampler, AllSetsAgreeWithBruteForce) {
  const std::vector<std::vector<CardSet>> holdings = {
      {one("Ah"), HEARTS, DECK},
      {CardSet::rank(12), CardSet::rank(11)},
      {HEARTS, HEARTS | SPADES, DECK},
      {HEARTS, SPADES, CardSet::rank(12) | CardSet::rank(0)},
      {one("Ks") | one("Qs"), one("Ks") | one("Qs"), DIAMONDS},
  };
  const CardSet available = DECK - CardSet::rank(5) - one("Jh");
  for (const auto& slots : holdings) {
    const SlotSampler s(slots, DECK);
    const auto sets = s.all_sets(available, 1000000);
    ASSERT_TRUE(sets);
    EXPECT_EQ(sets->width(), slots.size());
    std::set<std::uint64_t> listed;
    for (std::size_t i = 0; i < sets->size(); ++i) {
      const auto row = (*sets)[i];
      for (std::size_t f = 0; f < s.forced().size(); ++f) EXPECT_EQ(row[f], s.forced()[f]);
      listed.insert(mask_of(row));
    }
    EXPECT_EQ(sets->size(), listed.size());
    EXPECT_EQ(listed, brute_force_sets(slots, available));
  }
}

TEST(SlotSampler, SameSeedSameDrawsAndRejections) {
  const std::vector<CardSet> slots = {HEARTS, HEARTS | SPADES, DECK};
  const SlotSampler s(slots, DECK);
  const CardSet available = DECK - CardSet::rank(12);
  Rng a = Rng::seed_from_u64(77), b = Rng::seed_from_u64(77);
  std::vector<Card> x, y;
  int rejected = 0;
  for (int i = 0; i < 2000; ++i) {
    const bool ra = s.draw(available, a, x), rb = s.draw(available, b, y);
    ASSERT_EQ(ra, rb);
    ASSERT_EQ(x, y);
    rejected += !ra;
  }
  EXPECT_GT(rejected, 0);
}

TEST(SlotSampler, DrawsDoNotAllocate) {
  const CardSet twenty(0xFFFFFull << 8);
  const SlotSampler samplers[] = {
      SlotSampler(std::vector<CardSet>{one("Ah"), DECK, DECK}, DECK),
      SlotSampler(std::vector<CardSet>{HEARTS, HEARTS | SPADES, DECK}, DECK),
      SlotSampler(std::vector<CardSet>{HEARTS, HEARTS, SPADES, CLUBS, DIAMONDS | HEARTS}, DECK),
      SlotSampler(patterned_slots(8, 5, twenty), twenty),
  };
  EXPECT_EQ(samplers[0].mode(), SamplerMode::Free);
  EXPECT_EQ(samplers[1].mode(), SamplerMode::Enumerated);
  EXPECT_EQ(samplers[2].mode(), SamplerMode::Planned);
  EXPECT_EQ(samplers[3].mode(), SamplerMode::Unplanned);
  Rng rng = Rng::seed_from_u64(10);
  std::vector<Card> out;
  out.reserve(16);
  const CardSet available = DECK - one("Kh");
  const long before = g_allocations.load();
  int accepted = 0;
  for (const SlotSampler& s : samplers)
    for (int i = 0; i < 1000; ++i) accepted += s.draw(available, rng, out);
  EXPECT_EQ(g_allocations.load(), before);
  EXPECT_GT(accepted, 2000);
}

}  // namespace
}  // namespace vantor
