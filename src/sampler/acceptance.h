// Acceptance masks: which of a block of generator outputs a bounded 32-bit
// draw below n would keep, for several n at once.
//
// A draw below n takes the upper half h of an output and keeps it when
// (h * n) mod 2^32 is within `rejection_zone(n)` (sampler/rng.h). Deciding this for many
// outputs and counts at once, with vector instructions, lets a dealer whose
// counts are known in advance find its accepted outputs without a branch
// per rejection.
//
//   std::uint32_t masks[3];
//   acceptance_masks(highs, 48, 3, masks);   // masks[j] bit i: highs[i] kept below 48 - j
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantor {

// Outputs judged per call.
inline constexpr std::size_t ACCEPTANCE_BLOCK = 32;

// For the consecutive counts top, top - 1, ..., top - runs + 1 (a dealer's
// successive card draws): masks[j] bit i is set when a draw below top - j
// keeps highs[i] (the upper half of an output). 1 <= top - runs + 1 and
// top <= 64; `highs` holds ACCEPTANCE_BLOCK values and `masks` `runs` words.
void acceptance_masks(const std::uint32_t* highs, std::uint32_t top, std::size_t runs,
                      std::uint32_t* masks);

namespace detail {

using AcceptanceKernel = void (*)(const std::uint32_t* highs, std::uint32_t top,
                                  std::size_t runs, std::uint32_t* masks);

// Every implementation of `acceptance_masks` this processor can run, the
// plain loop first, so that each can be checked here.
std::vector<AcceptanceKernel> acceptance_kernels();

}  // namespace detail

// True when `acceptance_masks` runs on vector instructions here (otherwise it
// is a plain loop, slower than drawing with branches). Decided once.
bool fast_acceptance_masks();

}  // namespace vantor
