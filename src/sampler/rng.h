// The seeded random source: xoshiro256++ with unbiased bounded integers.
//
// A seeded run must reproduce bit for bit, so the seeding, the width of every
// bounded draw (32, 64 or 128 bits) and the rejection rule are fixed here and
// must not change.
//
//   Rng rng = Rng::seed_from_u64(seed);
//   Card c = uniform_card(available, rng);     // one 32-bit pick
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "cards/card.h"
#include "sampler/u128.h"

namespace vantor {

// The rejection rule of every bounded draw, at its width W (32, 64 or 128
// bits): a draw below n >= 1 forms v × n for a W-bit output v and keeps it
// when the low W bits of the product are at most (n << countl_zero(n)) - 1
// (mod 2^W), answering the high W bits; otherwise it draws again.
constexpr std::uint32_t rejection_zone(std::uint32_t n) { return (n << std::countl_zero(n)) - 1; }
constexpr std::uint64_t rejection_zone(std::uint64_t n) { return (n << std::countl_zero(n)) - 1; }
constexpr u128 rejection_zone(u128 n) {
  const auto hi = static_cast<std::uint64_t>(n >> 64);
  const int zeros =
      hi != 0 ? std::countl_zero(hi) : 64 + std::countl_zero(static_cast<std::uint64_t>(n));
  return (n << zeros) - 1;
}

// The 32-bit zone of every count a card pick can have, 1 to 64 (entry 0 unused).
inline constexpr std::array<std::uint32_t, 65> CARD_ZONES = [] {
  std::array<std::uint32_t, 65> zones{};
  for (std::uint32_t n = 1; n <= 64; ++n) zones[n] = rejection_zone(n);
  return zones;
}();

class Rng {
 public:
  // A generator from raw state; the state must not be all zero.
  explicit constexpr Rng(const std::array<std::uint64_t, 4>& state) : s_(state) {}

  // The state is 32 bytes of PCG32 output driven from the seed.
  static Rng seed_from_u64(std::uint64_t seed);

  constexpr const std::array<std::uint64_t, 4>& state() const { return s_; }

  constexpr std::uint64_t next_u64() {
    const std::uint64_t result = std::rotl(s_[0] + s_[3], 23) + s_[0];
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = std::rotl(s_[3], 45);
    return result;
  }

  // The upper half of the next 64-bit output.
  constexpr std::uint32_t next_u32() { return static_cast<std::uint32_t>(next_u64() >> 32); }

  // Uniform below n (n >= 1) by widening multiplication: a product whose low
  // half lands above the zone (`rejection_zone(n)`) is redrawn.
  constexpr std::uint32_t below32(std::uint32_t n) { return below32_in_zone(n, rejection_zone(n)); }
  constexpr std::uint64_t below64(std::uint64_t n) { return below64_in_zone(n, rejection_zone(n)); }

  // The same draws with the zone looked up or computed by the caller once for
  // many draws; `zone` must be `rejection_zone(n)`.
  constexpr std::uint32_t below32_in_zone(std::uint32_t n, std::uint32_t zone) {
    for (;;) {
      const std::uint64_t m = std::uint64_t{next_u32()} * n;
      if (static_cast<std::uint32_t>(m) <= zone) return static_cast<std::uint32_t>(m >> 32);
    }
  }
  constexpr std::uint64_t below64_in_zone(std::uint64_t n, std::uint64_t zone) {
    for (;;) {
      const u128 m = u128{next_u64()} * n;
      if (static_cast<std::uint64_t>(m) <= zone) return static_cast<std::uint64_t>(m >> 64);
    }
  }

  // Each attempt takes two 64-bit outputs: the low half first.
  constexpr u128 below128(u128 n) {
    const u128 zone = rejection_zone(n);
    for (;;) {
      const std::uint64_t lo = next_u64();
      const std::uint64_t hi = next_u64();
      const u128 v = (u128{hi} << 64) | lo;
      u128 high, low;
      mul_wide(v, n, high, low);
      if (low <= zone) return high;
    }
  }

 private:
  // The full 256-bit product a * b as two 128-bit halves.
  static constexpr void mul_wide(u128 a, u128 b, u128& high, u128& low) {
    const u128 mask = 0xFFFFFFFFFFFFFFFFull;
    const u128 a0 = a & mask, a1 = a >> 64, b0 = b & mask, b1 = b >> 64;
    const u128 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const u128 mid = (p00 >> 64) + (p01 & mask) + (p10 & mask);
    low = (p00 & mask) | (mid << 64);
    high = p11 + (p01 >> 64) + (p10 >> 64) + (mid >> 64);
  }

