#include "sampler/acceptance.h"

#include <bit>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace vantor {

namespace {

constexpr std::uint32_t zone_of(std::uint32_t n) { return (n << std::countl_zero(n)) - 1; }

void masks_plain(const std::uint32_t* highs, std::span<const std::uint32_t> counts,
                 std::uint32_t* masks) {
  for (std::size_t j = 0; j < counts.size(); ++j) {
    const std::uint32_t n = counts[j], zone = zone_of(n);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i)
      bits |= static_cast<std::uint32_t>(static_cast<std::uint32_t>(highs[i] * n) <= zone) << i;
    masks[j] = bits;
  }
}

#if defined(__x86_64__) && defined(__GNUC__)

__attribute__((target("avx512f"))) void masks_avx512(const std::uint32_t* highs,
                                                     std::span<const std::uint32_t> counts,
                                                     std::uint32_t* masks) {
  const __m512i h0 = _mm512_loadu_si512(highs);
  const __m512i h1 = _mm512_loadu_si512(highs + 16);
  for (std::size_t j = 0; j < counts.size(); ++j) {
    const __m512i n = _mm512_set1_epi32(static_cast<int>(counts[j]));
    const __m512i zone = _mm512_set1_epi32(static_cast<int>(zone_of(counts[j])));
    // The low half of each product, compared unsigned.
    const __mmask16 k0 = _mm512_cmple_epu32_mask(_mm512_mullo_epi32(h0, n), zone);
    const __mmask16 k1 = _mm512_cmple_epu32_mask(_mm512_mullo_epi32(h1, n), zone);
    masks[j] = static_cast<std::uint32_t>(k0) | (static_cast<std::uint32_t>(k1) << 16);
  }
}

__attribute__((target("avx2"))) void masks_avx2(const std::uint32_t* highs,
                                                std::span<const std::uint32_t> counts,
                                                std::uint32_t* masks) {
  __m256i h[4];
  for (int v = 0; v < 4; ++v)
    h[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(highs + 8 * v));
  for (std::size_t j = 0; j < counts.size(); ++j) {
    const __m256i n = _mm256_set1_epi32(static_cast<int>(counts[j]));
    const __m256i zone = _mm256_set1_epi32(static_cast<int>(zone_of(counts[j])));
    std::uint32_t bits = 0;
    for (int v = 0; v < 4; ++v) {
      const __m256i low = _mm256_mullo_epi32(h[v], n);
      // low <= zone, unsigned: min(low, zone) == low.
      const __m256i kept = _mm256_cmpeq_epi32(_mm256_min_epu32(low, zone), low);
      bits |= static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(kept))) << (8 * v);
    }
    masks[j] = bits;
  }
}

using MaskKernel = void (*)(const std::uint32_t*, std::span<const std::uint32_t>, std::uint32_t*);

MaskKernel pick_kernel() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return masks_avx512;
  if (__builtin_cpu_supports("avx2")) return masks_avx2;
  return masks_plain;
}

const MaskKernel KERNEL = pick_kernel();

}  // namespace

void acceptance_masks(const std::uint32_t* highs, std::span<const std::uint32_t> counts,
                      std::uint32_t* masks) {
  KERNEL(highs, counts, masks);
}

bool fast_acceptance_masks() { return KERNEL != masks_plain; }

#else

}  // namespace

void acceptance_masks(const std::uint32_t* highs, std::span<const std::uint32_t> counts,
                      std::uint32_t* masks) {
  masks_plain(highs, counts, masks);
}

bool fast_acceptance_masks() { return false; }

#endif

}  // namespace vantor
