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

namespace detail {

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
