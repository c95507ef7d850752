// Acceptance masks: which of a block of generator outputs a bounded 32-bit
// draw below n would keep, for several n at once.
//
// A draw below n takes the upper half h of an output and keeps it when
// (h * n) mod 2^32 is within `rejection_zone(n)` (sampler/rng.h). Deciding this for many
// outputs and counts at once, with vector instructions, lets a dealer whose
// counts are known in advance find its accepted outputs without a branch
// per rejection.
//
//   std::uint32_t masks[49];
//   acceptance_masks(highs, 48, 3, false, masks, masks, 1);  // masks[n] bit i: highs[i] kept below n
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantor {

// Outputs judged per call.
inline constexpr std::size_t ACCEPTANCE_BLOCK = 32;

// For the consecutive counts n = top, top - 1, ..., top - runs + 1 (a
// dealer's successive card draws), and n = 1 too when `one` is set (holding
// picks): bit i of masks[n * stride] is set when a draw below n keeps
// highs[i] (the upper half of an output), and copies[n * stride] gets the
// same word (pass `masks` again for no copy). Writing each count's word
// where its reader wants it spares the caller a pass over them.
// 1 <= top - runs + 1, top <= 64; `highs` holds ACCEPTANCE_BLOCK values.
void acceptance_masks(const std::uint32_t* highs, std::uint32_t top, std::size_t runs, bool one,
                      std::uint32_t* masks, std::uint32_t* copies, std::ptrdiff_t stride);

// For 64-bit draws below counts[k] (2 <= counts[k] < 2^32; holding picks
// among a range), k < size: bit i of masks[k * stride] (and of
// copies[k * stride]) is set when the draw keeps the output
// highs[i] * 2^32 + lows[i]. With v = vh * 2^32 + vl and n < 2^32 the draw
// keeps v exactly when (vh * n + hi32(vl * n)) mod 2^32 <= rejection_zone(n)
// at 32 bits, and answers (vh * n + hi32(vl * n)) >> 32 (`wide_pick`).
void wide_acceptance_masks(const std::uint32_t* highs, const std::uint32_t* lows,
                           const std::uint32_t* counts, std::size_t size, std::uint32_t* masks,
                           std::uint32_t* copies, std::ptrdiff_t stride);

// The answer of a 64-bit draw below n < 2^32 that keeps the output vh * 2^32 + vl.
inline std::uint32_t wide_pick(std::uint32_t vh, std::uint32_t vl, std::uint32_t n) {
  return static_cast<std::uint32_t>(
      (std::uint64_t{vh} * n + ((std::uint64_t{vl} * n) >> 32)) >> 32);
}

namespace detail {

using WideAcceptanceKernel = void (*)(const std::uint32_t* highs, const std::uint32_t* lows,
                                      const std::uint32_t* counts, std::size_t size,
                                      std::uint32_t* masks, std::uint32_t* copies,
                                      std::ptrdiff_t stride);
// Every implementation of `wide_acceptance_masks` here, the plain loop first.
std::vector<WideAcceptanceKernel> wide_acceptance_kernels();

using AcceptanceKernel = void (*)(const std::uint32_t* highs, std::uint32_t top,
                                  std::size_t runs, bool one, std::uint32_t* masks,
                                  std::uint32_t* copies, std::ptrdiff_t stride);

// Every implementation of `acceptance_masks` this processor can run, the
// plain loop first, so that each can be checked here.
std::vector<AcceptanceKernel> acceptance_kernels();

}  // namespace detail

// True when `acceptance_masks` runs on vector instructions here (otherwise it
// is a plain loop, slower than drawing with branches). Decided once.
bool fast_acceptance_masks();

}  // namespace vantor
