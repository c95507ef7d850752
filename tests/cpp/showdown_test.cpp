// The showdown of one deal, the packed board scorer and the outcome tally.
#include "odds/showdown.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

#include "odds/result.h"

namespace vantor {
namespace {

std::vector<Card> cards(std::string_view text) { return Card::parse_field(text).value(); }

struct Deal {
  std::vector<std::vector<Card>> holes;
  std::vector<Card> board;
  auto hole() const {
    return [this](std::size_t i) { return std::span<const Card>(holes[i]); };
  }
};

template <class V>
ChunkResult play(const Deal& deal) {
  Showdown<V> showdown(deal.holes.size());
  ChunkResult result = ChunkResult::empty(deal.holes.size());
  EXPECT_TRUE(showdown.play(deal.hole(), deal.board, result, 1.0).has_value());
  return result;
}

TEST(Showdown, BoardStraightFlushSplitsThePot) {
  const Deal deal{{cards("AhAd"), cards("KhKd")}, cards("2c3c4c5c6c")};
  const ChunkResult r = play<Holdem>(deal);
  EXPECT_DOUBLE_EQ(r.share_sum[0], 0.5);
  EXPECT_DOUBLE_EQ(r.share_sum[1], 0.5);
  EXPECT_DOUBLE_EQ(r.tie_count[0], 1.0);
  EXPECT_DOUBLE_EQ(r.win_count[0], 0.0);
  Showdown<Holdem> showdown(2);
  EXPECT_EQ(showdown.winners(deal.hole(), deal.board).value(), 0b11u);
}

TEST(Showdown, ThreeWayTieAndUncontestedWinner) {
  const Deal tie{{cards("2h3d"), cards("2s3h"), cards("2d3s")}, cards("AcKcQdJdTh")};
  ChunkResult r = play<Holdem>(tie);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(r.share_sum[i], 1.0 / 3);

  const Deal win{{cards("AhAd"), cards("KhKd"), cards("8s7d")}, cards("Ac9s5d4h3c")};
  r = play<Holdem>(win);
  EXPECT_EQ(r.share_sum, (std::vector<double>{1.0, 0.0, 0.0}));
  EXPECT_EQ(r.low_share_sum, (std::vector<double>{0.0, 0.0, 0.0}));
}

TEST(Showdown, HiLoAwardSplitsAndQuarters) {
  // Both lows are 8-4-3-2-A; seat 0 also holds the high with three kings.
  Deal deal{{cards("As2sKdKc"), cards("Ad2d9c9h")}, cards("3c4d8hKhQs")};
  Showdown<OmahaHiLo> showdown(2);
  ChunkResult r = ChunkResult::empty(2);
  ASSERT_TRUE(showdown.play(deal.hole(), deal.board, r, 1.0).has_value());
  EXPECT_DOUBLE_EQ(r.share_sum[0], 0.75);
  EXPECT_DOUBLE_EQ(r.share_sum[1], 0.25);
  EXPECT_DOUBLE_EQ(r.low_share_sum[0], 0.25);
  EXPECT_DOUBLE_EQ(r.low_share_sum[1], 0.25);

  // No three cards of eight or lower: the high takes everything.
  deal = {{cards("As2s9d9c"), cards("KsKd7c8c")}, cards("KcQdJh9s9h")};
  r = ChunkResult::empty(2);
  ASSERT_TRUE(showdown.play(deal.hole(), deal.board, r, 1.0).has_value());
  EXPECT_DOUBLE_EQ(r.share_sum[0], 1.0);
  EXPECT_DOUBLE_EQ(r.scoop_count[0], 1.0);
  EXPECT_DOUBLE_EQ(r.low_share_sum[0], 0.0);
}

TEST(Showdown, DrawGameScoresTheHoleCardsAlone) {
  const Deal deal{{cards("7s5h4d3c2s"), cards("8s6h4h3d2d")}, {}};
  const ChunkResult r = play<DeuceSeven>(deal);
  EXPECT_DOUBLE_EQ(r.share_sum[0], 1.0);
  EXPECT_DOUBLE_EQ(r.share_sum[1], 0.0);
}

TEST(Showdown, HandLongerThanItsBufferIsAnError) {
  const Deal deal{{cards("AhAdKc"), cards("KhKd")}, cards("2c3c4c5c6c")};
  Showdown<Holdem> showdown(2);
  ChunkResult r = ChunkResult::empty(2);
  const Outcome played = showdown.play(deal.hole(), deal.board, r, 1.0);
  ASSERT_FALSE(played.has_value());
  EXPECT_EQ(played.error().text(), "Too many cards in Vec: 8");
  EXPECT_EQ(showdown.winners(deal.hole(), deal.board).error().text(), "Too many cards in Vec: 8");
  EXPECT_EQ(r.samples, 0u);
}

// The packed path (board summed once, hole cards added) must agree with the
// variant's own score on every seat of random deals, short deck included.
template <class V>
void packed_agrees_with_score(unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<Card> deck = V::DECK.to_vector();
  for (int round = 0; round < 20000; ++round) {
    std::shuffle(deck.begin(), deck.end(), gen);
    const std::size_t seats = 2 + round % 5;
    Deal deal;
    deal.board.assign(deck.begin(), deck.begin() + 5);
    for (std::size_t i = 0; i < seats; ++i)
      deal.holes.emplace_back(deck.begin() + 5 + 2 * i, deck.begin() + 7 + 2 * i);
    SeatMask expected = 0;
    std::uint32_t best = ~0u;
    for (std::size_t i = 0; i < seats; ++i) {
      std::vector<Card> hand = deal.holes[i];
      hand.insert(hand.end(), deal.board.begin(), deal.board.end());
      const std::uint32_t s = V::score(hand);
      if (s < best) best = s, expected = SeatMask{1} << i;
      else if (s == best) expected |= SeatMask{1} << i;
    }
    Showdown<V> showdown(seats);
    ASSERT_EQ(showdown.winners(deal.hole(), deal.board).value(), expected) << round;
  }
}

TEST(Showdown, PackedBoardScoreMatchesTheScorer) {
  packed_agrees_with_score<Holdem>(1);
  packed_agrees_with_score<ShortDeck>(2);
}

TEST(OutcomeTally, EqualsRecordingDealsOneByOne) {
  for (std::size_t seats : {2u, 3u, 12u}) {  // 12 seats use the hashed table
    ChunkResult direct = ChunkResult::empty(seats), tallied = ChunkResult::empty(seats);
    OutcomeTally tally(seats);
    std::mt19937 gen(7);
    std::vector<double> shares(seats), lows(seats, 0.0);
    for (int d = 0; d < 5000; ++d) {
      SeatMask winners = 0;
      while (winners == 0) winners = gen() & ((1u << seats) - 1) & (d % 3 == 0 ? ~0u : 0x7u);
      std::fill(shares.begin(), shares.end(), 0.0);
      default_award(winners, shares);
      direct.record_weighted(shares, lows, 1.0);
      tally.add(winners);
      if (tally.wants_flush()) tally.flush_into(tallied);
    }
    tally.flush_into(tallied);
    EXPECT_EQ(tallied.samples, direct.samples);
    EXPECT_EQ(tallied.weight_sum, direct.weight_sum);
    EXPECT_EQ(tallied.weight_square_sum, direct.weight_square_sum);
    for (std::size_t j = 0; j < seats; ++j) {
      EXPECT_NEAR(tallied.share_sum[j], direct.share_sum[j], 1e-9);
      EXPECT_NEAR(tallied.share_square_sum[j], direct.share_square_sum[j], 1e-9);
      EXPECT_EQ(tallied.win_count[j], direct.win_count[j]);
      EXPECT_EQ(tallied.tie_count[j], direct.tie_count[j]);
      EXPECT_EQ(tallied.high_win_count[j], direct.high_win_count[j]);
      EXPECT_EQ(tallied.high_tie_count[j], direct.high_tie_count[j]);
    }
  }
}

}  // namespace
}  // namespace vantor
