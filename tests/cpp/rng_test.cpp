#include "sampler/rng.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "sampler/combinations.h"

// Expected numbers below come from a separate, independent Python
// implementation of xoshiro256++, of the PCG32 seeding and of the bounded
// draws (written for these tests, not derived from this code), except the
// first table, which is the published xoshiro256++ output for state 1, 2, 3, 4.

namespace vantor {
namespace {

using State = std::array<std::uint64_t, 4>;

constexpr u128 u128_of(std::uint64_t hi, std::uint64_t lo) { return (u128{hi} << 64) | lo; }

TEST(U128, SaturatingArithmetic) {
  EXPECT_EQ(sat_add(U128_MAX, 1), U128_MAX);
  EXPECT_EQ(sat_add(U128_MAX - 1, 1), U128_MAX);
  EXPECT_EQ(sat_add(5, 7), u128{12});
  EXPECT_EQ(sat_mul(u128_of(1, 0), u128_of(1, 0)), U128_MAX);
  EXPECT_EQ(sat_mul(u128_of(0, ~0ull), u128_of(0, ~0ull)), u128_of(~0ull - 1, 1));
  EXPECT_EQ(sat_mul(0, U128_MAX), u128{0});
}

TEST(U128, Binomial) {
  EXPECT_EQ(binomial(52, 2), u128{1326});
  EXPECT_EQ(binomial(52, 5), u128{2598960});
  EXPECT_EQ(binomial(50, 2), u128{1225});
  EXPECT_EQ(binomial(13, 2), u128{78});
  EXPECT_EQ(binomial(5, 0), u128{1});
  EXPECT_EQ(binomial(0, 0), u128{1});
  EXPECT_EQ(binomial(4, 5), u128{0});
  EXPECT_EQ(binomial(52, 26), u128{495918532948104ull});
  EXPECT_EQ(binomial(120, 60), u128_of(0x129b7b975453a0ull, 0x1d0cb27c401f81f0ull));
  // C(128, 64) fits in 128 bits, but the running product passes 2^128 first:
  // it saturates and the division that follows leaves 2^128 / 64 - 1.
  EXPECT_EQ(binomial(128, 64), u128_of(0x3ffffffffffffffull, ~0ull));
  EXPECT_EQ(binomial(200, 100), u128_of(0x28f5c28f5c28f5cull, 0x28f5c28f5c28f5c2ull));
}

TEST(Rng, PublishedReferenceOutputs) {
  Rng rng(State{1, 2, 3, 4});
  const std::array<std::uint64_t, 10> expected = {
      41943041ull,           58720359ull,           3588806011781223ull,
      3591011842654386ull,   9228616714210784205ull, 9973669472204895162ull,
      14011001112246962877ull, 12406186145184390807ull, 15849039046786891736ull,
      10450023813501588000ull};
  for (std::uint64_t e : expected) EXPECT_EQ(rng.next_u64(), e);
}

TEST(Rng, SeedingFromSixtyFourBits) {
  struct Case {
    std::uint64_t seed;
    State state;
    std::uint64_t first;
  };
  const Case cases[] = {
      {0, {0x45cdb581f973f2ecull, 0xad6cad067346f087ull, 0x67e71733e3a3d0d0ull, 0xfe7d8ad772ea9bf2ull},
       0x7283e4c96896188cull},
      {1, {0x4e10265d721dd8eaull, 0x2e78ce42f83b9c89ull, 0xc2d29799da03d3baull, 0x1bfb6673ac560212ull},
       0xb69f604af052deb0ull},
      {2, {0x1e377cb1cc10d14dull, 0x07d77dee8e44efedull, 0x9843aad72954fa22ull, 0x78f3aa9305ac6d73ull},
       0xc0a05b512c5c66e0ull},
      {0x5EEDCA11,
       {0xff41663f888c14e6ull, 0x6511bc5dcfe35a57ull, 0x791f5ba9b15e7268ull, 0x32dd6531a50ea45cull},
       0xb7d8339c29a5244bull},
      {0xFFFFFFFFFFFFFFFFull,
       {0x102810d6e392472full, 0x435ef92c952d5435ull, 0x37c5dd037b34e99aull, 0x3e612043b0c77a63ull},
       0x9d723db7acb98bc7ull},
      {12345678901234567890ull,
       {0x3ae13cafe18a0437ull, 0x11001241cde2737eull, 0x44849e771a519c02ull, 0x5ff2df1830e985dcull},
       0x1eea7674eb576e44ull},
  };
  for (const Case& c : cases) {
    Rng rng = Rng::seed_from_u64(c.seed);
    EXPECT_EQ(rng.state(), c.state) << c.seed;
    EXPECT_EQ(rng.next_u64(), c.first) << c.seed;
  }
  // Same seed, same stream; the upper half makes the 32-bit output.
  Rng a = Rng::seed_from_u64(99), b = Rng::seed_from_u64(99);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(a.next_u32(), b.next_u64() >> 32);
  EXPECT_NE(Rng::seed_from_u64(0).state(), Rng::seed_from_u64(1).state());
}

// How many raw outputs a bounded draw consumed: replay a copy until states meet.
template <class Step>
int outputs_used(Rng before, const Rng& after, Step step) {
  for (int n = 0; n < 64; ++n) {
    if (before.state() == after.state()) return n;
    step(before);
  }
  return -1;
}

TEST(Rng, BoundedDrawsMatchIndependentValues) {
  Rng rng = Rng::seed_from_u64(42);
  const std::array<std::uint32_t, 10> below52 = {8, 15, 28, 16, 0, 12, 12, 20, 45, 40};
  for (std::uint32_t e : below52) EXPECT_EQ(rng.below32(52), e);

  rng = Rng::seed_from_u64(42);
  const std::array<std::uint64_t, 5> below_trillion = {159358636145ull, 304245763884ull,
                                                       295564972432ull, 728557791707ull,
                                                       151037013646ull};
  for (std::uint64_t e : below_trillion) EXPECT_EQ(rng.below64(1000000000000ull), e);

  rng = Rng::seed_from_u64(42);
  const u128 bound = (u128{3} << 100) + 5;
  EXPECT_EQ(rng.below128(bound), u128_of(0xe9a926b17ull, 0xdaabd8a7a632ec7dull));
  EXPECT_EQ(rng.below128(bound), u128_of(0x73ff15ce4ull, 0x95d2aa29e2860986ull));
  EXPECT_EQ(rng.below128(bound), u128_of(0x160bd6be8aull, 0xae17d58f4879db79ull));
}

TEST(Rng, ZoneRejection) {
  const auto step64 = [](Rng& r) { r.next_u64(); };
  // Below 1 at 32 bits: zone 2^31 - 1, so about half the draws repeat.
  {
    Rng r = Rng::seed_from_u64(0), start = r;
    EXPECT_EQ(r.below32(1), 0u);
    EXPECT_EQ(outputs_used(start, r, step64), 1);
    r = Rng::seed_from_u64(1);
    start = r;
    EXPECT_EQ(r.below32(1), 0u);
    EXPECT_EQ(outputs_used(start, r, step64), 2);
    Rng probe = start;
    EXPECT_GT(probe.next_u32(), 0x7FFFFFFFu);  // the discarded draw
  }
  // Below 52 at 32 bits: zone 52 * 2^26 - 1 = 3489660927.
  {
    Rng r = Rng::seed_from_u64(11), start = r;
    EXPECT_EQ(r.below32(52), 5u);
    EXPECT_EQ(outputs_used(start, r, step64), 2);
    Rng probe = start;
    const std::uint32_t v = probe.next_u32();
    EXPECT_GT(static_cast<std::uint32_t>(std::uint64_t{v} * 52), 3489660927u);
    r = Rng::seed_from_u64(0);
    start = r;
    EXPECT_EQ(r.below32(52), 23u);
    EXPECT_EQ(outputs_used(start, r, step64), 1);
  }
  // Below 1 at 64 bits repeats too.
  {
    Rng r = Rng::seed_from_u64(1), start = r;
    EXPECT_EQ(r.below64(1), 0u);
    EXPECT_EQ(outputs_used(start, r, step64), 2);
  }
  // Below 2^64 + 1 at 128 bits: two outputs per attempt, low half first.
  {
    const u128 bound = u128_of(1, 1);
    Rng r = Rng::seed_from_u64(3), start = r;
    EXPECT_EQ(r.below128(bound), u128{15303771331337386037ull});
    EXPECT_EQ(outputs_used(start, r, step64), 2);
    r = Rng::seed_from_u64(0);
    start = r;
    EXPECT_EQ(r.below128(bound), u128{8525480561105331060ull});
    EXPECT_EQ(outputs_used(start, r, step64), 4);
    // A bound of 10^30 + 7 retried twice.
    const u128 big = u128{1000000000000000ull} * 1000000000000000ull + 7;
    r = Rng::seed_from_u64(6);
    start = r;
    EXPECT_EQ(r.below128(big), u128{214641772741273ull} * 1000000000000000ull + 98739272949679ull);
    EXPECT_EQ(outputs_used(start, r, step64), 6);
  }
}

TEST(Rng, NthCardAndUniformCard) {
  const CardSet sets[] = {CardSet::full_deck(), CardSet::suit(2), CardSet::rank(12),
                          CardSet(0x8000000000001ull), CardSet(0xF0F0F0F0F0F0Full),
                          CardSet(0xFFFF00000000Full)};
  for (CardSet s : sets) {
    const std::vector<Card> cards = s.to_vector();
    for (unsigned i = 0; i < cards.size(); ++i) EXPECT_EQ(nth_card(s, i), cards[i]) << i;
  }
  // A uniform card is the i-th card for one 32-bit pick.
  Rng a = Rng::seed_from_u64(5), b = a;
  const CardSet hearts = CardSet::suit(2);
  std::set<unsigned> seen;
  for (int i = 0; i < 200; ++i) {
    const Card c = uniform_card(hearts, a);
    EXPECT_EQ(c, nth_card(hearts, b.below32(13)));
    seen.insert(c.index());
  }
  EXPECT_EQ(seen.size(), 13u);
}

}  // namespace
}  // namespace vantor
