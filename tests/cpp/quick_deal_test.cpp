// The fast dealing paths must reproduce the plain ones draw for draw: the
// quick dealer against `deal` (same cards, same rejections, same
// generator state after every attempt), the scheduled dealer against it
// card for card, both card selections against a naive walk over the set bits.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "odds/deal.h"
#include "odds/request.h"
#include "odds/scheduled_deal.h"
#include "sampler/acceptance.h"
#include "sampler/cpu.h"
#include "sampler/rng.h"
#include "variants/variants.h"

namespace vantor {
namespace {

Card naive_nth(CardSet set, unsigned i) {
  for (Card c : set)
    if (i-- == 0) return c;
  return Card();
}

TEST(CardSelect, BothSelectionsMatchANaiveWalk) {
  Rng rng = Rng::seed_from_u64(99);
  const bool deposit = fast_bit_deposit();
  for (int round = 0; round < 20000; ++round) {
    // Sparse, dense and one-byte-heavy sets.
    std::uint64_t m = rng.next_u64() & CardSet::full_deck().mask();
    if (round % 3 == 1) m &= rng.next_u64();
    if (round % 3 == 2) m &= 0xFFull << (8 * (round % 7));
    const CardSet set(m);
    for (unsigned i = 0; i < set.count(); ++i) {
      const Card expected = naive_nth(set, i);
      ASSERT_EQ(nth_card(set, i), expected) << m << " " << i;
      ASSERT_EQ(PortableSelect::nth(set, i), expected);
      if (deposit) {
        ASSERT_EQ(BitDepositSelect::nth(set, i), expected);
      }
    }
  }
}

// Runs `attempts` deals through both dealers from one seed and requires the
// same answers, cards and generator states throughout.
template <class Select, class V>
void expect_same_stream(const EquityRequest<V>& request, int attempts) {
  std::optional<QuickDealer> quick = QuickDealer::of(request);
  ASSERT_TRUE(quick.has_value());
  Rng a = Rng::seed_from_u64(5), b = Rng::seed_from_u64(5);
  std::vector<std::vector<Card>> seats(request.seat_count);
  std::vector<Card> board;
  int accepted = 0;
  for (int i = 0; i < attempts; ++i) {
    const bool plain = deal(request, a, seats, board);
    ASSERT_EQ(quick->template deal<Select>(b), plain) << "attempt " << i;
    ASSERT_EQ(a.state(), b.state()) << "attempt " << i;
    if (!plain) continue;
    ++accepted;
    for (std::size_t s = 0; s < request.seat_count; ++s) {
      const std::span<const Card> hole = quick->cards().hole(s);
      ASSERT_EQ(std::vector<Card>(hole.begin(), hole.end()), seats[s]);
    }
    const std::span<const Card> dealt = quick->cards().board();
    ASSERT_EQ(std::vector<Card>(dealt.begin(), dealt.end()), board);
  }
  EXPECT_GT(accepted, 0);
}

template <class V>
void expect_same_both(std::vector<std::string_view> hands, std::string_view board = "",
                      std::string_view dead = "", int attempts = 20000) {
  const auto request = EquityRequest<V>::from_text(hands, board, dead);
  ASSERT_TRUE(request.has_value()) << request.error().text();
  ASSERT_FALSE(request->weighted);
  expect_same_stream<PortableSelect>(*request, attempts);
  if (fast_bit_deposit()) expect_same_stream<BitDepositSelect>(*request, attempts);
}

TEST(QuickDealer, FollowsSlotDealingDrawForDraw) {
  expect_same_both<Holdem>({"AhKh", "QsQd"});
  expect_same_both<Holdem>({"AhKh", "QsQd"}, "Kd 7c 2h", "3s");
  expect_same_both<Holdem>({"**", "**", "**", "**", "**", "**"});
  expect_same_both<Holdem>({"QQ+, AKs", "22+, A2s+, K9s+, QTs+, JTs, ATo+, KJo+"});
  expect_same_both<Holdem>({"AA", "KK", "AK"});  // frequent rejections
  expect_same_both<Holdem>({"Ah*", "**", "AcAd, KK"}, "2c *");
  expect_same_both<ShortDeck>({"AhKh", "**"}, "6c");
  expect_same_both<Omaha>({"AhKhQd2c", "****"});
  expect_same_both<OmahaSix>({"AhKhQd2c3c4c", "******"});
  expect_same_both<Stud>({"AhAd2c", "KsKd5c", "Qh**"});
  expect_same_both<Stud>({"***", "***", "***", "***", "***", "***", "***", "***"});
  expect_same_both<Razz>({"As2d3c", "4h5s6d"});
  expect_same_both<DeuceSeven>({"7s5h4d3c", "8s6h4h"});
  expect_same_both<Badugi>({"As2h3d", "KcQd", "*"});
}

TEST(QuickDealer, DeclinesConstrainedSlots) {
  // "AK" is read as a range of named combos, which the quick dealer takes;
  // the rank slot of "A*" needs the shape machinery and the plain path.
  const auto ranks = EquityRequest<Holdem>::from_text({{"AK", "**"}}, "", "");
  ASSERT_TRUE(ranks.has_value());
  const auto open = EquityRequest<Holdem>::from_text({{"A*", "**"}}, "", "");
  ASSERT_TRUE(open.has_value());
  EXPECT_TRUE(QuickDealer::of(*ranks).has_value());
  EXPECT_FALSE(QuickDealer::of(*open).has_value());
}

TEST(AcceptanceMasks, EveryKernelMatchesTheDrawRule) {
  // Words at a stride, with copies elsewhere, as the scheduled dealer lays them out.
  constexpr std::ptrdiff_t STRIDE = 3;
  constexpr std::uint32_t UNTOUCHED = 0x5A5A5A5Au;
  for (const detail::AcceptanceKernel kernel : detail::acceptance_kernels()) {
    Rng rng = Rng::seed_from_u64(3);
    for (int round = 0; round < 300; ++round) {
      std::uint32_t highs[ACCEPTANCE_BLOCK];
      for (auto& h : highs) h = rng.next_u32();
      // Zones' edges: products landing exactly on and just past the zone.
      if (round == 0) highs[0] = 0, highs[1] = 0xFFFFFFFFu, highs[2] = 0x7FFFFFFFu, highs[3] = 0x80000000u;
      const std::uint32_t top = 1 + round % 64;
      const std::uint32_t runs = 1 + (round * 7) % top;
      const bool one = round % 3 != 0;
      const bool copy = round % 2 == 0;
      std::vector<std::uint32_t> words(65 * STRIDE * 2, UNTOUCHED);
      std::uint32_t* const masks = words.data();
      std::uint32_t* const copies = copy ? words.data() + 65 * STRIDE : masks;
      kernel(highs, top, runs, one, masks, copies, STRIDE);
      for (std::uint32_t n = 0; n <= 64; ++n) {
        const bool judged = (n <= top && n + runs > top) || (one && n == 1);
        for (std::uint32_t* const at : {masks + n * STRIDE, copies + n * STRIDE}) {
          if (!judged) {
            ASSERT_EQ(*at, UNTOUCHED) << "count " << n;
            continue;
          }
          for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i)
            ASSERT_EQ((*at >> i) & 1u, static_cast<std::uint32_t>(highs[i] * n <= CARD_ZONES[n]))
                << "count " << n << " high " << highs[i];
        }
      }
      // Nothing between the words.
      for (std::size_t w = 0; w < words.size(); ++w) {
        if (w % STRIDE != 0) {
          ASSERT_EQ(words[w], UNTOUCHED) << "word " << w;
        }
      }
    }
  }
}

// A 64-bit draw below n < 2^32 judged and answered from the output's two
// halves: every kernel against `Rng::below64` itself on the generator's
// outputs, and against the 128-bit rule on outputs placed at the edges where
// the low half's carry decides.
TEST(AcceptanceMasks, WideKernelsMatchTheWideDraw) {
  std::vector<std::uint32_t> counts = {2, 3, 6, 22, 234, 1326, 0x80000001u, 0xFFFFFFFFu};
  for (unsigned k = 2; k < 32; ++k)
    for (const std::uint32_t n : {(1u << k) - 1, 1u << k, (1u << k) + 1}) counts.push_back(n);
  for (const detail::WideAcceptanceKernel kernel : detail::wide_acceptance_kernels()) {
    Rng rng = Rng::seed_from_u64(8);
    for (int round = 0; round < 200; ++round) {
      const bool edges = round % 2 == 1;
      std::uint32_t highs[ACCEPTANCE_BLOCK], lows[ACCEPTANCE_BLOCK];
      std::array<Rng, ACCEPTANCE_BLOCK> before{rng, rng, rng, rng, rng, rng, rng, rng, rng, rng, rng,
                                               rng, rng, rng, rng, rng, rng, rng, rng, rng, rng, rng,
                                               rng, rng, rng, rng, rng, rng, rng, rng, rng, rng};
      for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) {
        before[i] = rng;
        std::uint64_t v = rng.next_u64();
        if (edges) {
          // vh * n mod 2^32 lands within n of the zone's end or of 2^32.
          const std::uint64_t n = counts[(round + i) % counts.size()];
          const std::uint64_t end = i % 2 == 0 ? rejection_zone(static_cast<std::uint32_t>(n))
                                               : (std::uint64_t{1} << 32) - 1;
          const std::uint64_t target = (v % n) << 32 | ((end - (v >> 40) % (2 * n) + n) & 0xFFFFFFFFu);
          v = (target / n) << 32 | (v & 0xFFFFFFFFu);
        }
        highs[i] = static_cast<std::uint32_t>(v >> 32);
        lows[i] = static_cast<std::uint32_t>(v);
      }
      std::vector<std::uint32_t> masks(counts.size());
      kernel(highs, lows, counts.data(), counts.size(), masks.data(), masks.data(), 1);
      for (std::size_t c = 0; c < counts.size(); ++c) {
        const std::uint32_t n = counts[c];
        for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) {
          const std::uint64_t v = std::uint64_t{highs[i]} << 32 | lows[i];
          const u128 product = u128{v} * n;
          const bool keep = static_cast<std::uint64_t>(product) <= rejection_zone(std::uint64_t{n});
          ASSERT_EQ((masks[c] >> i) & 1u, keep ? 1u : 0u) << "count " << n << " output " << v;
          if (keep) {
            ASSERT_EQ(wide_pick(highs[i], lows[i], n), static_cast<std::uint64_t>(product >> 64));
          }
          if (edges) continue;
          // The draw itself keeps this output when it reads no other.
          Rng draw = before[i], one = before[i];
          one.next_u64();
          const std::uint64_t answer = draw.below64(n);
          ASSERT_EQ(draw.state() == one.state(), keep) << "count " << n;
          if (keep) {
            ASSERT_EQ(wide_pick(highs[i], lows[i], n), answer);
          }
        }
      }
    }
  }
}