  std::array<std::uint64_t, 4> s_;
};

namespace detail {

// SELECT_IN_BYTE[b][k]: position of the k-th set bit of the byte b (0 where
// b has no k-th bit). 2 KiB, built at compile time.
inline constexpr std::array<std::array<std::uint8_t, 8>, 256> SELECT_IN_BYTE = [] {
  std::array<std::array<std::uint8_t, 8>, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned k = 0;
    for (unsigned bit = 0; bit < 8; ++bit)
      if ((b >> bit) & 1u) table[b][k++] = static_cast<std::uint8_t>(bit);
  }
  return table;
}();

}  // namespace detail

// The i-th card of a set in ascending order, counted from 0; i < set.count().
// Runs once per dealt card, so it has no data-dependent branch: cards per
// byte by a parallel count, the target byte from the running sums, then the
// position inside that byte from a table.
constexpr Card nth_card(CardSet set, unsigned i) {
  constexpr std::uint64_t ONES = 0x0101010101010101ull, HIGHS = 0x8080808080808080ull;
  const std::uint64_t m = set.mask();
  std::uint64_t per_byte = m - ((m >> 1) & 0x5555555555555555ull);
  per_byte = (per_byte & 0x3333333333333333ull) + ((per_byte >> 2) & 0x3333333333333333ull);
  per_byte = (per_byte + (per_byte >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  const std::uint64_t through = per_byte * ONES;  // byte k: cards in bytes 0..k
  // High bit of byte k set when bytes 0..k hold at most i cards (no borrows:
  // each byte stays between 0x80 - 64 and 0x80 + 51).
  const std::uint64_t before_target = ((i * ONES | HIGHS) - through) & HIGHS;
  const auto byte = static_cast<unsigned>(((before_target >> 7) * ONES) >> 56);
  // Cards in the bytes below the target one (byte k of `through << 8`).
  const auto skipped = static_cast<unsigned>(((through << 8) >> (8 * byte)) & 0xFF);
  const auto bits = static_cast<unsigned>((m >> (8 * byte)) & 0xFF);
  return Card(8 * byte + detail::SELECT_IN_BYTE[bits][(i - skipped) & 7u]);
}

// A uniform card of a non-empty set: one 32-bit pick.
inline Card uniform_card(CardSet set, Rng& rng) { return nth_card(set, rng.below32(set.count())); }

// The card selection of hot loops that are compiled twice: once portable,
// once for processors with a fast parallel bit deposit (chosen at run time
// by `fast_bit_deposit`). Both answer exactly `nth_card`.
struct PortableSelect {
  static constexpr Card nth(CardSet set, unsigned i) { return nth_card(set, i); }
  // The same card as a one-bit mask.
  static constexpr std::uint64_t nth_bit(CardSet set, unsigned i) {
    return std::uint64_t{1} << nth_card(set, i).index();
  }
  // The bits of `mask` above the lowest set bit of `nonzero`.
  static constexpr std::uint64_t above_lowest(std::uint64_t mask, std::uint64_t nonzero) {
    return mask & ~(nonzero ^ (nonzero - 1));
  }
};

#if defined(__x86_64__) && defined(__GNUC__)
struct BitDepositSelect {
  // Deposits the single bit 1 << i onto the set bits of the mask, where it
  // lands on the i-th card. Written as an instruction rather than the
  // intrinsic so that no function needs a target attribute; only ever run
  // after `fast_bit_deposit` answered true.
  static std::uint64_t nth_bit(CardSet set, unsigned i) {
    std::uint64_t bit;
    asm("pdep %2, %1, %0" : "=r"(bit) : "r"(std::uint64_t{1} << i), "rm"(set.mask()));
    return bit;
  }
  static Card nth(CardSet set, unsigned i) {
    return Card(static_cast<unsigned>(std::countr_zero(nth_bit(set, i))));
  }
  // The bits of `mask` above the lowest set bit of `nonzero`: two one-cycle
  // instructions, for loops that walk a mask bit by bit on their critical path.
  static std::uint64_t above_lowest(std::uint64_t mask, std::uint64_t nonzero) {
    std::uint64_t through, above;
    asm("blsmsk %1, %0" : "=r"(through) : "rm"(nonzero) : "cc");
    asm("andn %2, %1, %0" : "=r"(above) : "r"(through), "rm"(mask) : "cc");
    return above;
  }
};

// True when the processor has BMI1 and BMI2 and its bit deposit is fast (not the
// microcoded one of AMD families 15h and 17h). Decided once.
bool fast_bit_deposit();
#else
using BitDepositSelect = PortableSelect;
inline bool fast_bit_deposit() { return false; }
#endif

}  // namespace vantor
