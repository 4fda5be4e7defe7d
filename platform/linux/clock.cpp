#include "platform/clock.h"

#include <ctime>

namespace platform {

std::int64_t SystemClock::LocalSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // The local reading expressed as if it were UTC: a DST change moves it.
  return static_cast<std::int64_t>(timegm(&local));
}

}  // namespace platform
