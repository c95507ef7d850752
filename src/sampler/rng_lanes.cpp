#include "sampler/rng_lanes.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "sampler/cpu.h"

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12's intrinsics start some results from a deliberately undefined value.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace vantor {

namespace {

using Lanes = std::uint64_t[4][RngLanes::LANES];
using Targets = std::uint32_t* const[RngLanes::LANES];

void lanes_plain(Lanes& state, unsigned active, const Targets& to) {
  for (unsigned lane = 0; lane < RngLanes::LANES; ++lane) {
    if ((active >> lane & 1u) == 0) continue;
    Rng g({state[0][lane], state[1][lane], state[2][lane], state[3][lane]});
    for (unsigned i = 0; i < RngLanes::BLOCK; ++i) to[lane][i] = g.next_u32();
    for (unsigned k = 0; k < 4; ++k) state[k][lane] = g.state()[k];
  }
}

#if defined(__x86_64__) && defined(__GNUC__)

// The step of `Rng::next_u64` on every lane of a vector of 64-bit states,
// written once for both widths; inlined, it takes the caller's instructions.
// Vectors pass by reference only: no vector crosses a call of the default target.
template <class V>
[[gnu::always_inline]] inline void step_lanes(V (&s)[4], V& result) {
  const V sum = s[0] + s[3];
  result = ((sum << 23) | (sum >> 41)) + s[0];
  const V t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = (s[3] << 45) | (s[3] >> 19);
}

using U64x8 = std::uint64_t __attribute__((vector_size(64)));
using U64x4 = std::uint64_t __attribute__((vector_size(32)));

// Word k of lanes first, first + 1, ... as one vector.
template <class V>
[[gnu::always_inline]] inline void load_lanes(const Lanes& state, unsigned first, V (&s)[4]) {
  for (unsigned k = 0; k < 4; ++k) std::memcpy(&s[k], state[k] + first, sizeof s[k]);
}

// The step of `Rng::next_u64`, lane by lane; eight steps' upper halves are
// turned lane-major in registers (an 8 × 8 transpose) and stored per lane.
__attribute__((target("avx512f,avx2"))) void lanes_avx512(Lanes& state, unsigned active,
                                                           const Targets& to) {
  U64x8 s[4], old[4];
  load_lanes(state, 0, s);
  load_lanes(state, 0, old);
  for (unsigned i = 0; i < RngLanes::BLOCK; i += 8) {
    __m256i r[8];
    for (unsigned k = 0; k < 8; ++k) {
      U64x8 result;
      step_lanes(s, result);
      r[k] = _mm512_cvtepi64_epi32(_mm512_srli_epi64(reinterpret_cast<__m512i>(result), 32));
    }
    __m256i t[8], u[8];
    for (unsigned k = 0; k < 8; k += 2) {
      t[k] = _mm256_unpacklo_epi32(r[k], r[k + 1]);
      t[k + 1] = _mm256_unpackhi_epi32(r[k], r[k + 1]);
    }
    for (unsigned k = 0; k < 8; k += 4) {
      u[k] = _mm256_unpacklo_epi64(t[k], t[k + 2]);
      u[k + 1] = _mm256_unpackhi_epi64(t[k], t[k + 2]);
      u[k + 2] = _mm256_unpacklo_epi64(t[k + 1], t[k + 3]);
      u[k + 3] = _mm256_unpackhi_epi64(t[k + 1], t[k + 3]);
    }
    for (unsigned lane = 0; lane < 4; ++lane) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(to[lane] + i),
                          _mm256_permute2x128_si256(u[lane], u[lane + 4], 0x20));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(to[lane + 4] + i),
                          _mm256_permute2x128_si256(u[lane], u[lane + 4], 0x31));
    }
  }
  // Streams left out keep their state.
  const auto keep = static_cast<__mmask8>(active);
  for (unsigned k = 0; k < 4; ++k)
    _mm512_store_si512(state[k], _mm512_mask_blend_epi64(keep, reinterpret_cast<__m512i>(old[k]),
                                                         reinterpret_cast<__m512i>(s[k])));
}

