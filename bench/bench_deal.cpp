// Deals per second from a request, per thread: slot dealing for named seats
// on an open board (the common case the chunk loop lives on), a range spot
// with rejections, random hands and weighted dealing; where the request
// allows it, also the quick dealer the chunk loop uses instead of slot
// dealing (same deals). Prints figures; asserts nothing.
#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

#include "odds/deal.h"
#include "odds/request.h"
#include "odds/scheduled_deal.h"

using namespace vantor;

namespace {

template <class V, class F>
void measure(const char* label, const EquityRequest<V>& request, F&& one_deal) {
  Rng rng = Rng::seed_from_u64(1);
  std::vector<std::vector<Card>> seats(request.seat_count);
  std::vector<Card> board;
  WeighingScratch scratch;
  constexpr std::uint64_t ATTEMPTS = 20'000'000;
  std::uint64_t accepted = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t i = 0; i < ATTEMPTS; ++i) accepted += one_deal(rng, seats, board, scratch);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-44s %7.1f M attempts/s  %7.1f M accepted/s  (%.1f%% accepted)\n", label,
              ATTEMPTS / seconds / 1e6, accepted / seconds / 1e6, 100.0 * accepted / ATTEMPTS);
}

template <class V>
void slot(const char* label, const EquityRequest<V>& r) {
  measure(label, r, [&](Rng& rng, auto& seats, auto& board, auto&) {
    return deal(r, rng, seats, board) ? 1 : 0;
  });
}

// The quick dealer the chunk loop uses for such requests.
template <class V>
void quick(const char* label, const EquityRequest<V>& r) {
  QuickDealer dealer = QuickDealer::of(r).value();
  measure(label, r, [&](Rng& rng, auto&, auto&, auto&) {
    return (fast_bit_deposit() ? dealer.deal<BitDepositSelect>(rng)
                               : dealer.deal<PortableSelect>(rng))
               ? 1
               : 0;
  });
}

// The scheduled dealer the chunk loop prefers when the request fits it.
template <class V>
void scheduled(const char* label, const EquityRequest<V>& r) {
  std::optional<ScheduledDealer> dealer = ScheduledDealer::of(r);
  if (!dealer) {
    std::printf("%-44s (does not apply here)\n", label);
    return;
  }
  measure(label, r, [&](Rng& rng, auto&, auto&, auto&) {
    return (fast_bit_deposit() ? dealer->deal<BitDepositSelect>(rng)
                               : dealer->deal<PortableSelect>(rng))
               ? 1
               : 0;
  });
}

template <class V>
void weighted(const char* label, const EquityRequest<V>& r) {
  measure(label, r, [&](Rng& rng, auto& seats, auto& board, auto& scratch) {
    return deal_weighted(r, rng, seats, board, scratch) ? 1 : 0;
  });
}

template <class V>
EquityRequest<V> request(std::vector<std::string_view> hands, std::string_view board = "") {
  return EquityRequest<V>::from_text(hands, board, "").value();
}

}  // namespace

int main() {
  const auto named = request<Holdem>({"AhKh", "QsQd"});
  slot("holdem AhKh vs QsQd, open board (slot)", named);
  quick("holdem AhKh vs QsQd, open board (quick)", named);
  scheduled("holdem AhKh vs QsQd, open board (scheduled)", named);
  weighted("holdem AhKh vs QsQd, open board (weighted)", named);
  const auto ranges = request<Holdem>({"AK, AQ", "AA, KK"}, "Ah 7c 2d");
  slot("holdem AK,AQ vs AA,KK on Ah7c2d (slot)", ranges);
  quick("holdem AK,AQ vs AA,KK on Ah7c2d (quick)", ranges);
  const auto six = request<Holdem>({"**", "**", "**", "**", "**", "**"});
  slot("holdem six random hands (slot)", six);
  quick("holdem six random hands (quick)", six);
  scheduled("holdem six random hands (scheduled)", six);
  const auto omaha = request<Omaha>({"AAKK", "A A K K"});
  slot("omaha AAKK vs AAKK (slot)", omaha);
  weighted("omaha AAKK vs AAKK (weighted)", omaha);
  const auto stud = request<Stud>({"AhKhQh", "2c2d2h", "9s9d*"});
  slot("stud three seats (slot)", stud);
  quick("stud three seats (quick)", stud);
  scheduled("stud three seats (scheduled)", stud);
}
