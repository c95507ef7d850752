// Exact walks of every game, one board at a time against by suit classes,
// in one run: processor time of each and the speed-up, with the geometric
// mean over the spots.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <vector>

#include "odds/exact.h"
#include "odds/request.h"
#include "odds/walk.h"

using namespace vantor;

namespace {

double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

double log_speedups = 0;
int spots = 0;

template <class V>
void spot(const char* name, std::vector<std::string_view> hands, std::string_view board) {
  const auto request = *EquityRequest<V>::from_text(hands, board, "");
  std::vector<CardLists> lists;
  for (std::size_t i = 0; i < request.seat_count; ++i)
    lists.push_back(*detail::seat_list(request, i, 0, WALK_LIMIT, nullptr));
  double best[2] = {1e30, 1e30};
  std::uint64_t deals = 0;
  for (int round = 0; round < 3; ++round)
    for (int symmetric = 0; symmetric < 2; ++symmetric) {
      ChunkResult result = ChunkResult::empty(request.seat_count);
      Walk<V> walk(request, lists, result, WALK_LIMIT, nullptr);
      if (!symmetric) walk.one_board_at_a_time();
      const double start = cpu_seconds();
      (void)walk.run(request.live);
      best[symmetric] = std::min(best[symmetric], cpu_seconds() - start);
      deals = result.samples;
    }
  const double speedup = best[0] / best[1];
  log_speedups += std::log(speedup);
  ++spots;
  std::printf("%-16s %-40s %9llu deals  one by one %9.2f ms  by classes %9.2f ms  %6.2fx\n", V::KEY.data(),
              name, static_cast<unsigned long long>(deals), best[0] * 1e3, best[1] * 1e3, speedup);
}

}  // namespace

int main() {
  spot<Holdem>("AhKh vs QsQd preflop", {"AhKh", "QsQd"}, "");
  spot<Holdem>("QQ vs 87s preflop", {"QQ", "87s"}, "");
  spot<Holdem>("AhKh vs QsQd on Kd 7c 2h", {"AhKh", "QsQd"}, "Kd7c2h");
  spot<Holdem>("AhKh vs a random hand on Kd 7c 2h 5s", {"AhKh", "**"}, "Kd7c2h5s");
  spot<Holdem>("AKs,QQ vs a random hand on Kd 7c 2h", {"AKs,QQ", "**"}, "Kd7c2h");
  spot<Holdem>("AhAd vs KsKc vs QhQd preflop", {"AhAd", "KsKc", "QhQd"}, "");
  spot<ShortDeck>("AhKh vs QsQd preflop", {"AhKh", "QsQd"}, "");
  spot<Omaha>("AhKhQd2c vs JsJdTs9d on Ks", {"AhKhQd2c", "JsJdTs9d"}, "Ks");
  spot<Omaha>("AhAdKhKd vs QsQcJsJc preflop", {"AhAdKhKd", "QsQcJsJc"}, "");
  spot<OmahaHiLo>("As2s3dKc vs AdKd and two on 4h 7c 8d 9s", {"As2s3dKc", "AdKd**"}, "4h7c8d9s");
  spot<OmahaFive>("AhKhQd2c3c vs JsJdTs9d8d on Ks", {"AhKhQd2c3c", "JsJdTs9d8d"}, "Ks");
  spot<OmahaSix>("AhKhQd2c3c4c vs JsJdTs9d8d7d on Ks", {"AhKhQd2c3c4c", "JsJdTs9d8d7d"}, "Ks");
  spot<OmahaHiLo>("As2s3dKc vs AdKd7c8c on 4h", {"As2s3dKc", "AdKd7c8c"}, "4h");
  spot<OmahaFiveHiLo>("As2s3dKc4c vs AdKd7c8c9h on 5h", {"As2s3dKc4c", "AdKd7c8c9h"}, "5h");
  spot<Courchevel>("AhKhQd2c3c vs JsJdTs9d8d on Ks", {"AhKhQd2c3c", "JsJdTs9d8d"}, "Ks");
  spot<CourchevelHiLo>("As2s3dKc4c vs AdKd7c8c9h on 5h", {"As2s3dKc4c", "AdKd7c8c9h"}, "5h");
  spot<Stud>("AhAd2c3s4h vs KsKd5c6s7s", {"AhAd2c3s4h", "KsKd5c6s7s"}, "");
  spot<StudHiLo>("AhAd2c3s4h vs KsKd5c6s7s", {"AhAd2c3s4h", "KsKd5c6s7s"}, "");
  spot<Razz>("As2d3c7h8s vs 4h5s6dKcQd", {"As2d3c7h8s", "4h5s6dKcQd"}, "");
  spot<DeuceSeven>("2c3d4h5s vs KcKd and three", {"2c3d4h5s*", "KcKd***"}, "");
  spot<FiveCardDraw>("AsAdKcQd vs QhQcJh and two", {"AsAdKcQd*", "QhQcJh**"}, "");
  spot<Badugi>("As2d3h vs Kc and three", {"As2d3h*", "Kc***"}, "");
  std::printf("geometric mean speed-up over %d spots: %.2fx\n", spots, std::exp(log_speedups / spots));
  return 0;
}
