#pragma once
#include <cstdint>
#include <functional>
#include <optional>

namespace platform {
class Clock;
class EventPump;
class HttpRequestFactory;
}  // namespace platform

namespace web {

// How far a download has come: the bytes stored so far and the whole length
// when the server announced it. Called with 0 when a retry starts over.
using Progress = std::function<void(std::uint64_t received, std::optional<std::uint64_t> total)>;

// What a retrieval needs from the platform: request objects, the window's
// event processing while it waits, and the local clock that bounds the wait;
// for a download, the largest body it accepts and who follows its progress.
struct Retrieval {
  platform::HttpRequestFactory& http;
  platform::EventPump& events;
  platform::Clock& clock;
  std::uint64_t maxDownloadBytes = UINT64_MAX;
  Progress progress = {};
};

}  // namespace web
