// Raw per-seat accumulators of a run of deals, and the summary drawn from them.
//
// Sums are kept raw (weighted shares, squares, counts) so that results of
// chunks merge by plain addition; equities are formed once, at the end.
//
//   ChunkResult r = ChunkResult::empty(seats);
//   r.record_weighted(shares, low_shares, 1.0);   // once per deal
//   total.merge(r);
//   auto eq = total.equities();
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantor {

struct PlayerEquity {
  double equity = 0, win = 0, tie = 0, low_equity = 0, scoop = 0, high_win = 0, high_tie = 0,
         low_win = 0, low_tie = 0, std_error = 0;
};

struct ChunkResult;

// One sum per seat: a view of the seats' entries in its result's block. Only
// its result makes or rebinds one, so no copy can alias another result.
class SeatSums {
 public:
  using value_type = double;
  using iterator = double*;
  using const_iterator = const double*;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  double& operator[](std::size_t j) { return values_[j]; }
  double operator[](std::size_t j) const { return values_[j]; }
  double* begin() { return values_; }
  double* end() { return values_ + size_; }
  const double* begin() const { return values_; }
  const double* end() const { return values_ + size_; }
  operator std::span<const double>() const { return {values_, size_}; }

  friend bool operator==(const SeatSums& a, const SeatSums& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator==(const SeatSums& a, const std::vector<double>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  friend struct ChunkResult;
  SeatSums() = default;
  SeatSums(double* values, std::size_t size) : values_(values), size_(size) {}
  SeatSums(const SeatSums&) = default;
  SeatSums& operator=(const SeatSums&) = default;

  double* values_ = nullptr;
  std::size_t size_ = 0;
};

namespace detail {
// A result's counters other than the per-seat sums; copied as they are.
struct ResultTotals {
  std::uint64_t samples = 0;
  std::uint64_t attempts = 0;  // maintained by the sampling chunk
  double weight_sum = 0;
  double weight_square_sum = 0;
  bool exact = false;
};
}  // namespace detail

struct ChunkResult : detail::ResultTotals {
  // 1 - 2^-52: two steps below 1.0, so pots lost to rounding still count whole.
  static constexpr double WHOLE_POT = 0.9999999999999998;
  static constexpr double HIGH_WIN_ALONE = 0.999999999;
  static constexpr double HALF_POT = 0.499999999;
  static constexpr double TRACE = 1e-9;

  // One entry per seat each, sums over recorded deals.
  SeatSums share_sum;                // Σ w·s
  SeatSums share_square_sum;         // Σ w²·s²
  SeatSums square_weight_share_sum;  // Σ w²·s
  SeatSums win_count;
  SeatSums tie_count;
  SeatSums scoop_count;
  SeatSums low_share_sum;  // Σ w·l
  SeatSums high_win_count;
  SeatSums high_tie_count;
  SeatSums low_win_count;
  SeatSums low_tie_count;

  // No seats; `empty` makes a result to record into.
  ChunkResult() = default;
  ChunkResult(const ChunkResult& other) : ResultTotals(other), block_(other.block_) {
    bind(other.seat_count());
  }
  ChunkResult(ChunkResult&& other) noexcept
      : ResultTotals(other), block_(std::move(other.block_)) {
    bind(other.seat_count());
    other.bind(0);
  }
  ChunkResult& operator=(const ChunkResult& other) {
    if (this != &other) *this = ChunkResult(other);
    return *this;
  }
  ChunkResult& operator=(ChunkResult&& other) noexcept {
    if (this == &other) return *this;
    static_cast<ResultTotals&>(*this) = other;
    block_ = std::move(other.block_);
    bind(other.seat_count());
    other.bind(0);
    return *this;
  }
  ~ChunkResult() = default;

  static ChunkResult empty(std::size_t seats);

  // One deal: shares[j] is seat j's fraction of the whole pot, low_shares[j]
  // the part of it won through the low half. No allocation.
  inline void record_weighted(std::span<const double> shares, std::span<const double> low_shares,
                              double weight);

  // Adds a result of the same seat count.
  void merge(const ChunkResult& other);

  // Adds `count` copies of `unit`, a result of one weight-1 deal of the same
  // seat count: what recording that deal `count` times gives, up to rounding.
  void add_copies(const ChunkResult& unit, std::uint64_t count);

  // Back to `empty(seat_count())`.
  void clear();

  std::vector<PlayerEquity> equities() const;

  std::size_t seat_count() const { return share_sum.size(); }

 private:
  // Points every per-seat sum at its `seats` entries of the block.
  void bind(std::size_t seats);

  // Every per-seat sum's entries, one after another in PER_SEAT_SUMS order:
  // one allocation per result, and a result stays small wherever it is held
  // (a waiting call's stack may be nested by signal handlers).
  std::vector<double> block_;
};

// Every per-seat sum with its key in the result dictionary, in the
// dictionary's order. Creating, merging, scaling and converting a result
// iterate this list, so a new per-seat sum is added here and nowhere else.
struct PerSeatSum {
  const char* key;
  SeatSums ChunkResult::*values;
};
inline constexpr std::array<PerSeatSum, 11> PER_SEAT_SUMS = {{
    {"share_sum", &ChunkResult::share_sum},
    {"share_square_sum", &ChunkResult::share_square_sum},
    {"square_weight_share_sum", &ChunkResult::square_weight_share_sum},
    {"low_share_sum", &ChunkResult::low_share_sum},
    {"win_count", &ChunkResult::win_count},
    {"tie_count", &ChunkResult::tie_count},
    {"scoop_count", &ChunkResult::scoop_count},
    {"high_win_count", &ChunkResult::high_win_count},
    {"high_tie_count", &ChunkResult::high_tie_count},
    {"low_win_count", &ChunkResult::low_win_count},
    {"low_tie_count", &ChunkResult::low_tie_count},
}};

inline void ChunkResult::record_weighted(std::span<const double> shares,
                                         std::span<const double> low_shares, double w) {
  const std::size_t seats = share_sum.size();
  samples += 1;
  weight_sum += w;
  const double w2 = w * w;
  weight_square_sum += w2;
  // A low half awarded in this deal halves what counts as winning the high.
  double high_threshold = HIGH_WIN_ALONE;
  for (std::size_t j = 0; j < seats; ++j)
    if (low_shares[j] > TRACE) {
      high_threshold = HALF_POT;
      break;
    }
  for (std::size_t j = 0; j < seats; ++j) {
    const double s = shares[j], l = low_shares[j];
    share_sum[j] += w * s;
    share_square_sum[j] += s * (w2 * s);
    square_weight_share_sum[j] += w2 * s;
    low_share_sum[j] += w * l;
    if (s >= WHOLE_POT) {
      win_count[j] += w;
      scoop_count[j] += w;
    } else if (s > 0.0) {
      tie_count[j] += w;
    }
    const double h = s - l;
    if (h >= high_threshold)
      high_win_count[j] += w;
    else if (h > TRACE)
      high_tie_count[j] += w;
    if (l >= HALF_POT)
      low_win_count[j] += w;
    else if (l > TRACE)
      low_tie_count[j] += w;
  }
}

}  // namespace vantor
