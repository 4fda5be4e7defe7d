#pragma once
#include <functional>

namespace platform {
class EventPump;
}  // namespace platform

namespace web {

// Runs one blocking file step (flushing, renaming or copying a large file:
// up to seconds) on a thread of its own while the window keeps handling its
// events, and returns when the step has ended, raising its error if it
// failed. If the window is closed meanwhile, the step still ends before the
// WindowClosed from the window goes on.
void WhileWindowLives(platform::EventPump& events, const std::function<void()>& step);

}  // namespace web
