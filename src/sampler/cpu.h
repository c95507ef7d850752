// Which code paths the run-time processor dispatch may choose.
//
// The vector acceptance kernels and the bit-deposit card selection are picked
// once, from the processor's features. Setting VANTOR_FORCE_BASELINE=1 in the
// environment before the module loads makes every such choice fall back to
// its portable path, as on an x86-64-v2 processor without AVX2 or BMI2. It
// exists for tests: seeded results must be the same on every path.
#pragma once

namespace vantor {

inline constexpr const char* FORCE_BASELINE_VARIABLE = "VANTOR_FORCE_BASELINE";

// True when FORCE_BASELINE_VARIABLE is set to anything but "" or "0". Read once.
bool baseline_forced();

}  // namespace vantor
