// One-thread figures of the equity engine: exact walks per second and Monte
// Carlo deals per second, with the share of the time spent dealing.
#include <algorithm>
#include <chrono>
#include <optional>
#include <cstdio>
#include <string_view>
#include <vector>

#include "odds/chunk.h"
#include "odds/deal.h"
#include "odds/exact.h"
#include "odds/request.h"
#include "odds/scheduled_deal.h"

using namespace vantor;

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <class V>
EquityRequest<V> request_of(std::vector<std::string_view> hands, std::string_view board) {
  return *EquityRequest<V>::from_text(hands, board, "");
}

template <class V>
void exact(const char* name, std::vector<std::string_view> hands, std::string_view board) {
  const auto request = request_of<V>(hands, board);
  double best = 1e9;
  std::uint64_t deals = 0;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = run_exact(request);
    best = std::min(best, seconds_since(start));
    deals = (result && *result) ? (*result)->samples : 0;
  }
  std::printf("%-44s exact  %10llu deals %9.2f ms  %7.1f M deals/s\n", name,
              static_cast<unsigned long long>(deals), best * 1e3, deals / best / 1e6);
}

template <class V>
void sampled(const char* name, std::vector<std::string_view> hands, std::string_view board,
             std::uint64_t samples) {
  const auto request = request_of<V>(hands, board);
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = run_chunk(request, samples, round + 1);
    best = std::min(best, seconds_since(start));
    if (!result) std::printf("error: %s\n", result.error().text().c_str());
  }
  // The same number of accepted deals with dealing alone, by the dealer the
  // chunk uses (the scheduled or quick one where the request allows it).
  Rng rng = Rng::seed_from_u64(1);
  std::vector<std::vector<Card>> seats(request.seat_count);
  std::vector<Card> board_cards;
  WeighingScratch scratch;
  std::optional<ScheduledDealer> scheduled;
  std::optional<QuickDealer> quick;
  if (!request.weighted) scheduled = ScheduledDealer::of(request);
  if (!request.weighted && !scheduled) quick = QuickDealer::of(request);
  std::uint64_t accepted = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t i = 0; accepted < samples; ++i) {
    if (scheduled)
      accepted += fast_bit_deposit() ? scheduled->deal<BitDepositSelect>(rng)
                                     : scheduled->deal<PortableSelect>(rng);
    else if (quick)
      accepted += fast_bit_deposit() ? quick->deal<BitDepositSelect>(rng) : quick->deal<PortableSelect>(rng);
    else if (request.weighted)
      accepted += deal_weighted(request, rng, seats, board_cards, scratch).has_value();
    else
      accepted += deal(request, rng, seats, board_cards);
  }
  const double dealing = seconds_since(start);
  std::printf("%-44s sample %10llu deals %9.2f ms  %7.1f M deals/s  (dealing alone %.1f M/s, %2.0f%%)\n",
              name, static_cast<unsigned long long>(samples), best * 1e3, samples / best / 1e6,
              samples / dealing / 1e6, 100 * dealing / best);
}

}  // namespace

int main() {
  exact<Holdem>("AhKh vs QsQd preflop", {"AhKh", "QsQd"}, "");
  exact<Holdem>("AhKh vs QsQd on Kd 7c 2h", {"AhKh", "QsQd"}, "Kd7c2h");
  exact<Holdem>("QQ vs 87s preflop", {"QQ", "87s"}, "");
  exact<Omaha>("Omaha AhKhQd2c vs JsJdTs9d on Ks7d2h", {"AhKhQd2c", "JsJdTs9d"}, "Ks7d2h");
  exact<OmahaHiLo>("Omaha Hi/Lo As2s3dKc vs AdKd7c8c on 4h5hQs", {"As2s3dKc", "AdKd7c8c"},
                   "4h5hQs");
  exact<Stud>("Stud AhAd2c3s4h vs KsKd5c6s7s", {"AhAd2c3s4h", "KsKd5c6s7s"}, "");
  sampled<Holdem>("AhKh vs QsQd preflop", {"AhKh", "QsQd"}, "", 4'000'000);
  sampled<Holdem>("six random hands preflop", {"**", "**", "**", "**", "**", "**"}, "",
                  2'000'000);
  sampled<Holdem>("QQ+,AKs vs 22+,A2s+,K9s+,QTs+,JTs,ATo+,KJo+",
                  {"QQ+,AKs", "22+,A2s+,K9s+,QTs+,JTs,ATo+,KJo+"}, "", 2'000'000);
  sampled<Omaha>("Omaha AhKhQd2c vs random", {"AhKhQd2c", "****"}, "", 1'000'000);
  sampled<OmahaHiLo>("Omaha Hi/Lo As2s3dKc vs random", {"As2s3dKc", "****"}, "", 1'000'000);
  sampled<Razz>("Razz A23 vs 456", {"As2d3c", "4h5s6d"}, "", 1'000'000);
  return 0;
}
