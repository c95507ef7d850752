// The exact walk: deal counts, budget and limits, and published equities.
#include "odds/exact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "odds/request.h"
#include "odds/walk.h"
#include "test_support.h"

namespace vantor {
namespace {

using namespace vantor::test_support;

template <class V>
std::optional<ChunkResult> exact(std::vector<std::string_view> hands, std::string_view board = "",
                                 std::string_view dead = "") {
  const EquityRequest<V> request = request_of<V>(hands, board, dead);
  auto result = run_exact(request);
  EXPECT_TRUE(result.has_value());
  return *std::move(result);
}

Card card(std::string_view text) { return Card::parse_field(text).value()[0]; }

TEST(Exact, PreflopWalksEveryBoard) {
  const auto r = exact<Holdem>({"AhKh", "QsQd"});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->samples, 1'712'304u);
  EXPECT_TRUE(r->exact);
  EXPECT_EQ(r->attempts, 0u);
  EXPECT_DOUBLE_EQ(r->weight_sum, 1'712'304.0);
  EXPECT_DOUBLE_EQ(r->weight_square_sum, 1'712'304.0);
  const auto eq = r->equities();
  EXPECT_NEAR(eq[0].equity + eq[1].equity, 1.0, 1e-12);
  EXPECT_EQ(eq[0].std_error, 0.0);
  // Every deal is counted once as a win or a tie of each seat.
  EXPECT_DOUBLE_EQ(r->win_count[0] + r->win_count[1] + r->tie_count[0], 1'712'304.0);
}

TEST(Exact, CompleteBoardIsOneShowdown) {
  const auto r = exact<Holdem>({"AhAd", "KhKd"}, "2c3c4c5c6c");
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->samples, 1u);
  EXPECT_DOUBLE_EQ(r->share_sum[0], 0.5);
  EXPECT_DOUBLE_EQ(r->share_sum[1], 0.5);
}

// Both seats: any ace, then any king. Of the 16 x 16 holding pairs only those
// sharing no card are walked.
TEST(Exact, OverlappingHoldingsAreSkipped) {
  const HandSpec ak{{Holding{CardSet::rank(12), CardSet::rank(11)}}};
  const std::vector<HandSpec> seats{ak, ak};
  std::vector<CardSet> board;
  const std::vector<Card> named = Card::parse_field("2c3d4h5s7c").value();
  for (Card c : named) board.push_back(CardSet::single(c));
  auto request = EquityRequest<Holdem>::from_masks(seats, board, CardSet());
  ASSERT_TRUE(request.has_value());
  auto r = run_exact(*request);
  ASSERT_TRUE(r.has_value() && r->has_value());
  EXPECT_EQ((*r)->samples, 144u);
  // Same ranks everywhere: every deal ties.
  EXPECT_DOUBLE_EQ((*r)->tie_count[0], 144.0);

  // Without the board the seat product (256) passes but the boards do not.
  request = EquityRequest<Holdem>::from_masks(seats, {}, CardSet());
  ASSERT_TRUE(request.has_value());
  r = run_exact(*request);
  ASSERT_TRUE(r.has_value());
  EXPECT_FALSE(r->has_value());
}

TEST(Exact, LimitsAnswerNone) {
  // 1326^3 holding combinations: refused before any showdown.
  EXPECT_FALSE(exact<Holdem>({"**", "**", "**"}).has_value());
  // 1326^2 combinations, each with C(48,5) boards: the budget runs out.
  EXPECT_FALSE(exact<Holdem>({"**", "**"}).has_value());
  // One six-card Omaha alternative alone lists C(52,6) = 20,358,520 sets.
  EXPECT_FALSE(exact<OmahaSix>({"******", "AhAdKhKdQsQc"}, "2c3c4c").has_value());
  // The same ranges on the river are small enough.
  const auto river = exact<Holdem>({"**", "AhAd"}, "2c3c4c5c7d");
  ASSERT_TRUE(river.has_value());
  EXPECT_EQ(river->samples, 990u);  // C(45, 2) holdings of the random seat
}

