#pragma once

namespace platform {
class Clock;
class EventPump;
class HttpRequestFactory;
}  // namespace platform

namespace web {

// What a retrieval needs from the platform: request objects, the window's
// event processing while it waits, and the local clock that bounds the wait.
struct Retrieval {
  platform::HttpRequestFactory& http;
  platform::EventPump& events;
  platform::Clock& clock;
};

}  // namespace web
