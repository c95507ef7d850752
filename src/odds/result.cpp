#include "odds/result.h"

#include <algorithm>
#include <cmath>

namespace vantor {

namespace {

void add_into(std::vector<double>& into, const std::vector<double>& from) {
  for (std::size_t j = 0; j < into.size() && j < from.size(); ++j) into[j] += from[j];
}

}  // namespace

ChunkResult ChunkResult::empty(std::size_t seats) {
  ChunkResult r;
  for (auto* v : {&r.share_sum, &r.share_square_sum, &r.square_weight_share_sum, &r.win_count,
                  &r.tie_count, &r.scoop_count, &r.low_share_sum, &r.high_win_count,
                  &r.high_tie_count, &r.low_win_count, &r.low_tie_count})
    v->assign(seats, 0.0);
  return r;
}

void ChunkResult::merge(const ChunkResult& other) {
  // An empty result neither sets nor clears the flag of a non-empty one.
  if (samples == 0)
    exact = other.exact;
  else if (other.samples > 0)
    exact = exact && other.exact;
  samples += other.samples;
  attempts += other.attempts;
  weight_sum += other.weight_sum;
  weight_square_sum += other.weight_square_sum;
  add_into(share_sum, other.share_sum);
  add_into(share_square_sum, other.share_square_sum);
  add_into(square_weight_share_sum, other.square_weight_share_sum);
  add_into(win_count, other.win_count);
  add_into(tie_count, other.tie_count);
  add_into(scoop_count, other.scoop_count);
  add_into(low_share_sum, other.low_share_sum);
  add_into(high_win_count, other.high_win_count);
  add_into(high_tie_count, other.high_tie_count);
  add_into(low_win_count, other.low_win_count);
  add_into(low_tie_count, other.low_tie_count);
}

std::vector<PlayerEquity> ChunkResult::equities() const {
  // Written so that a NaN weight sum also falls back to the sample count.
  const double c = weight_sum > 0 ? weight_sum
                                  : static_cast<double>(std::max<std::uint64_t>(samples, 1));
  std::vector<PlayerEquity> out(seat_count());
  for (std::size_t j = 0; j < out.size(); ++j) {
    PlayerEquity& p = out[j];
    const double e = share_sum[j] / c;
    p.equity = e;
    if (!exact && samples >= 2) {
      // Σ w²(s − e)², the residual sum of squares of the ratio estimator.
      const double v =
          e * e * weight_square_sum + (share_square_sum[j] - 2 * e * square_weight_share_sum[j]);
      p.std_error = std::sqrt(std::max(v, 0.0)) / c;
    }
    p.win = win_count[j] / c;
    p.tie = tie_count[j] / c;
    p.low_equity = low_share_sum[j] / c;
    p.scoop = scoop_count[j] / c;
    p.high_win = high_win_count[j] / c;
    p.high_tie = high_tie_count[j] / c;
    p.low_win = low_win_count[j] / c;
    p.low_tie = low_tie_count[j] / c;
  }
  return out;
}

}  // namespace vantor
