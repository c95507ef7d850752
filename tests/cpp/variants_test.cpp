#include "variants/variants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>
#include "test_support.h"

namespace vantor {
namespace {

using namespace vantor::test_support;

// One deal's pot shares for a list of hand buffers.
struct Award {
  std::vector<double> shares, low_shares;
};

template <class V>
Award award(std::initializer_list<std::string_view> texts) {
  std::vector<std::vector<Card>> buffers;
  for (auto t : texts) buffers.push_back(cards(t));
  std::vector<std::span<const Card>> hands(buffers.begin(), buffers.end());
  Award a{std::vector<double>(hands.size()), std::vector<double>(hands.size())};
  EXPECT_TRUE(V::award_detailed(hands, a.shares, a.low_shares).has_value());
  return a;
}

// The showdown of a single-winner game, as the engine runs it.
template <class V>
std::vector<double> default_shares(std::initializer_list<std::string_view> texts) {
  std::vector<std::vector<Card>> buffers;
  for (auto t : texts) buffers.push_back(cards(t));
  std::vector<std::span<const Card>> hands(buffers.begin(), buffers.end());
  std::vector<double> shares(hands.size());
  default_award(V::winning_seats(hands), shares);
  return shares;
}

TEST(Registry, RowsInOrder) {
  std::vector<std::string> keys;
  std::vector<unsigned> capacity;
  std::vector<bool> detailed;
  for_each_variant([&](auto v) {
    using V = typename decltype(v)::type;
    keys.emplace_back(V::KEY);
    capacity.push_back(V::CAPACITY);
    detailed.push_back(V::DETAILED_AWARD);
    EXPECT_EQ(V::DECK.count(), V::DECK_SIZE) << V::KEY;
    EXPECT_EQ(V::CAPACITY, V::HOLE_CARDS + V::BOARD_CARDS) << V::KEY;
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"holdem", "short_deck", "omaha", "omaha_five", "omaha_six",
                                            "omaha_hi_lo", "omaha_five_hi_lo", "courchevel",
                                            "courchevel_hi_lo", "stud", "stud_hi_lo", "razz",
                                            "deuce_seven", "five_card_draw", "badugi"}));
  EXPECT_EQ(capacity, (std::vector<unsigned>{7, 7, 9, 10, 11, 9, 10, 10, 10, 7, 7, 7, 5, 5, 4}));
  EXPECT_EQ(detailed, (std::vector<bool>{false, false, true, true, true, true, true, true, true, false,
                                         true, false, false, false, false}));
  EXPECT_EQ(ShortDeck::DECK.mask(), 4503599627304960ull);
  EXPECT_EQ(ShortDeck::LABEL, "Short Deck Hold'em (flush beats full house)");
  EXPECT_EQ(Badugi::LABEL, "Badugi (single draw)");
}

TEST(DefaultAward, TiesSplitEquallyAndLowSharesStayZero) {
  // A board straight neither seat improves.
  EXPECT_EQ(award<Holdem>({"2c3dAhKhQsJdTc", "2h3cAhKhQsJdTc"}).shares, (std::vector<double>{0.5, 0.5}));
  const Award three = award<Holdem>({"2c3dAhKhQsJdTc", "2h3cAhKhQsJdTc", "4h4cAhKhQsJdTc"});
  for (double s : three.shares) EXPECT_DOUBLE_EQ(s, 1.0 / 3);
  for (double s : three.low_shares) EXPECT_EQ(s, 0.0);
  EXPECT_EQ(award<Stud>({"AsKsQsJsTs2c3d", "AhAdAcAsKhKdKc"}).shares, (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(default_shares<FiveCardDraw>({"AsKsQsJsTs", "AhKhQhJhTh"}), (std::vector<double>{0.5, 0.5}));
  EXPECT_EQ(default_shares<DeuceSeven>({"7s5h4d3c2s", "8s6h4d3c2d"}), (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(default_shares<Badugi>({"As2h3d4c", "Ac2d3h4s"}), (std::vector<double>{0.5, 0.5}));
}

TEST(Omaha, ScoresTwoHoleAndThreeBoardCards) {
  const std::pair<const char*, std::uint32_t> expected[] = {
      {"AhKh2c3dQhJhTh", 0},        {"AhKhQhJhTh9h8h", 2},  {"AsAhKdKc2s3s4s5s9s", 3504},
      {"AsAh2s3sKsQsJs", 328},      {"2c3d4h5sAc6dKh", 6339}, {"AhKhQhJh", NO_HAND},
      {"AhKhQhJh2c", NO_HAND},      {"AhKhQhJh2c3d", NO_HAND}, {"Ah", NO_HAND},
  };
  for (auto [hand, value] : expected) EXPECT_EQ(Omaha::score(cards(hand)), value) << hand;
}

TEST(Omaha, TiedSeatsAmongFourSplitThePot) {
  // Seats 1 and 2 both make A-K-Q-J-T with different hole cards.
  const Award b = award<Omaha>({"AsTc7h7dKhQdJs4s2c", "AcTh8h8dKhQdJs4s2c", "2h2d5c6cKhQdJs4s2c",
                                "9c9h3c3hKhQdJs4s2c"});
  EXPECT_EQ(b.shares, (std::vector<double>{0.5, 0.5, 0.0, 0.0}));
}

// Omaha against brute force over every two-plus-three choice, high and low.
TEST(Omaha, MatchesBruteForceForEveryHoleAndBoardSize) {
  std::mt19937_64 rng(99);
  std::array<Card, 52> deck{};
  for (unsigned i = 0; i < 52; ++i) deck[i] = Card(i);
  for (int trial = 0; trial < 30000; ++trial) {
    const std::size_t hole_n = 4 + trial % 3, board_n = 3 + (trial / 3) % 3;
    for (std::size_t i = 0; i < hole_n + board_n; ++i) std::swap(deck[i], deck[i + rng() % (52 - i)]);
    const std::span<const Card> hole(deck.data(), hole_n), board(deck.data() + hole_n, board_n);
    std::uint32_t high = NO_HAND, low = NO_HAND;
    for (std::size_t a = 0; a < hole_n; ++a)
      for (std::size_t b = a + 1; b < hole_n; ++b)
        for (std::size_t c = 0; c < board_n; ++c)
          for (std::size_t d = c + 1; d < board_n; ++d)
            for (std::size_t e = d + 1; e < board_n; ++e) {
              const std::array<Card, 5> five{hole[a], hole[b], board[c], board[d], board[e]};
              high = std::min<std::uint32_t>(high, score(five, HIGH_RANKING));
              low = std::min<std::uint32_t>(low, score(five, ACE_FIVE_RANKING));
            }
    const BoardParts parts = BoardParts::of(board);
    ASSERT_EQ(best_score_against(hole, parts, detail::HIGH_FROM_PARTS), high) << trial;
    ASSERT_EQ(best_score_against(hole, parts, detail::LOW_FROM_PARTS), low) << trial;
    if (hole_n == 4) {
      ASSERT_EQ(Omaha::score(std::span<const Card>(deck.data(), 4 + board_n)), high);
    }
  }
}

TEST(HiLo, OmahaSplits) {
  Award a = award<OmahaHiLo>({"As2sKdKc3c4d8hKhQs", "Ad2d9c9h3c4d8hKhQs"});
  EXPECT_EQ(a.shares, (std::vector<double>{0.75, 0.25}));
  EXPECT_EQ(a.low_shares, (std::vector<double>{0.25, 0.25}));

  a = award<OmahaHiLo>({"As2s9d9c3c4d5hKhQs", "KsKd7c8c3c4d5hKhQs"});
  EXPECT_EQ(a.shares, (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(a.low_shares, (std::vector<double>{0.5, 0.0}));

  a = award<OmahaHiLo>({"As2s9d9cKcQdJh9s9h", "3h4h5c6cKcQdJh9s9h"});
  EXPECT_EQ(a.shares, (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(a.low_shares, (std::vector<double>{0.0, 0.0}));

  a = award<OmahaHiLo>({"As2s9d9c3c4d5hKhQs", "Ad2dKsKd3c4d5hKhQs", "3s3h7c8c3c4d5hKhQs"});
  EXPECT_EQ(a.shares, (std::vector<double>{0.5, 0.5, 0.0}));
  EXPECT_EQ(a.low_shares, (std::vector<double>{0.25, 0.25, 0.0}));
  EXPECT_EQ(OmahaHiLo::low_score(cards("3s3h7c8c3c4d5hKhQs")), 45u);
  EXPECT_EQ(OmahaHiLo::score(cards("As2s9d9c3c4d5hKhQs")), 1608u);

  // Five hole cards: the same rules over ten hole pairs.
  a = award<OmahaFiveHiLo>({"As2sKdKcJd3c4d8hKhQs", "Ad2d9c9hJc3c4d8hKhQs"});
  EXPECT_EQ(a.shares, (std::vector<double>{0.75, 0.25}));
}

TEST(HiLo, StudSplits) {
  EXPECT_EQ(StudHiLo::score(cards("Ah2h3h4h5h6c7c")), 9u);
  EXPECT_EQ(StudHiLo::low_score(cards("Ah2h3h4h5h6c7c")), 0u);
  EXPECT_EQ(StudHiLo::low_score(cards("As2d3c4h9s9dKc")), 56u);
  Award a = award<StudHiLo>({"Ah2h3h4h5h6c7c", "KsKdKcQhQdJsTs"});
  EXPECT_EQ(a.shares, (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(a.low_shares, (std::vector<double>{0.5, 0.0}));
  a = award<StudHiLo>({"As2d3c4h8sKdKc", "QsQdQcJhJs5d6c"});
  EXPECT_EQ(a.shares, (std::vector<double>{0.5, 0.5}));
  EXPECT_EQ(a.low_shares, (std::vector<double>{0.5, 0.0}));
  // No qualifying low: the high takes everything.
  a = award<StudHiLo>({"As2d3c4h9s9dKc", "QsQdQcJhJs5d6c"});
  EXPECT_EQ(a.shares, (std::vector<double>{0.0, 1.0}));
}

TEST(Razz, LowestHandWinsWithoutQualifier) {
  EXPECT_EQ(Razz::score(cards("7s6d5c4h3s2d2c")), 5u);
  EXPECT_EQ(default_shares<Razz>({"7s6d5c4h3s2d2c", "8s7h5d4c3h2h2s"}), (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(default_shares<Razz>({"KsKhQdQcJsJhJd", "KdKcQsQhTsTdTc"}), (std::vector<double>{0.0, 1.0}));
}

TEST(DeuceSeven, StraightsAndFlushesCountAgainst) {
  EXPECT_EQ(DeuceSeven::score(cards("7s5h4d3c2s")), 0u);
  EXPECT_EQ(DeuceSeven::score(cards("8s6h4d3c2s")), 5u);
  EXPECT_EQ(DeuceSeven::score(cards("5s4h3d2cAs")), 784u);
  EXPECT_LT(DeuceSeven::score(cards("5s4h3d2cAs")), DeuceSeven::score(cards("2s2h3d4c5s")));
  EXPECT_EQ(DeuceSeven::score(cards("7s6h5d4c3s")), 5855u);
  EXPECT_GT(DeuceSeven::score(cards("7s6h5d4c3s")), DeuceSeven::score(cards("AsAhAdKcQs")));
  EXPECT_EQ(FiveCardDraw::score(cards("AsKsQsJsTs")), 0u);
  EXPECT_EQ(Stud::score(cards("AsKsQsJsTs2c3d")), 0u);
}

// The subset walk exactly as documented: every subset of up to 31 cards.
std::uint32_t badugi_walk(std::span<const Card> hand) {
  std::uint32_t best = NO_HAND;
  const unsigned n = static_cast<unsigned>(hand.size());
  for (unsigned subset = 1; subset < (1u << n); ++subset) {
    std::vector<unsigned> values;
    unsigned suits = 0;
    bool badugi = true;
    for (unsigned i = 0; i < n; ++i) {
      if (((subset >> i) & 1u) == 0) continue;
      const unsigned v = hand[i].rank_value() == 14 ? 1 : hand[i].rank_value();
      if (std::find(values.begin(), values.end(), v) != values.end() || (suits >> hand[i].suit()) & 1u)
        badugi = false;
      values.push_back(v);
      suits |= 1u << hand[i].suit();
    }
    if (!badugi) continue;
    std::sort(values.rbegin(), values.rend());
    std::uint32_t s = (4 - static_cast<std::uint32_t>(values.size())) << 16;
    for (std::size_t i = 0; i < values.size(); ++i) s |= values[i] << (12 - 4 * i);
    best = std::min(best, s);
  }
  return best;
}

TEST(Badugi, Scores) {
  const std::pair<const char*, std::uint32_t> expected[] = {
      {"As2h3d4c", 17185}, {"4c3d2hAs", 17185}, {"As2h3d4c5s", 17185}, {"KsQhJdTc", 56506},
      {"As2s3h4d", 82704}, {"AsAh2d3c", 78352}, {"As2s3s4s", 200704}, {"Kc", 249856},
      {"", NO_HAND},
  };
  for (auto [hand, value] : expected) EXPECT_EQ(Badugi::score(cards(hand)), value) << hand;
  EXPECT_GT(Badugi::score(cards("As2c3dKh")), Badugi::score(cards("2s3c4dQh")));
}

TEST(Badugi, AnyNumberOfCardsMatchesTheSubsetWalk) {
  std::mt19937_64 rng(5);
  for (int trial = 0; trial < 6000; ++trial) {
    const std::size_t n = 1 + trial % 12;
    std::vector<Card> hand;
    // Draw with replacement so repeated cards are covered too.
    for (std::size_t i = 0; i < n; ++i) hand.push_back(Card(static_cast<unsigned>(rng() % 52)));
    ASSERT_EQ(Badugi::score(hand), badugi_walk(hand)) << trial;
  }
}

}  // namespace
}  // namespace vantor
