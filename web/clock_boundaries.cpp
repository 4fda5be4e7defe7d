#include "clock_boundaries.h"

#include "platform/clock.h"

namespace web {
namespace {

// Truncates towards minus infinity, so that readings before 1970 count alike.
std::int64_t Truncate(std::int64_t seconds, ClockUnit unit) {
  const auto size = static_cast<std::int64_t>(unit);
  const std::int64_t whole = seconds / size;
  return (seconds % size < 0) ? whole - 1 : whole;
}

}  // namespace

std::int64_t ClockBoundaries(std::int64_t start, std::int64_t now, ClockUnit unit) {
  return Truncate(now, unit) - Truncate(start, unit);
}

BoundaryWait::BoundaryWait(platform::Clock& clock, ClockUnit unit, std::int64_t limit)
    : clock_(clock), unit_(unit), limit_(limit), start_(clock.LocalSeconds()), last_(start_) {}

bool BoundaryWait::Over() {
  const std::int64_t now = clock_.LocalSeconds();
  const bool steppedBack = ClockBoundaries(last_, now, unit_) < 0;
  last_ = now;
  return steppedBack || ClockBoundaries(start_, now, unit_) >= limit_;
}

}  // namespace web
