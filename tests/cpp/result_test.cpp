#include "odds/result.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

namespace vantor {
namespace {

using Shares = std::vector<double>;

void record(ChunkResult& r, Shares s, Shares l, double w = 1.0) { r.record_weighted(s, l, w); }

TEST(ChunkResult, EmptyGivesZeros) {
  const ChunkResult r = ChunkResult::empty(3);
  EXPECT_EQ(r.seat_count(), 3u);
  EXPECT_FALSE(r.exact);
  EXPECT_EQ(r.samples, 0u);
  EXPECT_EQ(r.attempts, 0u);
  for (const auto* v : {&r.share_sum, &r.share_square_sum, &r.square_weight_share_sum, &r.win_count,
                        &r.tie_count, &r.scoop_count, &r.low_share_sum, &r.high_win_count,
                        &r.high_tie_count, &r.low_win_count, &r.low_tie_count})
    EXPECT_EQ(*v, Shares(3, 0.0));
  const auto eq = r.equities();
  ASSERT_EQ(eq.size(), 3u);
  for (const PlayerEquity& p : eq)
    for (double x : {p.equity, p.win, p.tie, p.low_equity, p.scoop, p.high_win, p.high_tie, p.low_win,
                     p.low_tie, p.std_error})
      EXPECT_EQ(x, 0.0);
}

TEST(ChunkResult, OutrightWin) {
  ChunkResult r = ChunkResult::empty(2);
  record(r, {1, 0}, {0, 0});
  const auto eq = r.equities();
  EXPECT_EQ(eq[0].equity, 1.0);
  EXPECT_EQ(eq[0].win, 1.0);
  EXPECT_EQ(eq[0].scoop, 1.0);
  EXPECT_EQ(eq[0].high_win, 1.0);
  EXPECT_EQ(eq[0].tie, 0.0);
  EXPECT_EQ(eq[0].std_error, 0.0);  // fewer than two samples
  for (double x : {eq[1].equity, eq[1].win, eq[1].tie, eq[1].scoop, eq[1].high_win, eq[1].high_tie,
                   eq[1].std_error})
    EXPECT_EQ(x, 0.0);
}

TEST(ChunkResult, HighOnlySplitIsATieAndAHighTie) {
  ChunkResult r = ChunkResult::empty(2);
  record(r, {0.5, 0.5}, {0, 0});
  for (const PlayerEquity& p : r.equities()) {
    EXPECT_EQ(p.tie, 1.0);
    EXPECT_EQ(p.high_tie, 1.0);
    EXPECT_EQ(p.win, 0.0);
    EXPECT_EQ(p.high_win, 0.0);
    EXPECT_EQ(p.low_win + p.low_tie, 0.0);
  }
}

TEST(ChunkResult, HiLoSplitLowersTheHighWinThreshold) {
  ChunkResult r = ChunkResult::empty(2);
  record(r, {0.5, 0.5}, {0, 0.5});
  const auto eq = r.equities();
  EXPECT_EQ(eq[0].tie, 1.0);
  EXPECT_EQ(eq[0].high_win, 1.0);
  EXPECT_EQ(eq[0].low_win, 0.0);
  EXPECT_EQ(eq[1].tie, 1.0);
  EXPECT_EQ(eq[1].low_win, 1.0);
  EXPECT_EQ(eq[1].high_win + eq[1].high_tie, 0.0);
  EXPECT_EQ(eq[1].low_equity, 0.5);
  // Both halves to one seat: win, scoop, high win and low win.
  ChunkResult s = ChunkResult::empty(2);
  record(s, {1, 0}, {0.5, 0});
  const auto e = s.equities();
  EXPECT_EQ(e[0].win, 1.0);
  EXPECT_EQ(e[0].scoop, 1.0);
  EXPECT_EQ(e[0].high_win, 1.0);
  EXPECT_EQ(e[0].low_win, 1.0);
  // A quartered low half is a low tie; a high half shared three ways is a high tie.
  ChunkResult q = ChunkResult::empty(3);
  record(q, {0.25 + 1.0 / 6, 0.25 + 1.0 / 6, 1.0 / 6}, {0.25, 0.25, 0});
  const auto f = q.equities();
  EXPECT_EQ(f[0].low_tie, 1.0);
  EXPECT_EQ(f[0].high_tie, 1.0);
  EXPECT_EQ(f[2].high_tie, 1.0);
  EXPECT_EQ(f[2].low_tie + f[2].low_win, 0.0);
}

TEST(ChunkResult, WholePotThresholdIsTwoStepsBelowOne) {
  EXPECT_EQ(std::bit_cast<std::uint64_t>(ChunkResult::WHOLE_POT), 0x3FEFFFFFFFFFFFFEull);
  const double one_step = std::nextafter(1.0, 0.0);
  const double two_steps = std::nextafter(one_step, 0.0);
  const double three_steps = std::nextafter(two_steps, 0.0);
  EXPECT_EQ(one_step, 0.9999999999999999);
  EXPECT_EQ(two_steps, 0.9999999999999998);
  EXPECT_EQ(three_steps, 0.9999999999999997);
  for (double s : {one_step, two_steps}) {
    ChunkResult r = ChunkResult::empty(1);
    record(r, {s}, {0});
    EXPECT_EQ(r.win_count[0], 1.0) << s;
    EXPECT_EQ(r.tie_count[0], 0.0) << s;
  }
  ChunkResult r = ChunkResult::empty(1);
  record(r, {three_steps}, {0});
  EXPECT_EQ(r.win_count[0], 0.0);
  EXPECT_EQ(r.tie_count[0], 1.0);
  // The whole-pot tie test is against exactly zero.
  ChunkResult tiny = ChunkResult::empty(2);
  record(tiny, {1e-12, 1 - 1e-12}, {0, 0});
  EXPECT_EQ(tiny.tie_count[0], 1.0);
  EXPECT_EQ(tiny.high_tie_count[0], 0.0);  // but not above 1e-9 for the high half
}

TEST(ChunkResult, StandardErrorOfTwoOpposedDeals) {
  ChunkResult r = ChunkResult::empty(2);
  record(r, {1, 0}, {0, 0});
  record(r, {0, 1}, {0, 0});
  EXPECT_EQ(r.weight_square_sum, 2.0);
  EXPECT_EQ(r.share_square_sum[0], 1.0);
  EXPECT_EQ(r.square_weight_share_sum[0], 1.0);
  const auto eq = r.equities();
  for (const PlayerEquity& p : eq) {
    EXPECT_EQ(p.equity, 0.5);
    EXPECT_NEAR(p.std_error, std::sqrt(0.5) / 2, 1e-15);
  }
  r.exact = true;
  EXPECT_EQ(r.equities()[0].std_error, 0.0);
}

TEST(ChunkResult, WeightsAndDivisor) {
  ChunkResult r = ChunkResult::empty(2);
  record(r, {1, 0}, {0, 0}, 2.0);
  record(r, {0.5, 0.5}, {0, 0}, 2.0);
  EXPECT_EQ(r.weight_sum, 4.0);
  EXPECT_EQ(r.weight_square_sum, 8.0);
  EXPECT_EQ(r.weight_sum * r.weight_sum / r.weight_square_sum, 2.0);  // effective sample size
  auto eq = r.equities();
  EXPECT_EQ(eq[0].equity, 0.75);
  EXPECT_EQ(eq[0].win, 0.5);
  EXPECT_EQ(eq[1].tie, 0.5);
  // Σ w²(s − e)² for seat 0: 4·0.0625 + 4·0.0625 = 0.5, over W = 4.
  EXPECT_NEAR(eq[0].std_error, std::sqrt(0.5) / 4, 1e-15);

  // A weight sum of zero, or not a number, divides by the sample count.
  ChunkResult z = ChunkResult::empty(1);
  record(z, {1}, {0}, 0.0);
  record(z, {1}, {0}, 0.0);
  EXPECT_EQ(z.equities()[0].equity, 0.0);
  EXPECT_EQ(z.equities()[0].std_error, 0.0);
  ChunkResult n = ChunkResult::empty(1);
  n.share_sum[0] = 3;
  n.samples = 4;
  n.weight_sum = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(n.equities()[0].equity, 0.75);
  n.weight_sum = -1;
  EXPECT_EQ(n.equities()[0].equity, 0.75);
}

TEST(ChunkResult, MergeAddsAndKeepsTheExactFlagRule) {
  ChunkResult exact = ChunkResult::empty(2);
  exact.exact = true;
  record(exact, {1, 0}, {0, 0});
  // An empty result leaves the flag alone, in either direction.
  ChunkResult a = exact;
  a.merge(ChunkResult::empty(2));
  EXPECT_TRUE(a.exact);
  ChunkResult e = ChunkResult::empty(2);
  e.merge(exact);
  EXPECT_TRUE(e.exact);
  // A sampled result with deals clears it.
  ChunkResult sampled = ChunkResult::empty(2);
  record(sampled, {0, 1}, {0, 0});
  sampled.attempts = 3;
  a.merge(sampled);
  EXPECT_FALSE(a.exact);
  EXPECT_EQ(a.samples, 2u);
  EXPECT_EQ(a.attempts, 3u);

  // Merging equals recording everything into one accumulator.
  ChunkResult x = ChunkResult::empty(3), y = ChunkResult::empty(3), all = ChunkResult::empty(3);
  const std::vector<std::pair<Shares, Shares>> deals = {
      {{1, 0, 0}, {0.5, 0, 0}}, {{0.5, 0.5, 0}, {0, 0.5, 0}}, {{0, 0, 1}, {0, 0, 0}},
      {{1.0 / 3, 1.0 / 3, 1.0 / 3}, {0, 0, 0}}};
  for (std::size_t i = 0; i < deals.size(); ++i) {
    const double w = 1.0 + double(i);
    record(i < 2 ? x : y, deals[i].first, deals[i].second, w);
    record(all, deals[i].first, deals[i].second, w);
  }
  x.merge(y);
  EXPECT_EQ(x.samples, all.samples);
  EXPECT_EQ(x.weight_sum, all.weight_sum);
  for (std::size_t j = 0; j < 3; ++j) {
    EXPECT_NEAR(x.share_sum[j], all.share_sum[j], 1e-12);
    EXPECT_NEAR(x.share_square_sum[j], all.share_square_sum[j], 1e-12);
    EXPECT_EQ(x.win_count[j], all.win_count[j]);
    EXPECT_EQ(x.tie_count[j], all.tie_count[j]);
    EXPECT_EQ(x.high_win_count[j], all.high_win_count[j]);
    EXPECT_EQ(x.low_win_count[j], all.low_win_count[j]);
    EXPECT_EQ(x.low_tie_count[j], all.low_tie_count[j]);
    EXPECT_EQ(x.scoop_count[j], x.win_count[j]);
  }
}

// Every field by name, each with its own non-zero value, so that a field that
// merging or scaling leaves out fails here.
TEST(ChunkResult, MergeAndCopiesReachEveryField) {
  const auto fields = [](ChunkResult& r) {
    return std::vector<SeatSums*>{
        &r.share_sum,      &r.share_square_sum, &r.square_weight_share_sum, &r.win_count,
        &r.tie_count,      &r.scoop_count,      &r.low_share_sum,           &r.high_win_count,
        &r.high_tie_count, &r.low_win_count,    &r.low_tie_count};
  };
  ChunkResult a = ChunkResult::empty(2), b = ChunkResult::empty(2);
  double next = 1;
  for (auto* v : fields(a)) (*v)[0] = next, (*v)[1] = next + 0.5, next += 1;
  for (auto* v : fields(b)) (*v)[0] = next * 10, (*v)[1] = next * 10 + 0.25, next += 1;
  a.samples = 3, a.attempts = 5, a.weight_sum = 2.5, a.weight_square_sum = 4.5;
  b.samples = 7, b.attempts = 11, b.weight_sum = 6.5, b.weight_square_sum = 8.5;

  ChunkResult merged = a;
  merged.merge(b);
  EXPECT_EQ(merged.samples, 10u);
  EXPECT_EQ(merged.attempts, 16u);
  EXPECT_EQ(merged.weight_sum, 9.0);
  EXPECT_EQ(merged.weight_square_sum, 13.0);
  const auto fa = fields(a), fb = fields(b), fm = fields(merged);
  for (std::size_t f = 0; f < fm.size(); ++f)
    for (std::size_t j = 0; j < 2; ++j) EXPECT_EQ((*fm[f])[j], (*fa[f])[j] + (*fb[f])[j]) << f;

  ChunkResult copies = ChunkResult::empty(2);
  copies.add_copies(a, 3);
  EXPECT_EQ(copies.samples, 3u);
  EXPECT_EQ(copies.weight_sum, 3.0);
  EXPECT_EQ(copies.weight_square_sum, 3.0);
  const auto fc = fields(copies);
  for (std::size_t f = 0; f < fc.size(); ++f)
    for (std::size_t j = 0; j < 2; ++j) EXPECT_EQ((*fc[f])[j], 3 * (*fa[f])[j]) << f;

  copies.clear();
  for (auto* v : fields(copies)) EXPECT_EQ(*v, Shares(2, 0.0));
  EXPECT_EQ(copies.samples, 0u);
}

}  // namespace
}  // namespace vantor
