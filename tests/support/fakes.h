#pragma once
// Stand-ins for what cannot be real in a test: a clock that must jump a
// minute, an event pump without a window, a message box nobody dismisses.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/message_box.h"

namespace testsupport {

class FakeClock final : public platform::Clock {
 public:
  explicit FakeClock(std::int64_t now) : now_(now) {}
  std::int64_t LocalSeconds() override { return now_; }
  void Set(std::int64_t now) { now_ = now; }
  void Advance(std::int64_t seconds) { now_ += seconds; }

 private:
  std::int64_t now_;
};

// Counts the passes of a wait and runs `onPass` on each, which is where a
// test moves the clock or closes the window.
class ScriptedPump final : public platform::EventPump {
 public:
  std::function<void()> onPass;
  int passes = 0;

  void ProcessPending() override {
    ++passes;
    if (onPass) onPass();
  }
};

class RecordingMessageBox final : public platform::MessageBox {
 public:
  std::vector<std::string> texts;

  void Show(const std::string& text, const std::string&) override { texts.push_back(text); }
};

// 2026-12-11 12:00:30 as local seconds; a minute boundary 30 s ahead.
inline constexpr std::int64_t kHalfPastNoon = 1796990430;

}  // namespace testsupport
