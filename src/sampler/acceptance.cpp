#include "sampler/acceptance.h"

#include "sampler/rng.h"  // CARD_ZONES

#include <array>
#include <bit>

#include "sampler/cpu.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace vantor {

namespace {

// The products for successive counts differ by the output itself:
// h * (n - 1) = h * n - h (mod 2^32), so one multiplication serves the run.
void masks_plain(const std::uint32_t* highs, std::uint32_t top, std::size_t runs, bool one,
                 std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride) {
  std::array<std::uint32_t, ACCEPTANCE_BLOCK> products;
  for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) products[i] = highs[i] * top;
  const auto judge = [&](std::uint32_t n) {
    const std::uint32_t zone = CARD_ZONES[n];
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) {
      bits |= static_cast<std::uint32_t>(products[i] <= zone) << i;
      products[i] -= highs[i];
    }
    masks[n * stride] = bits;
    copies[n * stride] = bits;
  };
  for (std::size_t j = 0; j < runs; ++j) judge(top - static_cast<std::uint32_t>(j));
  if (one) {
    for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) products[i] = highs[i];
    judge(1);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)

// Lambdas do not take on a function's target, so the vector steps are
// functions of their own, inlined into the kernels.
#define VANTOR_AVX512 __attribute__((target("avx512f,avx512bw"), always_inline)) inline
#define VANTOR_AVX2 __attribute__((target("avx2"), always_inline)) inline

VANTOR_AVX512 std::uint32_t judged_avx512(std::uint32_t n, __m512i p0, __m512i p1) {
  const __m512i zone = _mm512_set1_epi32(static_cast<int>(CARD_ZONES[n]));
  const __mmask16 k0 = _mm512_cmple_epu32_mask(p0, zone);
  const __mmask16 k1 = _mm512_cmple_epu32_mask(p1, zone);
  return _cvtmask32_u32(_mm512_kunpackw(k1, k0));
}

// Each count's word goes to masks and copies; the same address twice costs
// one store more, so the run is specialised on whether to copy. The word is
// stored as its two 16-bit halves straight from the mask registers: joining
// them first would take the port the comparisons are queued on.
template <bool COPY>
VANTOR_AVX512 void run_avx512(__m512i h0, __m512i h1, std::uint32_t top, std::size_t runs,
                              bool one, std::uint32_t* masks, std::uint32_t* copies,
                              std::ptrdiff_t stride) {
  const __m512i count = _mm512_set1_epi32(static_cast<int>(top));
  __m512i p0 = _mm512_mullo_epi32(h0, count), p1 = _mm512_mullo_epi32(h1, count);
  for (std::uint32_t n = top, last = top - static_cast<std::uint32_t>(runs); n > last; --n) {
    const __m512i zone = _mm512_set1_epi32(static_cast<int>(CARD_ZONES[n]));
    const __mmask16 k0 = _mm512_cmple_epu32_mask(p0, zone);
    const __mmask16 k1 = _mm512_cmple_epu32_mask(p1, zone);
    __mmask16* const at = reinterpret_cast<__mmask16*>(masks + n * stride);
    _store_mask16(at, k0);
    _store_mask16(at + 1, k1);
    if constexpr (COPY) {
      __mmask16* const copy = reinterpret_cast<__mmask16*>(copies + n * stride);
      _store_mask16(copy, k0);
      _store_mask16(copy + 1, k1);
    }
    p0 = _mm512_sub_epi32(p0, h0);
    p1 = _mm512_sub_epi32(p1, h1);
  }
  if (one) {
    const std::uint32_t bits = judged_avx512(1, h0, h1);
    masks[stride] = bits;
    copies[stride] = bits;
  }
}

__attribute__((target("avx512f,avx512bw"))) void masks_avx512(
    const std::uint32_t* highs, std::uint32_t top, std::size_t runs, bool one,
    std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride) {
  const __m512i h0 = _mm512_loadu_si512(highs);
  const __m512i h1 = _mm512_loadu_si512(highs + 16);
  if (copies == masks)
    run_avx512<false>(h0, h1, top, runs, one, masks, copies, stride);
  else
    run_avx512<true>(h0, h1, top, runs, one, masks, copies, stride);
}

VANTOR_AVX2 std::uint32_t judged_avx2(std::uint32_t n, const __m256i (&p)[4]) {
  const __m256i zone = _mm256_set1_epi32(static_cast<int>(CARD_ZONES[n]));
  std::uint32_t bits = 0;
  for (int v = 0; v < 4; ++v) {
    // p <= zone, unsigned: min(p, zone) == p.
    const __m256i kept = _mm256_cmpeq_epi32(_mm256_min_epu32(p[v], zone), p[v]);
    bits |= static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(kept))) << (8 * v);
  }
  return bits;
}

__attribute__((target("avx2"))) void masks_avx2(const std::uint32_t* highs, std::uint32_t top,
                                                std::size_t runs, bool one, std::uint32_t* masks,
                                                std::uint32_t* copies, std::ptrdiff_t stride) {
  __m256i h[4], p[4];
  const __m256i count = _mm256_set1_epi32(static_cast<int>(top));
  for (int v = 0; v < 4; ++v) {
    h[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(highs + 8 * v));
    p[v] = _mm256_mullo_epi32(h[v], count);
  }
  for (std::uint32_t n = top, last = top - static_cast<std::uint32_t>(runs); n > last; --n) {
    const std::uint32_t bits = judged_avx2(n, p);
    masks[n * stride] = bits;
    copies[n * stride] = bits;
    for (int v = 0; v < 4; ++v) p[v] = _mm256_sub_epi32(p[v], h[v]);
  }
  if (one) {
    const std::uint32_t bits = judged_avx2(1, h);
    masks[stride] = bits;
    copies[stride] = bits;
  }
}

#undef VANTOR_AVX512
#undef VANTOR_AVX2

using MaskKernel = detail::AcceptanceKernel;

MaskKernel pick_kernel() {
  if (baseline_forced()) return masks_plain;
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return masks_avx512;
  if (__builtin_cpu_supports("avx2")) return masks_avx2;
  return masks_plain;
}

const MaskKernel KERNEL = pick_kernel();

}  // namespace

void acceptance_masks(const std::uint32_t* highs, std::uint32_t top, std::size_t runs, bool one,
                      std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride) {
  KERNEL(highs, top, runs, one, masks, copies, stride);
}

bool fast_acceptance_masks() { return KERNEL != masks_plain; }

std::vector<detail::AcceptanceKernel> detail::acceptance_kernels() {
  std::vector<AcceptanceKernel> kernels{masks_plain};
  if (__builtin_cpu_supports("avx2")) kernels.push_back(masks_avx2);
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
    kernels.push_back(masks_avx512);
  return kernels;
}

#else

}  // namespace

void acceptance_masks(const std::uint32_t* highs, std::uint32_t top, std::size_t runs, bool one,
                      std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride) {
  masks_plain(highs, top, runs, one, masks, copies, stride);
}

bool fast_acceptance_masks() { return false; }

std::vector<detail::AcceptanceKernel> detail::acceptance_kernels() { return {masks_plain}; }

#endif

}  // namespace vantor
