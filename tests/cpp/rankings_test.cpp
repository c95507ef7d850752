#include "variants/rankings/ranking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "error/error.h"
#include "test_support.h"

namespace vantor {
namespace {

using namespace vantor::test_support;

unsigned score_of(std::string_view text, const Ranking& ranking) {
  return score(cards(text), ranking);
}

// A slow first-principles scorer, independent of the tables: a strength tuple
// per five cards (higher is stronger), numbered densely over every hand.
enum class Order { High, ShortDeck, NoWheel, AceFive };
using Strength = std::array<int, 6>;

Strength strength(const std::array<Card, 5>& hand, Order order) {
  std::array<int, 5> values{};
  for (int i = 0; i < 5; ++i) {
    const int v = static_cast<int>(hand[i].rank_value());
    values[i] = order == Order::AceFive && v == 14 ? 1 : v;
  }
  std::array<int, 15> count_of{};
  for (int v : values) ++count_of[v];
  std::array<std::pair<int, int>, 5> group_store{};  // (count, value), strongest first
  std::size_t group_count = 0;
  for (int v = 1; v <= 14; ++v)
    if (count_of[v] > 0) group_store[group_count++] = {count_of[v], v};
  const std::span<std::pair<int, int>> groups(group_store.data(), group_count);
  std::sort(groups.rbegin(), groups.rend());

  Strength s{};
  if (order == Order::AceFive) {
    // Pattern strength: no pair best, four of a kind worst; lower values better.
    const int first = groups[0].first, second = groups[1].first;
    s[0] = first == 1 ? 5 : first == 2 ? (second == 2 ? 3 : 4) : first == 3 ? (second == 2 ? 1 : 2) : 0;
    for (std::size_t i = 0; i < groups.size(); ++i) s[i + 1] = -groups[i].second;
    return s;
  }

  const bool flush = std::all_of(hand.begin(), hand.end(),
                                 [&](Card c) { return c.suit() == hand[0].suit(); });
  int straight_top = 0;
  if (groups.size() == 5) {
    std::array<int, 5> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    if (sorted[4] - sorted[0] == 4) straight_top = sorted[4];
    if (order == Order::High && sorted == std::array<int, 5>{2, 3, 4, 5, 14}) straight_top = 5;
    if (order == Order::ShortDeck && sorted == std::array<int, 5>{6, 7, 8, 9, 14})
      straight_top = 9;
  }
  const bool short_deck = order == Order::ShortDeck;
  const int first = groups[0].first, second = groups.size() > 1 ? groups[1].first : 0;
  if (straight_top && flush) s[0] = 8;
  else if (first == 4) s[0] = 7;
  else if (first == 3 && second == 2) s[0] = short_deck ? 5 : 6;
  else if (flush) s[0] = short_deck ? 6 : 5;
  else if (straight_top) s[0] = 4;
  else if (first == 3) s[0] = 3;
  else if (first == 2 && second == 2) s[0] = 2;
  else if (first == 2) s[0] = 1;
  if (straight_top) {
    s[1] = straight_top;
  } else {
    for (std::size_t i = 0; i < groups.size(); ++i) s[i + 1] = groups[i].second;
  }
  return s;
}

// Every five-card hand with its reference class under one order.
struct Reference {
  std::vector<std::array<Card, 5>> hands;
  std::vector<unsigned> classes;
  std::size_t class_count = 0;
};

Reference reference(Order order) {
  Reference ref;
  std::vector<Strength> strengths;
  std::array<Card, 5> h{};
  for (unsigned a = 0; a < 52; ++a)
    for (unsigned b = a + 1; b < 52; ++b)
      for (unsigned c = b + 1; c < 52; ++c)
        for (unsigned d = c + 1; d < 52; ++d)
          for (unsigned e = d + 1; e < 52; ++e) {
            h = {Card(a), Card(b), Card(c), Card(d), Card(e)};
            ref.hands.push_back(h);
            strengths.push_back(strength(h, order));
          }
  std::vector<Strength> distinct = strengths;
  std::sort(distinct.begin(), distinct.end(), std::greater<>());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  ref.class_count = distinct.size();
  for (const Strength& s : strengths)
    ref.classes.push_back(static_cast<unsigned>(
        std::lower_bound(distinct.begin(), distinct.end(), s, std::greater<>()) -
        distinct.begin()));
  return ref;
}

void expect_matches_reference(const Ranking& ranking, Order order, bool inverted,
                              std::size_t classes) {
  const Reference ref = reference(order);
  ASSERT_EQ(ref.hands.size(), 2598960u);
  ASSERT_EQ(ref.class_count, classes);
  std::size_t disagreements = 0;
  for (std::size_t i = 0; i < ref.hands.size(); ++i) {
    const unsigned expected = inverted ? classes - 1 - ref.classes[i] : ref.classes[i];
    if (score(ref.hands[i], ranking) != expected && ++disagreements < 5)
      ADD_FAILURE() << Card(ref.hands[i][0].index()).text() << ref.hands[i][1].text()
                    << ref.hands[i][2].text() << ref.hands[i][3].text() << ref.hands[i][4].text()
                    << " scores " << score(ref.hands[i], ranking) << ", expected " << expected;
  }
  EXPECT_EQ(disagreements, 0u);
}

TEST(Rankings, EveryFiveCardHandMatchesTheReference) {
  expect_matches_reference(HIGH_RANKING, Order::High, false, 7462);
  expect_matches_reference(SHORT_DECK_RANKING, Order::ShortDeck, false, 7460);
  expect_matches_reference(DEUCE_SEVEN_RANKING, Order::NoWheel, true, 7462);
  expect_matches_reference(ACE_FIVE_RANKING, Order::AceFive, false, 6175);
}

TEST(Rankings, HighClasses) {
  const std::pair<const char*, unsigned> expected[] = {
      {"AsKsQsJsTs", 0},    {"5s4s3s2sAs", 9},       {"AsAhAdAcKs", 10},   {"2s2h2d2c3s", 165},
      {"AsAhAdKcKs", 166},  {"2s2h2dAcAs", 310},     {"AsKsQsJs9s", 322},  {"7s5s4s3s2s", 1598},
      {"AsKhQdJcTs", 1599}, {"5s4h3d2cAs", 1608},    {"AsAhAdKcQs", 1609}, {"AsAhKdKcQs", 2467},
      {"AsAhKdQcJs", 3325}, {"AsKhQdJc9s", 6185},    {"7s5h4d3c2s", 7461}, {"AsKsQsJsTs2c3d", 0},
      {"AsKsQsJsTs9s8s", 0}, {"AhAdAcAsKhKdKc", 10},
  };
  for (auto [hand, value] : expected) EXPECT_EQ(score_of(hand, HIGH_RANKING), value) << hand;
}

TEST(Rankings, ShortDeckClasses) {
  const std::pair<const char*, unsigned> expected[] = {
      {"AsKsQsJsTs", 0},    {"9s8s7s6sAs", 5},    {"AsAhAdAcKs", 9},    {"AsKsQsJs9s", 165},
      {"AsAhAdKcKs", 1442}, {"AsKhQdJcTs", 1598}, {"9h8d7c6sAs", 1603}, {"AsAhAdKcQs", 1607},
      {"5s4h3d2cAs", 6675},
  };
  for (auto [hand, value] : expected) EXPECT_EQ(score_of(hand, SHORT_DECK_RANKING), value) << hand;
}

TEST(Rankings, DeuceSevenClasses) {
  const std::pair<const char*, unsigned> expected[] = {
      {"7s5h4d3c2s", 0},    {"8s6h4d3c2s", 5},      {"AsKhQdJc9s", 1277},
      {"5s4h3d2cAs", 784},  {"7s6h5d4c3s", 5855},   {"2s3s4s5s7s", 5863},
      {"AsKsQsJsTs", 7461}, {"7s5h4d3c2s2d", 1284}, {"AsKsQsJsTs2c3d", 7461},
  };
  for (auto [hand, value] : expected) EXPECT_EQ(score_of(hand, DEUCE_SEVEN_RANKING), value) << hand;
}

TEST(Rankings, AceFiveClasses) {
  const std::pair<const char*, unsigned> expected[] = {
      {"5s4h3d2cAs", 0},    {"5s4s3s2sAs", 0},    {"6s4h3d2cAs", 1},    {"7s5h4d3c2s", 10},
      {"8s7h6d5c4s", 55},   {"9s4h3d2cAs", 56},   {"KsQhJdTc9s", 1286}, {"AsAh2d3c4s", 1287},
      {"2s2h3d3c4s", 4170}, {"KsKhKdKcQs", 6174}, {"AsAd2c3h4s5d9c", 0},
  };
  for (auto [hand, value] : expected) EXPECT_EQ(score_of(hand, ACE_FIVE_RANKING), value) << hand;
}

TEST(Rankings, CountsOutsideFiveToSevenGiveNoEntry) {
  for (const Ranking* r : {&HIGH_RANKING, &SHORT_DECK_RANKING, &DEUCE_SEVEN_RANKING, &ACE_FIVE_RANKING}) {
    EXPECT_EQ(score_of("AsKsQsJs", *r), NO_ENTRY);
    EXPECT_EQ(score_of("AsKsQsJsTs9s8s7s", *r), NO_ENTRY);
    EXPECT_EQ(score_of("", *r), NO_ENTRY);
  }
}

TEST(Rankings, TablesHaveTheDocumentedShape) {
  for (const Ranking* r : {&HIGH_RANKING, &SHORT_DECK_RANKING, &DEUCE_SEVEN_RANKING, &ACE_FIVE_RANKING}) {
    const auto occupied =
        std::count_if(r->values, r->values + VALUE_TABLE_SIZE, [](auto v) { return v != NO_ENTRY; });
    EXPECT_EQ(occupied, 73775);
  }
  EXPECT_EQ(ACE_FIVE_RANKING.flushes, nullptr);
  for (const Ranking* r : {&HIGH_RANKING, &SHORT_DECK_RANKING, &DEUCE_SEVEN_RANKING})
    for (unsigned mask = 0; mask < FLUSH_TABLE_SIZE; ++mask)
      ASSERT_EQ(r->flushes[mask] == NO_ENTRY, std::popcount(mask) < 5) << mask;
}

// Six and seven cards: the best five-card subset (the worst for deuce-to-seven),
// in any card order.
TEST(Rankings, SixAndSevenCardsScoreTheirBestSubset) {
  std::mt19937_64 rng(20240611);
  std::array<Card, 52> deck{};
  for (unsigned i = 0; i < 52; ++i) deck[i] = Card(i);
  const Ranking* rankings[] = {&HIGH_RANKING, &SHORT_DECK_RANKING, &DEUCE_SEVEN_RANKING,
                               &ACE_FIVE_RANKING};
  for (int trial = 0; trial < 200000; ++trial) {
    const std::size_t n = 6 + trial % 2;
    for (std::size_t i = 0; i < n; ++i) std::swap(deck[i], deck[i + rng() % (52 - i)]);
    const std::span<const Card> hand(deck.data(), n);
    for (std::size_t k = 0; k < 4; ++k) {
      const bool worst = k == 2;
      unsigned expected = worst ? 0 : NO_ENTRY;
      for (unsigned pick = 0; pick < (1u << n); ++pick) {
        if (std::popcount(pick) != 5) continue;
        std::array<Card, 5> five{};
        std::size_t m = 0;
        for (std::size_t i = 0; i < n; ++i)
          if ((pick >> i) & 1u) five[m++] = hand[i];
        const unsigned s = score(five, *rankings[k]);
        expected = worst ? std::max(expected, s) : std::min(expected, s);
      }
      ASSERT_EQ(score(hand, *rankings[k]), expected) << "ranking " << k << " trial " << trial;
    }
  }
}

TEST(Rankings, PartsScoreTheirFiveCards) {
  std::mt19937_64 rng(7);
  std::array<Card, 52> deck{};
  for (unsigned i = 0; i < 52; ++i) deck[i] = Card(i);
  for (int trial = 0; trial < 200000; ++trial) {
    // Flushes are rare at random; bias half the trials towards one suit.
    for (std::size_t i = 0; i < 5; ++i) std::swap(deck[i], deck[i + rng() % (52 - i)]);
    std::array<Card, 5> h{deck[0], deck[1], deck[2], deck[3], deck[4]};
    if (trial % 2) {
      std::array<unsigned, 13> ranks{};
      for (unsigned r = 0; r < 13; ++r) ranks[r] = r;
      std::shuffle(ranks.begin(), ranks.end(), rng);
      for (std::size_t i = 0; i < 5; ++i) h[i] = Card::of(ranks[i], 2);
    }
    const CardPart pair = CardPart::of(h[0], h[1]);
    const CardPart triple = CardPart::of(h[2], h[3], h[4]);
    ASSERT_EQ(high_score_from_parts(pair, triple), score(h, HIGH_RANKING));
    ASSERT_EQ(low_score_from_parts(pair, triple), score(h, ACE_FIVE_RANKING));
  }
}

}  // namespace
}  // namespace vantor
