#include "sampler/cpu.h"

#include <cstdlib>  // std::getenv
#include <string_view>

namespace vantor {

bool baseline_forced() {
  static const bool forced = [] {
    const char* value = std::getenv(FORCE_BASELINE_VARIABLE);
    return value != nullptr && std::string_view(value) != "" && std::string_view(value) != "0";
  }();
  return forced;
}

}  // namespace vantor
