#include "background.h"

#include <chrono>
#include <future>

#include "platform/event_pump.h"

namespace web {
namespace {

constexpr std::chrono::milliseconds kPollPause{10};

}  // namespace

void WhileWindowLives(platform::EventPump& events, const std::function<void()>& step) {
  // The future's destructor waits for the step: an error out of the window's
  // events leaves only once the file step has ended.
  auto done = std::async(std::launch::async, step);
  while (done.wait_for(kPollPause) != std::future_status::ready) events.ProcessPending();
  done.get();
}

}  // namespace web
