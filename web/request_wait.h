#pragma once
#include <cstdint>

#include "clock_boundaries.h"
#include "retrieval.h"

namespace platform {
class HttpRequest;
}  // namespace platform

namespace web {

// Polls the request until it has ended or `limit` boundaries of `unit` of
// the local clock have passed, letting the window handle its events on every
// pass and pausing briefly between passes (on the request's sockets) so that
// the wait does not spin the processor. True when the request ended.
bool WaitForRequest(const Retrieval& with, platform::HttpRequest& request, ClockUnit unit,
                    std::int64_t limit);

}  // namespace web
