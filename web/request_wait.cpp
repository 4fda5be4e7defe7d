#include "request_wait.h"

#include <chrono>

#include "platform/event_pump.h"
#include "platform/http_request.h"

namespace web {
namespace {

// Short enough that the window stays responsive, long enough to keep the
// processor idle while the server is silent.
constexpr std::chrono::milliseconds kPollPause{10};

}  // namespace

bool WaitForRequest(const Retrieval& with, platform::HttpRequest& request, ClockUnit unit,
                    std::int64_t limit) {
  BoundaryWait wait(with.clock, unit, limit);
  while (request.ReadyState() != platform::kReadyStateComplete) {
    with.events.ProcessPending();
    if (wait.Over()) return false;
    request.WaitForActivity(kPollPause);
  }
  return true;
}

}  // namespace web
