// How many threads a batch spreads over when the caller names none.
#pragma once

#include <cstddef>

namespace vantor {

// Logical CPUs this process may run on (CPU affinity honoured); 0 when the
// operating system cannot say.
std::size_t available_cpus();

// Hardware threads available to this process (CPU affinity honoured), capped
// at 4; 1 when the operating system cannot say. Asked afresh on every call.
std::size_t default_threads();

}  // namespace vantor