TEST(Exact, LeafBoardsAgainstTheBudget) {
  const EquityRequest<Holdem> request = request_of<Holdem>({"AhKh", "QsQd"}, "Kd7c2h");
  std::vector<CardLists> lists;
  for (const RequestEntry& seat : request.seats)
    lists.push_back(*seat.samplers[0].all_sets(request.live, 10));
  // C(45, 2) turn and river cards; the whole walk counts them up front, the
  // seat walk alone meets them at the leaf.
  for (bool whole : {true, false})
    for (std::uint64_t budget : {990u, 989u}) {
      ChunkResult result = ChunkResult::empty(2);
      Walk<Holdem> walk(request, lists, result, budget, nullptr);
      const Result<bool> done = whole ? walk.run(request.live) : walk.walk_seats(0, request.live);
      ASSERT_TRUE(done.has_value());
      EXPECT_EQ(*done, budget == 990u);
      EXPECT_EQ(walk.budget(), budget == 990u ? 0u : 989u);
      if (whole) {
        EXPECT_EQ(result.samples, budget == 990u ? 990u : 0u);
      }
    }
}

// A walk over the request's own lists, by suit classes or one board at a time.
template <class V>
ChunkResult walked(const EquityRequest<V>& request, bool symmetric) {
  std::vector<CardLists> lists;
  for (std::size_t i = 0; i < request.seat_count; ++i)
    lists.push_back(*detail::seat_list(request, i, 0, WALK_LIMIT, nullptr));
  ChunkResult result = ChunkResult::empty(request.seat_count);
  Walk<V> walk(request, lists, result, WALK_LIMIT, nullptr);
  if (!symmetric) walk.one_board_at_a_time();
  EXPECT_TRUE(walk.run(request.live).value());
  return result;
}

template <class V>
void expect_symmetric_walk_exact(std::vector<std::string_view> hands, std::string_view board,
                                 std::string_view dead = "") {
  SCOPED_TRACE(std::string(V::KEY) + " " + std::string(board) + " / " + std::string(dead));
  const EquityRequest<V> request = request_of<V>(hands, board, dead);
  const ChunkResult fast = walked(request, true), slow = walked(request, false);
  EXPECT_EQ(fast.samples, slow.samples);
  EXPECT_EQ(fast.weight_sum, slow.weight_sum);
  for (auto field : {&ChunkResult::share_sum, &ChunkResult::share_square_sum,
                     &ChunkResult::square_weight_share_sum, &ChunkResult::win_count,
                     &ChunkResult::tie_count, &ChunkResult::scoop_count, &ChunkResult::low_share_sum,
                     &ChunkResult::high_win_count, &ChunkResult::high_tie_count,
                     &ChunkResult::low_win_count, &ChunkResult::low_tie_count})
    for (std::size_t j = 0; j < request.seat_count; ++j)
      EXPECT_NEAR((fast.*field)[j], (slow.*field)[j], 1e-12 * std::abs((slow.*field)[j]));
}

// Boards counted by suit classes (and leaves by their class) give exactly
// what walking every board gives, whatever tells the suits apart.
TEST(Exact, SymmetricWalkEqualsOneByOne) {
  expect_symmetric_walk_exact<Holdem>({"AhKh", "QsQd"}, "");
  expect_symmetric_walk_exact<Holdem>({"AhAd", "KsKc", "QhQd"}, "");
  expect_symmetric_walk_exact<Holdem>({"QQ", "87s"}, "9d", "2c");
  expect_symmetric_walk_exact<Holdem>({"AKs,TT", "7h6h", "JJ"}, "Kh9h");
  expect_symmetric_walk_exact<Holdem>({"A*", "22"}, "3c4c5c");
  expect_symmetric_walk_exact<ShortDeck>({"AhKh", "QQ", "JcTc"}, "", "6s");
  // A flush made before the last cards, and more seats than outcomes are kept for.
  expect_symmetric_walk_exact<Holdem>({"AhKh", "QsQd", "**"}, "2h3h4h");
  expect_symmetric_walk_exact<Holdem>({"AsKs", "AdKd", "QhJh", "Tc9c", "8s7s", "6d5d", "4h3h", "2c2d",
                                       "9h8h", "7c6c", "5s4s"},
                                      "Ts", "Jd");
  expect_symmetric_walk_exact<Omaha>({"AhKhAdKd", "QsJsQcJc"}, "2h2d");
  expect_symmetric_walk_exact<OmahaHiLo>({"Ah2hAd2d", "KsQsKcQc"}, "7h7d");
  expect_symmetric_walk_exact<CourchevelHiLo>({"Ah2hAd2d7c", "KsQsKcQc8s"}, "5h5d");
}

