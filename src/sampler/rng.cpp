#include "sampler/rng.h"

#include "sampler/cpu.h"

namespace vantor {

namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
  x += 0x9E3779B97F4A7C15ull;
  std::uint64_t z = x;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

Rng Rng::seed_from_u64(std::uint64_t seed) {
  constexpr std::uint64_t MUL = 0x5851F42D4C957F2Dull;
  constexpr std::uint64_t INC = 0xA17654E46FBE17F3ull;
  // Eight PCG32 outputs, two per state word, the first in the low half.
  std::array<std::uint64_t, 4> state{};
  std::uint64_t x = seed;
  for (int i = 0; i < 8; ++i) {
    x = x * MUL + INC;
    const auto xorshifted = static_cast<std::uint32_t>(((x >> 18) ^ x) >> 27);
    const auto v = std::rotr(xorshifted, static_cast<int>(x >> 59));
    state[i / 2] |= std::uint64_t{v} << (32 * (i % 2));
  }
  if ((state[0] | state[1] | state[2] | state[3]) == 0) {
    // xoshiro must never start from zero.
    std::uint64_t sm = 0;
    for (auto& word : state) word = splitmix64(sm);
  }
  return Rng(state);
}

#if defined(__x86_64__) && defined(__GNUC__)
bool fast_bit_deposit() {
  static const bool fast = [] {
    if (baseline_forced()) return false;
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           !__builtin_cpu_is("amdfam15h") && !__builtin_cpu_is("amdfam17h");
  }();
  return fast;
}
#endif

}  // namespace vantor