// Lanes 0 to 3 only, at half the width: the same steps, a 4 × 4 transpose.
__attribute__((target("avx512f,avx512vl"))) void lanes_avx512_half(Lanes& state, unsigned active,
                                                                    const Targets& to) {
  U64x4 s[4], old[4];
  load_lanes(state, 0, s);
  load_lanes(state, 0, old);
  for (unsigned i = 0; i < RngLanes::BLOCK; i += 4) {
    __m128i r[4];
    for (unsigned k = 0; k < 4; ++k) {
      U64x4 result;
      step_lanes(s, result);
      r[k] = _mm256_cvtepi64_epi32(_mm256_srli_epi64(reinterpret_cast<__m256i>(result), 32));
    }
    const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpackhi_epi32(r[0], r[1]);
    const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to[0] + i), _mm_unpacklo_epi64(t0, t2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to[1] + i), _mm_unpackhi_epi64(t0, t2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to[2] + i), _mm_unpacklo_epi64(t1, t3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to[3] + i), _mm_unpackhi_epi64(t1, t3));
  }
  const auto keep = static_cast<__mmask8>(active);
  for (unsigned k = 0; k < 4; ++k)
    _mm256_store_si256(reinterpret_cast<__m256i*>(state[k]),
                       _mm256_mask_blend_epi64(keep, reinterpret_cast<__m256i>(old[k]),
                                               reinterpret_cast<__m256i>(s[k])));
}

// Eight lanes, or four at half the width when the others are idle.
__attribute__((target("avx512f,avx512vl"))) void lanes_avx512_any(Lanes& state, unsigned active,
                                                                   const Targets& to) {
  if (active <= 0xFu) lanes_avx512_half(state, active, to);
  else lanes_avx512(state, active, to);
}

__attribute__((target("avx2"))) void lanes_avx2(Lanes& state, unsigned active, const Targets& to) {
  for (unsigned half = 0; half < RngLanes::LANES; half += 4) {
    const unsigned keep = (active >> half) & 0xFu;
    if (keep == 0) continue;
    U64x4 s[4];
    load_lanes(state, half, s);
    alignas(32) std::uint32_t out[RngLanes::BLOCK][8];  // out[i][2 × lane + 1]: upper half
    for (unsigned i = 0; i < RngLanes::BLOCK; ++i) {
      U64x4 result;
      step_lanes(s, result);
      std::memcpy(out[i], &result, sizeof result);
    }
    for (unsigned lane = 0; lane < 4; ++lane) {
      if ((keep >> lane & 1u) == 0) continue;
      for (unsigned k = 0; k < 4; ++k) state[k][half + lane] = s[k][lane];
      for (unsigned i = 0; i < RngLanes::BLOCK; ++i) to[half + lane][i] = out[i][2 * lane + 1];
    }
  }
}

RngLanes::Kernel pick_kernel() {
  if (baseline_forced()) return lanes_plain;
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
    return lanes_avx512_any;
  if (__builtin_cpu_supports("avx2")) return lanes_avx2;
  return lanes_plain;
}

#else

RngLanes::Kernel pick_kernel() { return lanes_plain; }

#endif

}  // namespace

RngLanes::RngLanes() {
  static const Kernel fastest = pick_kernel();
  kernel_ = fastest;
}

std::vector<RngLanes::Kernel> RngLanes::kernels() {
  std::vector<Kernel> all{lanes_plain};
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) all.push_back(lanes_avx2);
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl")) {
    all.push_back(lanes_avx512_any);
  }
#endif
  return all;
}

void RngLanes::add(const Rng& rng) {
  const unsigned lane = size_++;
  for (unsigned k = 0; k < 4; ++k) state_[k][lane] = rng.state()[k];
  // From the ring's second block: a reader may point a block before its first.
  head_[lane] = 1;
  fill_[lane] = 0;
}

void RngLanes::refill() {
  // Where each stream's next block goes and how many it wants, found once:
  // the rounds then only step them.
  std::array<unsigned, LANES> wanted{}, at{};
  unsigned rounds = 0;
  for (unsigned lane = 0; lane < size_; ++lane) {
    wanted[lane] = DEPTH - fill_[lane];
    at[lane] = (head_[lane] + fill_[lane]) % RING;
    fill_[lane] = DEPTH;
    rounds = std::max(rounds, wanted[lane]);
  }
  for (unsigned round = 0; round < rounds; ++round) {
    unsigned active = 0;
    std::uint32_t* to[LANES];
    for (unsigned lane = 0; lane < LANES; ++lane) {
      const bool wants = round < wanted[lane];
      active |= unsigned{wants} << lane;
      to[lane] = wants ? held_[lane].data() + at[lane] * BLOCK : scratch_.data();
    }
    kernel_(state_, active, to);
    for (unsigned lane = 0; lane < size_; ++lane) {
      if (round >= wanted[lane]) continue;
      if (at[lane] == 0)
        std::memcpy(held_[lane].data() + RING * BLOCK, held_[lane].data(), BLOCK * sizeof(std::uint32_t));
      at[lane] = at[lane] + 1 == RING ? 0 : at[lane] + 1;
    }
  }
}

}  // namespace vantor
