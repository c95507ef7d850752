// vantor against the fastest open hold'em calculator we know of, one thread
// each, in one run: exact walks in milliseconds and Monte Carlo in deals per
// second, with the ratio peer time / vantor time (above 1: vantor is faster).
//
// Times are the process's processor time, not wall time, so that a machine
// shared with other work still gives comparable figures; with one thread on
// each side that is the one-core cost. The peer is optional. Configure with -DVANTOR_PEER_DIR=<its build folder>
// (the folder holding include/omp and lib/libompeval.a) to compare; without
// it only vantor's side is printed.
#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cards/card.h"
#include "odds/chunk.h"
#include "odds/exact.h"
#include "odds/request.h"
#include "odds/runner.h"

#ifdef VANTOR_HAVE_PEER
#include "omp/EquityCalculator.h"
#endif

using namespace vantor;

namespace {

double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

struct Spot {
  const char* name;
  std::vector<std::string_view> hands;  // vantor notation
  std::vector<std::string> peer_hands;  // the peer's range notation
  std::string_view board;
};

EquityRequest<Holdem> request_of(const Spot& spot) {
  auto request = EquityRequest<Holdem>::from_text(spot.hands, spot.board, "");
  if (!request) {
    std::printf("error: %s\n", request.error().text().c_str());
    std::exit(1);
  }
  return *std::move(request);
}

// Best of `rounds` wall times of `f`.
template <class F>
double best_time(int rounds, F&& f) {
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const double start = cpu_seconds();
    f();
    best = std::min(best, cpu_seconds() - start);
  }
  return best;
}

#ifdef VANTOR_HAVE_PEER
std::uint64_t board_mask(std::string_view board) {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i + 1 < board.size(); i += 2) {
    while (i < board.size() && board[i] == ' ') ++i;
    mask |= omp::CardRange::getCardMask(std::string(board.substr(i, 2)));
  }
  return mask;
}

std::vector<omp::CardRange> peer_ranges(const Spot& spot) {
  return {spot.peer_hands.begin(), spot.peer_hands.end()};
}

double peer_exact(const Spot& spot, int rounds) {
  const auto ranges = peer_ranges(spot);
  const std::uint64_t board = board_mask(spot.board);
  return best_time(rounds, [&] {
    omp::EquityCalculator eq;
    eq.start(ranges, board, 0, true, 0, nullptr, 10.0, 1);
    eq.wait();
  });
}

// Deals per processor second over a fixed wall time.
double peer_sampled(const Spot& spot, double seconds) {
  omp::EquityCalculator eq;
  eq.setTimeLimit(seconds);
  const double start = cpu_seconds();
  eq.start(peer_ranges(spot), board_mask(spot.board), 0, false, 0, nullptr, 0.05, 1);
  eq.wait();
  const double spent = cpu_seconds() - start;
  return eq.getResults().hands / spent;
}
#endif

void exact_line(const Spot& spot, int rounds) {
  const auto request = request_of(spot);
  std::uint64_t deals = 0;
  const double ours = best_time(rounds, [&] {
    const auto result = run_exact(request);
    deals = (result && *result) ? (*result)->samples : 0;
  });
  std::printf("%-48s exact   vantor %9.2f ms (%llu deals)", spot.name, ours * 1e3,
              static_cast<unsigned long long>(deals));
#ifdef VANTOR_HAVE_PEER
  const double theirs = peer_exact(spot, rounds);
  std::printf("   peer %9.2f ms   ratio %5.2fx", theirs * 1e3, theirs / ours);
#endif
  std::printf("\n");
}

void sampled_line(const Spot& spot, std::uint64_t samples) {
  const auto request = request_of(spot);
  // One chunk on this thread; then eight chunks on the pool, per processor
  // second (so per core).
  const double one = best_time(3, [&] { (void)run_chunk(request, samples, 1); });
  const double many = best_time(3, [&] { (void)run_batch(request, samples, 1, 8); });
  const double ours = samples / one, ours_per_core = samples / many;
  std::printf("%-48s sample  vantor %6.1f M/s (8 chunks: %6.1f M/s per core)", spot.name,
              ours / 1e6, ours_per_core / 1e6);
#ifdef VANTOR_HAVE_PEER
  const double theirs = peer_sampled(spot, 1.0);
  std::printf("   peer %6.1f M/s   ratio %5.2fx (%5.2fx)", theirs / 1e6, ours / theirs,
              ours_per_core / theirs);
#endif
  std::printf("\n");
}

}  // namespace

int main() {
#ifndef VANTOR_HAVE_PEER
  std::printf("peer not configured (-DVANTOR_PEER_DIR=<build folder>): vantor's figures only\n");
#endif
  const std::vector<Spot> exact_spots = {
      {"AhKh vs QsQd preflop", {"AhKh", "QsQd"}, {"AhKh", "QsQd"}, ""},
      {"AhAd vs KsKc vs QhQd preflop", {"AhAd", "KsKc", "QhQd"}, {"AhAd", "KsKc", "QhQd"}, ""},
      {"QQ vs 87s preflop", {"QQ", "87s"}, {"QQ", "87s"}, ""},
      {"AhKh vs QsQd on Kd 7c 2h", {"AhKh", "QsQd"}, {"AhKh", "QsQd"}, "Kd7c2h"},
      {"AKs,QQ vs a random hand on Kd 7c 2h", {"AKs,QQ", "**"}, {"AKs,QQ", "random"}, "Kd7c2h"},
      {"AhKh vs QsQd vs a random hand on Kd 7c 2h", {"AhKh", "QsQd", "**"}, {"AhKh", "QsQd", "random"},
       "Kd7c2h"},
  };
  for (const Spot& spot : exact_spots) exact_line(spot, 5);

  const std::vector<std::pair<Spot, std::uint64_t>> sampled_spots = {
      {{"AhKh vs QsQd preflop", {"AhKh", "QsQd"}, {"AhKh", "QsQd"}, ""}, 4'000'000},
      {{"QQ+,AKs vs 22+,A2s+,K9s+,QTs+,JTs,ATo+,KJo+",
        {"QQ+,AKs", "22+,A2s+,K9s+,QTs+,JTs,ATo+,KJo+"},
        {"QQ+,AKs", "22+,A2s+,K9s+,QTs+,JTs,ATo+,KJo+"},
        ""},
       2'000'000},
      {{"six random hands preflop",
        {"**", "**", "**", "**", "**", "**"},
        {"random", "random", "random", "random", "random", "random"},
        ""},
       1'000'000},
  };
  for (const auto& [spot, samples] : sampled_spots) sampled_line(spot, samples);
  return 0;
}
