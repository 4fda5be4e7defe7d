#pragma once

namespace platform {

// Lets the window handle what is pending (repaints, moves, input) in the
// middle of a long operation on the window's thread.
class EventPump {
 public:
  virtual ~EventPump() = default;
  // Processes every pending window event, then returns. Throws WindowClosed
  // when the user closed the window meanwhile.
  virtual void ProcessPending() = 0;
};

}  // namespace platform