// ctest runs this once more with the forcing variable set (tests/cpp/CMakeLists.txt).
TEST(Dispatch, ForcingTheBaselineTurnsEveryFastPathOff) {
  const char* value = std::getenv(FORCE_BASELINE_VARIABLE);
  const bool forced = value != nullptr && std::string_view(value) == "1";
  EXPECT_EQ(baseline_forced(), forced);
  if (forced) {
    EXPECT_FALSE(fast_acceptance_masks());
    EXPECT_FALSE(fast_bit_deposit());
  }
#if defined(__x86_64__) && defined(__GNUC__)
  if (!forced) {
    EXPECT_EQ(fast_acceptance_masks(), __builtin_cpu_supports("avx2") != 0);
  }
#endif
}

// The scheduled dealer reads the generator ahead, so states differ between
// deals; every attempt must still be accepted or rejected as by `deal`, with
// its cards.
template <class Select, class V>
void expect_same_cards(const EquityRequest<V>& request, int deals) {
  std::optional<ScheduledDealer> scheduled = ScheduledDealer::of(request);
  ASSERT_TRUE(scheduled.has_value());
  Rng a = Rng::seed_from_u64(11), b = Rng::seed_from_u64(11);
  std::vector<std::vector<Card>> seats(request.seat_count);
  std::vector<Card> board;
  for (int i = 0; i < deals; ++i) {
    const bool plain = deal(request, a, seats, board);
    ASSERT_EQ(scheduled->template deal<Select>(b), plain) << "attempt " << i;
    if (!plain) continue;
    for (std::size_t s = 0; s < request.seat_count; ++s) {
      const std::span<const Card> hole = scheduled->cards().hole(s);
      ASSERT_EQ(std::vector<Card>(hole.begin(), hole.end()), seats[s]) << "deal " << i;
    }
    const std::span<const Card> dealt = scheduled->cards().board();
    ASSERT_EQ(std::vector<Card>(dealt.begin(), dealt.end()), board) << "deal " << i;
  }
}

