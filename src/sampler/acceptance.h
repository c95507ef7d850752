// Acceptance masks: which of a block of generator outputs a bounded 32-bit
// draw below n would keep, for several n at once.
//
// A draw below n takes the upper half h of an output and keeps it when
// (h * n) mod 2^32 <= (n << countl_zero(n)) - 1. Deciding this for many
// outputs and counts at once, with vector instructions, lets a dealer whose
// counts are known in advance find its accepted outputs without a branch
// per rejection.
//
//   std::uint32_t masks[2];
//   acceptance_masks(highs, counts, masks);   // masks[j] bit i: highs[i] kept below counts[j]
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantor {

// Outputs judged per call.
inline constexpr std::size_t ACCEPTANCE_BLOCK = 32;

// masks[j] bit i is set when a draw below counts[j] keeps highs[i] (the upper
// half of an output). Every count is between 1 and 64; `masks` holds
// counts.size() words.
void acceptance_masks(const std::uint32_t* highs, std::span<const std::uint32_t> counts,
                      std::uint32_t* masks);

// True when `acceptance_masks` runs on vector instructions here (otherwise it
// is a plain loop, slower than drawing with branches). Decided once.
bool fast_acceptance_masks();

}  // namespace vantor
