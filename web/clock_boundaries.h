#pragma once
#include <cstdint>

namespace platform {
class Clock;
}

namespace web {

enum class ClockUnit : std::int64_t { Second = 1, Minute = 60 };

// How many boundaries of `unit` the local clock passed between two readings:
// both truncated to the whole unit, then subtracted. Negative when the clock
// went backwards.
std::int64_t ClockBoundaries(std::int64_t start, std::int64_t now, ClockUnit unit);

// A wait that is over once `limit` clock boundaries have passed since it
// began. A clock that steps back across a boundary (end of DST, a correction)
// ends it too, as a boundary would: otherwise the wait would stretch by the
// size of the step.
class BoundaryWait {
 public:
  BoundaryWait(platform::Clock& clock, ClockUnit unit, std::int64_t limit);
  // Reads the clock once.
  bool Over();

 private:
  platform::Clock& clock_;
  ClockUnit unit_;
  std::int64_t limit_;
  std::int64_t start_;
  std::int64_t last_;
};

}  // namespace web