template <class V>
void expect_scheduled(std::vector<std::string_view> hands, std::string_view board = "",
                      std::string_view dead = "", int deals = 20000) {
  const auto request = EquityRequest<V>::from_text(hands, board, dead);
  ASSERT_TRUE(request.has_value()) << request.error().text();
  expect_same_cards<PortableSelect>(*request, deals);
  if (fast_bit_deposit()) expect_same_cards<BitDepositSelect>(*request, deals);
}

TEST(ScheduledDealer, DealsTheCardsOfSlotDealing) {
  if (!fast_acceptance_masks()) GTEST_SKIP() << "no vector acceptance here";
  expect_scheduled<Holdem>({"AhKh", "QsQd"});
  expect_scheduled<Holdem>({"AhKh", "QsQd"}, "Kd 7c 2h", "3s");
  expect_scheduled<Holdem>({"AhKh", "QsQd"}, "Kd 7c 2h 9s 3d");  // picks only
  expect_scheduled<Holdem>({"**", "**", "**", "**", "**", "**"});
  // Ten seats: deals longer than one block of outputs.
  expect_scheduled<Holdem>({"**", "**", "**", "**", "**", "**", "**", "**", "**", "**"}, "", "2c 3c");
  expect_scheduled<Holdem>({"Ah*", "Kd*", "**"}, "Qs *");
  expect_scheduled<ShortDeck>({"AhKh", "**"}, "6c");
  expect_scheduled<OmahaSix>({"AhKhQd2c3c4c", "******"});
  expect_scheduled<Stud>({"*******", "*******", "*******", "*******", "*******", "*******",
                          "*******"});
  expect_scheduled<Razz>({"As2d3c", "4h5s6d"});
  expect_scheduled<Badugi>({"As2h3d", "KcQd", "*"});
  // Ranges: picks among named holdings, rejected where they clash.
  expect_scheduled<Holdem>({"QQ+, AKs", "22+, A2s+, K9s+, QTs+, JTs, ATo+, KJo+"});
  expect_scheduled<Holdem>({"AA", "KK", "AK"});  // most attempts clash
  expect_scheduled<Holdem>({"JJ+, AKs", "AhKd", "TT-77, KQ", "**"}, "Kc 7c 2h", "3s");
  expect_scheduled<Omaha>({"AhKhQd2c, AsKsQh2d, 9c8c7d6d", "****", "JsJd**"}, "Ks7d");
  expect_scheduled<Holdem>({"AA, KK", "QsQd", "JJ, TT, AK"}, "2c 3d 4h 5s 7c");  // picks only
}

TEST(ScheduledDealer, DeclinesWhatItCannotScheduleAhead) {
  if (!fast_acceptance_masks()) GTEST_SKIP() << "no vector acceptance here";
  const auto declines = [](std::vector<std::string_view> hands) {
    const auto request = EquityRequest<Holdem>::from_text(std::span(hands), "", "");
    return request.has_value() && !ScheduledDealer::of(*request).has_value();
  };
  EXPECT_TRUE(declines({"A*", "**"}));      // a rank slot
  // A card in every holding of the range is kept from the board, so the
  // board's pool would not lose the same cards to every pick.
  EXPECT_TRUE(declines({"AhKh, AhQh", "**"}));
}

}  // namespace
}  // namespace vantor
