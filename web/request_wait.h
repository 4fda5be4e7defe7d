#pragma once

namespace platform {
class EventPump;
class HttpRequest;
}  // namespace platform

namespace web {

class BoundaryWait;

// Polls the request until it has ended or the wait is over, letting the
// window handle its events on every pass and pausing briefly between passes
// (on the request's sockets) so that the wait does not spin the processor.
// True when the request ended.
bool WaitForRequest(platform::HttpRequest& request, platform::EventPump& events,
                    BoundaryWait& wait);

}  // namespace web