// Seats scored apart (holdings without a board, hole pairs against tabled
// board triples) give what every deal's showdown gives.
TEST(Exact, ScoredWalkEqualsOneByOne) {
  expect_symmetric_walk_exact<OmahaFive>({"AhKhQd2c3c", "JsJdTs9d8d", "7h7c6h5h4s"}, "Ks");
  expect_symmetric_walk_exact<OmahaSix>({"AhKhQd2c3c4c", "JsJdTs9d8d7d"}, "KsQs");
  expect_symmetric_walk_exact<OmahaFiveHiLo>({"As2s3dKc4c", "AdKd7c8c9h", "2h3h6c6dTs"}, "5h", "Jd");
  expect_symmetric_walk_exact<OmahaHiLo>({"As2s3dKc", "AdKd7s*"}, "4h7c8d");
  expect_symmetric_walk_exact<OmahaHiLo>({"As2s3dKc", "AdKd**"}, "4h7c8d9s");
  expect_symmetric_walk_exact<Omaha>({"AhKhQd2c", "JsJdTs*", "7c7d6c*"}, "Ks7h2h5s9d");
  expect_symmetric_walk_exact<Courchevel>({"AhKhQd2c3c", "JsJdTs9d8d"}, "Ks");
  expect_symmetric_walk_exact<Razz>({"As2d3c7h8s", "4h5s6dKcQd"}, "");
  expect_symmetric_walk_exact<StudHiLo>({"As2d3c7h8s9c", "4h5s6dKcQdQh", "KhKd9dTcJs2h"}, "");
  expect_symmetric_walk_exact<Stud>({"AhAd2c3s4h5h", "KsKd5c6s7s8s", "9h9dTcJsQh2d"}, "", "3h");
  expect_symmetric_walk_exact<DeuceSeven>({"7s5h4d3c", "8s6h4h2d", "2c9d8d7d"}, "");
  expect_symmetric_walk_exact<FiveCardDraw>({"AsAdKcQd", "QhQcJhJd", "7c7d7h6c"}, "");
  expect_symmetric_walk_exact<Badugi>({"As2d3h", "KcQd"}, "");
}

// Random hold'em and short deck spots after the flop or the turn: shuffled
// named hands, a hand with one open card, dead cards, two to five seats.
TEST(Exact, RankGroupedBoardsEqualOneByOneOnRandomSpots) {
  std::mt19937 rng(12);
  const std::string ranks = "23456789TJQKA", suits = "cdhs";
  for (int spot = 0; spot < 24; ++spot) {
    const bool short_deck = spot % 3 == 0;
    std::vector<std::string> deck;
    for (std::size_t r = short_deck ? 4 : 0; r < ranks.size(); ++r)
      for (char s : suits) deck.push_back(std::string{ranks[r], s});
    std::shuffle(deck.begin(), deck.end(), rng);
    std::size_t at = 0;
    std::vector<std::string> hands(2 + rng() % 4);
    for (std::size_t i = 0; i < hands.size(); ++i) {
      hands[i] = deck[at++];
      hands[i] += i == 1 && spot % 2 == 0 ? "*" : deck[at++];
    }
    std::string board, dead;
    for (std::size_t k = 3 + spot % 2; k > 0; --k) board += deck[at++];
    for (std::size_t k = rng() % 3; k > 0; --k) dead += deck[at++];
    const std::vector<std::string_view> views(hands.begin(), hands.end());
    if (short_deck)
      expect_symmetric_walk_exact<ShortDeck>(views, board, dead);
    else
      expect_symmetric_walk_exact<Holdem>(views, board, dead);
  }
}

