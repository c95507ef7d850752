// Seven-card HIGH_RANKING scoring speed on one thread, over a precomputed array
// of random hands; the scores are summed so none of the work can be dropped.
//
//   bench_score [hands]     (default 4,000,000)
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <vector>

#include "variants/rankings/ranking.h"

namespace {

using vantor::Card;

std::vector<Card> random_hands(std::size_t count, std::size_t width) {
  std::mt19937_64 rng(42);
  std::array<Card, 52> deck{};
  for (unsigned i = 0; i < 52; ++i) deck[i] = Card(i);
  std::vector<Card> out;
  out.reserve(count * width);
  for (std::size_t h = 0; h < count; ++h) {
    for (std::size_t i = 0; i < width; ++i) std::swap(deck[i], deck[i + rng() % (52 - i)]);
    out.insert(out.end(), deck.begin(), deck.begin() + static_cast<std::ptrdiff_t>(width));
  }
  return out;
}

// Best of several passes: the figure least disturbed by other work on the machine.
template <class Pass>
double best_rate(std::size_t count, Pass pass, std::uint64_t& checksum) {
  double best = 0;
  for (int round = 0; round < 7; ++round) {
    const auto start = std::chrono::steady_clock::now();
    checksum += pass();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::max(best, static_cast<double>(count) / took.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4'000'000;
  const std::vector<Card> hands = random_hands(count, 7);
  std::uint64_t checksum = 0;

  const double fixed = best_rate(count, [&] {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
      sum += vantor::score_fixed<7>(hands.data() + 7 * i, vantor::HIGH_RANKING);
    return sum;
  }, checksum);
  const double general = best_rate(count, [&] {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
      sum += vantor::score(std::span<const Card>(hands.data() + 7 * i, 7), vantor::HIGH_RANKING);
    return sum;
  }, checksum);

  std::printf("hands: %zu random 7-card hands, one thread (checksum %llu)\n", count,
              static_cast<unsigned long long>(checksum));
  std::printf("score_fixed<7> HIGH: %.1f million evaluations/s\n", fixed / 1e6);
  std::printf("score(span) HIGH:    %.1f million evaluations/s\n", general / 1e6);
  return 0;
}
