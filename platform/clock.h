#pragma once
#include <cstdint>

namespace platform {

// The local date and time. Waits are measured by counting boundaries of the
// local wall clock, so what matters is the wall-clock reading itself (it may
// jump forwards or backwards with DST or a correction), not elapsed time.
class Clock {
 public:
  virtual ~Clock() = default;
  // The local wall-clock reading in seconds, counted as if the local time
  // were UTC (so that truncating to a minute truncates the displayed minute).
  virtual std::int64_t LocalSeconds() = 0;
};

class SystemClock final : public Clock {
 public:
  std::int64_t LocalSeconds() override;
};

}  // namespace platform