// The widest seat's holdings grouped by their cards of flush-free suits
// read by rank: rainbow and two-tone turns, a flop where only some holdings
// leave a suit free, a river, a range in front or behind, a seat taking a
// named board card, short deck, and more seats than outcomes are kept for.
TEST(Exact, HoldingsGroupedByFlushFreeSuitsEqualOneByOne) {
  expect_symmetric_walk_exact<Holdem>({"AhKh", "**"}, "Kd7c2h5s");
  expect_symmetric_walk_exact<Holdem>({"AhKh", "**"}, "Kd7h2h5s", "9c");
  expect_symmetric_walk_exact<Holdem>({"AKs,QQ", "**"}, "Kd7c2h5s");
  expect_symmetric_walk_exact<Holdem>({"QsJs", "TT+,A5s"}, "Kd7c2h");
  expect_symmetric_walk_exact<Holdem>({"**", "AhKh"}, "Qh7h2c5s");
  expect_symmetric_walk_exact<Holdem>({"AhKh", "**"}, "Kd7h2h5s9h");
  expect_symmetric_walk_exact<Holdem>({"QsQd", "**", "AKs"}, "Kd7c2h5s");
  expect_symmetric_walk_exact<Holdem>({"Kd*", "K*"}, "Kc7c2h5s");
  expect_symmetric_walk_exact<ShortDeck>({"AhKh", "QsQd", "**"}, "Kd7c6h");
  expect_symmetric_walk_exact<Holdem>({"AsKs", "AdKd", "QhJh", "Tc9c", "8s7s", "6d5d", "4h3h", "2c2d",
                                       "9h8h", "7c6c", "**"},
                                      "Ts3c8d7h");

  // Every grouped deal still spends the budget: C(46, 2) holdings of the
  // random seat, 44 rivers each.
  const EquityRequest<Holdem> request = request_of<Holdem>({"AhKh", "**"}, "Kd7c2h5s");
  const std::vector<CardLists> lists{*request.seats[0].samplers[0].all_sets(request.live, 10),
                                     *request.seats[1].samplers[0].all_sets(request.live, 2000)};
  for (std::uint64_t budget : {45'545u, 45'539u}) {
    ChunkResult result = ChunkResult::empty(2);
    Walk<Holdem> walk(request, lists, result, budget, nullptr);
    EXPECT_EQ(walk.run(request.live).value(), budget > 45'540u);
    EXPECT_EQ(result.samples, budget > 45'540u ? 45'540u : 0u);
    EXPECT_EQ(walk.budget(), budget > 45'540u ? 5u : budget);
  }
}

TEST(Exact, HoldingRepeatingACardIsNeverDealt) {
  const EquityRequest<Holdem> request = request_of<Holdem>({"AhKh", "QsQd"}, "Kd7c2h5s9s");
  std::vector<CardLists> lists(2, CardLists(2));
  const std::vector<Card> ahkh{card("Ah"), card("Kh")}, twice{card("Ac"), card("Ac")},
      qsqd{card("Qs"), card("Qd")};
  lists[0].push_back(ahkh);
  lists[0].push_back(twice);
  lists[1].push_back(qsqd);
  ChunkResult result = ChunkResult::empty(2);
  Walk<Holdem> walk(request, lists, result, 100, nullptr);
  ASSERT_TRUE(walk.run(request.live).value());
  EXPECT_EQ(result.samples, 1u);
}

TEST(Exact, DrawGameDealsEachCombinationOnce) {
  const auto r = exact<DeuceSeven>({"7s5h4d3c2s", "8s6h4h3d"});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->samples, 43u);  // the open card of seat 1
  const auto lows = exact<Badugi>({"As2h3d", "Kc"});
  ASSERT_TRUE(lows.has_value());
  // Seat 0's open card is Kc in one holding, which leaves seat 1 nothing.
  EXPECT_EQ(lows->samples, 48u * 16'215u);
}

// A board slot that takes only some cards is listed by its sampler rather
// than walked as open combinations; both must count the same deals.
TEST(Exact, ConstrainedBoardSlotMatchesOpenBoards) {
  const HandSpec ak{{Holding{CardSet::single(card("Ah")), CardSet::single(card("Kh"))}}};
  const HandSpec qq{{Holding{CardSet::single(card("Qs")), CardSet::single(card("Qd"))}}};
  const std::vector<HandSpec> seats{ak, qq};
  const std::vector<CardSet> hearts{CardSet::single(card("Kd")), CardSet::single(card("7c")),
                                    CardSet::single(card("2h")), CardSet::full_deck(),
                                    CardSet::suit(2)};
  auto request = EquityRequest<Holdem>::from_masks(seats, hearts, CardSet());
  ASSERT_TRUE(request.has_value());
  auto constrained = run_exact(*request);
  ASSERT_TRUE(constrained.has_value() && constrained->has_value());
  // 10 hearts left for the river slot, 44 other cards for the turn, and the
  // pairs of two hearts counted once: 10 * 44 - C(10, 2).
  EXPECT_EQ((*constrained)->samples, 10u * 44u - 45u);

  // Sum of the open walks over each heart as river card, minus double counts,
  // is awkward; compare with the same deals enumerated by hand instead.
  double share0 = 0;
  std::uint64_t deals = 0;
  const CardSet used = CardSet::single(card("Ah")) | CardSet::single(card("Kh")) |
                       CardSet::single(card("Qs")) | CardSet::single(card("Qd")) |
                       CardSet::single(card("Kd")) | CardSet::single(card("7c")) |
                       CardSet::single(card("2h"));
  const CardSet rest = CardSet::full_deck() - used;
  for (Card a : rest)
    for (Card b : rest) {
      if (b.index() <= a.index()) continue;
      if (a.suit() != 2 && b.suit() != 2) continue;
      std::vector<Card> h0{card("Ah"), card("Kh"), card("Kd"), card("7c"), card("2h"), a, b};
      std::vector<Card> h1{card("Qs"), card("Qd"), card("Kd"), card("7c"), card("2h"), a, b};
      const auto s0 = Holdem::score(h0), s1 = Holdem::score(h1);
      share0 += s0 < s1 ? 1.0 : s0 == s1 ? 0.5 : 0.0;
      ++deals;
    }
  EXPECT_EQ((*constrained)->samples, deals);
  EXPECT_NEAR((*constrained)->share_sum[0], share0, 1e-9);
}

// Published: AA against KK preflop over every combination of suits wins
// 50,371,344, loses 10,986,372 and ties 285,228 of 61,642,944 deals. The 36
// combinations are too many for one walk, so each is walked on its own.
TEST(Exact, AcesAgainstKingsPublishedCounts) {
  double wins = 0, losses = 0, ties = 0;
  const char* suits = "cdhs";
  for (int a = 0; a < 4; ++a)
    for (int b = a + 1; b < 4; ++b)
      for (int c = 0; c < 4; ++c)
        for (int d = c + 1; d < 4; ++d) {
          const std::string aces = std::string("A") + suits[a] + "A" + suits[b];
          const std::string kings = std::string("K") + suits[c] + "K" + suits[d];
          const auto r = exact<Holdem>({aces, kings});
          ASSERT_TRUE(r.has_value());
          wins += r->win_count[0];
          losses += r->win_count[1];
          ties += r->tie_count[0];
        }
  EXPECT_EQ(wins, 50'371'344.0);
  EXPECT_EQ(losses, 10'986'372.0);
  EXPECT_EQ(ties, 285'228.0);
}

// Published: QQ against 87s preflop, 78.2594% for the queens over 41,095,296
// deals (24 holding pairs of C(48,5) boards), one walk over both ranges.
TEST(Exact, QueensAgainstSuitedConnectorRange) {
  const auto r = exact<Holdem>({"QQ", "87s"});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->samples, 41'095'296u);
  EXPECT_NEAR(r->equities()[0].equity, 0.782594, 5e-7);
}

// Every combo of seat 1 shares a card with both combos of seat 0, though no
// card is common to all of either seat's holdings. With three seats of
// twelve private combos the spot is too wide for the search at setup, so
// only the walk finds that no deal fits, and it must say so rather than
// answer an empty result.
TEST(Exact, AWalkThatMeetsNoDealFails) {
  const auto combo = [](const std::string& text) {
    const std::vector<Card> cards = Card::parse_field(text).value();
    Holding h;
    for (Card c : cards) h.push_back(CardSet::single(c));
    return h;
  };
  std::vector<HandSpec> seats(5);
  for (int i = 0; i < 13; ++i) {
    seats[0].holdings.push_back(combo(i % 2 == 0 ? "AhKh" : "AdKd"));
    seats[1].holdings.push_back(combo(std::array{"AhAd", "KhKd", "AhKd", "KhAd"}[i % 4]));
  }
  const std::array<const char*, 3> ranks{"234", "567", "89T"};
  for (std::size_t s = 0; s < 3; ++s) {
    std::vector<std::string> cards;
    for (const char* r = ranks[s]; *r != '\0'; ++r)
      for (const char* suit : {"c", "d"}) cards.push_back(std::string(1, *r) + suit);
    for (std::size_t a = 0; a < cards.size(); ++a)
      for (std::size_t b = a + 1; b < cards.size() && seats[2 + s].holdings.size() < 12; ++b)
        seats[2 + s].holdings.push_back(combo(cards[a] + cards[b]));
  }
  const Holding board = combo("Jc Jd Jh Js 9h");
  const auto request = EquityRequest<Holdem>::from_masks(seats, board, CardSet());
  ASSERT_TRUE(request.has_value()) << request.error().text();
  const auto r = run_exact(*request);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().text(), "No deal can satisfy the hands, board and dead cards together");
}

TEST(Exact, StopFlagEndsTheWalk) {
  const EquityRequest<Holdem> request = request_of<Holdem>({"AhKh", "QsQd"});
  std::atomic<bool> stop{true};
  auto r = run_exact(request, &stop);
  ASSERT_TRUE(r.has_value());
  EXPECT_FALSE(r->has_value());
}

}  // namespace
}  // namespace vantor
