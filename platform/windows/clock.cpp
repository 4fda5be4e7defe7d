#include "platform/clock.h"

#include <windows.h>

namespace platform {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;       // FILETIME counts 100 ns
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

}  // namespace

std::int64_t SystemClock::LocalSeconds() {
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  // The local reading expressed as if it were UTC: a DST change moves it.
  FILETIME asIfUtc;
  ::SystemTimeToFileTime(&local, &asIfUtc);
  ULARGE_INTEGER ticks;
  ticks.LowPart = asIfUtc.dwLowDateTime;
  ticks.HighPart = asIfUtc.dwHighDateTime;
  return static_cast<std::int64_t>(ticks.QuadPart) / kTicksPerSecond - kSecondsFrom1601To1970;
}

}  // namespace platform
