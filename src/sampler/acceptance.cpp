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

void wide_plain(const std::uint32_t* highs, const std::uint32_t* lows, const std::uint32_t* counts,
                std::size_t size, std::uint32_t* masks, std::uint32_t* copies,
                std::ptrdiff_t stride) {
  for (std::size_t k = 0; k < size; ++k) {
    const std::uint32_t n = counts[k], zone = rejection_zone(n);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < ACCEPTANCE_BLOCK; ++i) {
      const auto low = static_cast<std::uint32_t>(
          highs[i] * n + static_cast<std::uint32_t>((std::uint64_t{lows[i]} * n) >> 32));
      bits |= static_cast<std::uint32_t>(low <= zone) << i;
    }
    masks[k * stride] = bits;
    copies[k * stride] = bits;
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

// The low 32 bits of vh * n + hi32(vl * n): the multiplications of
// unsigned 32-bit pairs take the even lanes, so the odd ones are shifted down
// and their high halves land back in place.
VANTOR_AVX512 __mmask16 wide_judged_avx512(__m512i h, __m512i l, __m512i n, __m512i zone) {
  const __m512i even = _mm512_srli_epi64(_mm512_mul_epu32(l, n), 32);
  const __m512i odd = _mm512_mul_epu32(_mm512_srli_epi64(l, 32), n);
  const __m512i carry = _mm512_mask_blend_epi32(0xAAAA, even, odd);
  return _mm512_cmple_epu32_mask(_mm512_add_epi32(_mm512_mullo_epi32(h, n), carry), zone);
}

__attribute__((target("avx512f,avx512bw"))) void wide_avx512(
    const std::uint32_t* highs, const std::uint32_t* lows, const std::uint32_t* counts,
    std::size_t size, std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride) {
  const __m512i h0 = _mm512_loadu_si512(highs), h1 = _mm512_loadu_si512(highs + 16);
  const __m512i l0 = _mm512_loadu_si512(lows), l1 = _mm512_loadu_si512(lows + 16);
  for (std::size_t k = 0; k < size; ++k) {
    const __m512i n = _mm512_set1_epi32(static_cast<int>(counts[k]));
    const __m512i zone = _mm512_set1_epi32(static_cast<int>(rejection_zone(counts[k])));
    const std::uint32_t bits = _cvtmask32_u32(
        _mm512_kunpackw(wide_judged_avx512(h1, l1, n, zone), wide_judged_avx512(h0, l0, n, zone)));
    masks[k * stride] = bits;
    copies[k * stride] = bits;
  }
}

VANTOR_AVX2 std::uint32_t wide_judged_avx2(const std::uint32_t* highs, const std::uint32_t* lows,
                                           __m256i n, __m256i zone) {
  std::uint32_t bits = 0;
  for (int v = 0; v < 4; ++v) {
    const __m256i h = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(highs + 8 * v));
    const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lows + 8 * v));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(l, n), 32);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(l, 32), n);
    const __m256i low = _mm256_add_epi32(_mm256_mullo_epi32(h, n), _mm256_blend_epi32(even, odd, 0xAA));
    const __m256i kept = _mm256_cmpeq_epi32(_mm256_min_epu32(low, zone), low);
    bits |= static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(kept))) << (8 * v);
  }
  return bits;
}

__attribute__((target("avx2"))) void wide_avx2(const std::uint32_t* highs, const std::uint32_t* lows,
                                               const std::uint32_t* counts, std::size_t size,
                                               std::uint32_t* masks, std::uint32_t* copies,
                                               std::ptrdiff_t stride) {
  for (std::size_t k = 0; k < size; ++k) {
    const __m256i n = _mm256_set1_epi32(static_cast<int>(counts[k]));
    const __m256i zone = _mm256_set1_epi32(static_cast<int>(rejection_zone(counts[k])));
    const std::uint32_t bits = wide_judged_avx2(highs, lows, n, zone);
    masks[k * stride] = bits;
    copies[k * stride] = bits;
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

using WideKernel = detail::WideAcceptanceKernel;

// The same choice as for `KERNEL`.
WideKernel pick_wide_kernel() {
  if (KERNEL == masks_avx512) return wide_avx512;
  if (KERNEL == masks_avx2) return wide_avx2;
  return wide_plain;
}

const WideKernel WIDE_KERNEL = pick_wide_kernel();

}  // namespace

void acceptance_masks(const std::uint32_t* highs, std::uint32_t top, std::size_t runs, bool one,
                      std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride) {
  KERNEL(highs, top, runs, one, masks, copies, stride);
}

void wide_acceptance_masks(const std::uint32_t* highs, const std::uint32_t* lows,
                           const std::uint32_t* counts, std::size_t size, std::uint32_t* masks,
                           std::uint32_t* copies, std::ptrdiff_t stride) {
  WIDE_KERNEL(highs, lows, counts, size, masks, copies, stride);
}

bool fast_acceptance_masks() { return KERNEL != masks_plain; }

namespace {

// The kernels of one family this processor can run, the plain one first.
template <class Kernel>
std::vector<Kernel> runnable(Kernel plain, Kernel avx2, Kernel avx512) {
  std::vector<Kernel> kernels{plain};
  if (__builtin_cpu_supports("avx2")) kernels.push_back(avx2);
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
    kernels.push_back(avx512);
  return kernels;
}

}  // namespace

std::vector<detail::WideAcceptanceKernel> detail::wide_acceptance_kernels() {
  return runnable(wide_plain, wide_avx2, wide_avx512);
}

std::vector<detail::AcceptanceKernel> detail::acceptance_kernels() {
  return runnable(masks_plain, masks_avx2, masks_avx512);
}

#else

}  // namespace

void acceptance_masks(const std::uint32_t* highs, std::uint32_t top, std::size_t runs, bool one,
                      std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride) {
  masks_plain(highs, top, runs, one, masks, copies, stride);
}

void wide_acceptance_masks(const std::uint32_t* highs, const std::uint32_t* lows,
                           const std::uint32_t* counts, std::size_t size, std::uint32_t* masks,
                           std::uint32_t* copies, std::ptrdiff_t stride) {
  wide_plain(highs, lows, counts, size, masks, copies, stride);
}

bool fast_acceptance_masks() { return false; }

std::vector<detail::WideAcceptanceKernel> detail::wide_acceptance_kernels() { return {wide_plain}; }

std::vector<detail::AcceptanceKernel> detail::acceptance_kernels() { return {masks_plain}; }

#endif

}  // namespace vantor
