#include "odds/threads.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sched.h>  // sched_getaffinity, CPU_COUNT
#endif

namespace vantor {

std::size_t available_cpus() {
  std::size_t available = 0;
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) available = static_cast<std::size_t>(CPU_COUNT(&set));
#endif
  if (available == 0) available = std::thread::hardware_concurrency();
  return available;
}

std::size_t default_threads() {
  constexpr std::size_t CAP = 4;
  const std::size_t available = available_cpus();
  return available == 0 ? 1 : std::min(available, CAP);
}

}  // namespace vantor
