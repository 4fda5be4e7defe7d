#include "request_wait.h"

#include <chrono>

#include "clock_boundaries.h"
#include "platform/event_pump.h"
#include "platform/http_request.h"

namespace web {
namespace {

// Short enough that the window stays responsive, long enough to keep the
// processor idle while the server is silent.
constexpr std::chrono::milliseconds kPollPause{10};

}  // namespace

bool WaitForRequest(platform::HttpRequest& request, platform::EventPump& events,
                    BoundaryWait& wait) {
  while (request.ReadyState() != platform::kReadyStateComplete) {
    events.ProcessPending();
    if (wait.Over()) return false;
    request.WaitForActivity(kPollPause);
  }
  return true;
}

}  // namespace web
