#include "odds/threads.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sched.h>  // sched_getaffinity, CPU_COUNT
#endif

namespace vantor {

std::size_t default_threads() {
  constexpr std::size_t CAP = 4;
  std::size_t available = 0;
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) available = static_cast<std::size_t>(CPU_COUNT(&set));
#endif
  if (available == 0) available = std::thread::hardware_concurrency();
  if (available == 0) return 1;
  return std::min(available, CAP);
}

}  // namespace vantor
