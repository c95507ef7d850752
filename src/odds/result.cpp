#include "odds/result.h"

#include <algorithm>
#include <cmath>

namespace vantor {

ChunkResult ChunkResult::empty(std::size_t seats) {
  ChunkResult r;
  r.block_.assign(PER_SEAT_SUMS.size() * seats, 0.0);
  r.bind(seats);
  return r;
}

void ChunkResult::bind(std::size_t seats) {
  double* at = block_.data();
  for (const PerSeatSum& sum : PER_SEAT_SUMS) {
    this->*sum.values = SeatSums(seats == 0 ? nullptr : at, seats);
    at += seats;
  }
}

void ChunkResult::clear() {
  std::fill(block_.begin(), block_.end(), 0.0);
  static_cast<detail::ResultTotals&>(*this) = {};
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
  for (const PerSeatSum& sum : PER_SEAT_SUMS) {
    SeatSums& into = this->*sum.values;
    const SeatSums& from = other.*sum.values;
    for (std::size_t j = 0; j < into.size() && j < from.size(); ++j) into[j] += from[j];
  }
}

void ChunkResult::add_copies(const ChunkResult& unit, std::uint64_t count) {
  const double c = static_cast<double>(count);
  samples += count;
  weight_sum += c;
  weight_square_sum += c;
  for (const PerSeatSum& sum : PER_SEAT_SUMS) {
    SeatSums& into = this->*sum.values;
    const SeatSums& from = unit.*sum.values;
    for (std::size_t j = 0; j < into.size(); ++j) into[j] += c * from[j];
  }
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
