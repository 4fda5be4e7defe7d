#pragma once
// Driving the real window from a test as a user would: letting it handle its
// events, acting at a moment during a wait (a timer of the window's own
// event loop), and a real pointer click at a place in its client area.
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/window.h"

#ifdef _WIN32
#include <map>

#include "platform/windows/wide_text.h"  // windows.h
#else
#include <gtk/gtk.h>

#include <cstdlib>
#endif

namespace testsupport {

// Lets the window handle everything that is pending, for a while.
inline void Pump(platform::Window& window,
                 std::chrono::milliseconds during = std::chrono::milliseconds(0)) {
  const auto end = std::chrono::steady_clock::now() + during;
  do {
    window.ProcessPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
}

// Runs `action` from the window's event loop after `interval`, once or every
// interval until the timer goes away.
class WindowTimer {
 public:
  WindowTimer(std::chrono::milliseconds interval, bool repeat, std::function<void()> action)
      : repeat_(repeat), action_(std::move(action)) {
#ifdef _WIN32
    id_ = ::SetTimer(nullptr, 0, static_cast<UINT>(interval.count()), &WindowTimer::Fired);
    Timers()[id_] = this;
#else
    id_ = g_timeout_add(static_cast<guint>(interval.count()), &WindowTimer::Fired, this);
#endif
  }
  ~WindowTimer() { Stop(); }
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;

 private:
  void Stop() {
    if (!id_) return;
#ifdef _WIN32
    ::KillTimer(nullptr, id_);
    Timers().erase(id_);
#else
    g_source_remove(id_);
#endif
    id_ = 0;
  }

#ifdef _WIN32
  // Thread timers carry no data of their own: they are found by their id.
  static std::map<UINT_PTR, WindowTimer*>& Timers() {
    static std::map<UINT_PTR, WindowTimer*> timers;
    return timers;
  }
  static void CALLBACK Fired(HWND, UINT, UINT_PTR id, DWORD) {
    const auto found = Timers().find(id);
    if (found == Timers().end()) return;
    WindowTimer* timer = found->second;
    if (!timer->repeat_) timer->Stop();
    timer->action_();
  }
  UINT_PTR id_ = 0;
#else
  static gboolean Fired(gpointer self) {
    auto* timer = static_cast<WindowTimer*>(self);
    if (!timer->repeat_) timer->id_ = 0;
    timer->action_();
    return timer->repeat_ ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
  }
  guint id_ = 0;
#endif
  bool repeat_;
  std::function<void()> action_;
};

// A real click of the pointer's first button at (x, y) of the client area of
// the visible window titled `title`, through the window system's input.
inline bool RealClick(const std::string& title, int x, int y) {
#ifdef _WIN32
  const HWND window = ::FindWindowW(nullptr, platform::Wide(title).c_str());
  if (!window) return false;
  POINT at{x, y};
  ::ClientToScreen(window, &at);
  ::SetForegroundWindow(window);
  INPUT input[3] = {};
  for (INPUT& one : input) one.type = INPUT_MOUSE;
  input[0].mi.dx = at.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
  input[0].mi.dy = at.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
  input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  return ::SendInput(3, input, sizeof(INPUT)) == 3;
#else
  // The program's windows are told apart by their class, not their title.
  (void)title;
  const std::string command =
      "timeout 10 xdotool search --sync --onlyvisible --classname '^tarnwick-updater$' "
      "mousemove --window %1 " + std::to_string(x) + " " + std::to_string(y) + " click 1";
  return std::system(command.c_str()) == 0;
#endif
}

}  // namespace testsupport
