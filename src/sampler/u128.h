// Unsigned 128-bit counts that saturate instead of wrapping.
//
// Card-set counts of constrained holdings and shape weights can exceed 64 bits
// in principle; saturating at the top keeps comparisons meaningful.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vantor {

__extension__ typedef unsigned __int128 u128;

inline constexpr u128 U128_MAX = ~u128{0};

constexpr u128 sat_add(u128 a, u128 b) {
  const u128 s = a + b;
  return s < a ? U128_MAX : s;
}

constexpr u128 sat_mul(u128 a, u128 b) {
  if (a == 0 || b == 0) return 0;
  return a > U128_MAX / b ? U128_MAX : a * b;
}

}  // namespace vantor
