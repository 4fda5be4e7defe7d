#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Receives a response body piece by piece, so that a body of any size goes
// to its storage without being held in memory. Write returns false to refuse
// the rest (a body too large for its use): the transfer stops and the request
// ends incomplete. Write may throw; the request stops the transfer and
// re-raises the error from the call that drove it.
class BodySink {
 public:
  virtual ~BodySink() = default;
  // Called once per transfer, before its first byte, with the length the
  // response announced, if any. Returns false to refuse the body at once.
  virtual bool Begin(std::optional<std::uint64_t> announced) = 0;
  virtual bool Write(const std::byte* data, std::size_t size) = 0;
};

// What bounds a blocking request: a connection that does not come up, or a
// transfer that falls below the minimum speed for the stall time, fails
// instead of holding the window's thread for ever.
struct TransferLimits {
  std::chrono::seconds connect{30};
  long minBytesPerSecond = 1024;
  std::chrono::seconds stall{30};
  int maxRedirects = 10;  // to http or https only
  // The most header bytes one response may have: more is not an update
  // server speaking, and a head without end must not be read for ever.
  std::size_t maxHeaderBytes = 100 * 1024;
};

inline constexpr int kReadyStateComplete = 4;

// One HTTP request in the manner of the platform's request component:
// Open, Send, poll ReadyState until it is 4, or abort.
class HttpRequest {
 public:
  virtual ~HttpRequest() = default;
  // Prepares a request. With async, Send returns at once and the transfer
  // advances while ReadyState is polled; without, Send returns when it ended.
  virtual void Open(std::string_view method, const std::string& url, bool async) = 0;
  // Starts the request; the body goes to the sink, which must outlive it.
  // Network failures do not throw: the request ends (ReadyState 4) with
  // Complete() false.
  virtual void Send(BodySink& sink) = 0;
  // Advances the transfer and reports its state: 1 opened, 2 sent, 3 body
  // arriving, 4 ended (completely or not).
  virtual int ReadyState() = 0;
  // Cancels the request in progress.
  virtual void Abort() = 0;
  // Sleeps until the transfer has something to do, at most `limit`: the
  // pause between two polls that keeps a wait from spinning.
  virtual void WaitForActivity(std::chrono::milliseconds limit) = 0;
  // The final response's HTTP status, 0 when none arrived.
  virtual int Status() const = 0;
  // True when the request ended with the whole response: no transport error,
  // and an end that shows the body is whole: its announced length, or the
  // last chunk of a chunked body where the platform lets that be seen. A body
  // that merely stops when the connection closes may have been cut short,
  // and is never whole.
  virtual bool Complete() const = 0;
};

// Creates request objects by the identifier of the component to use; gives
// nothing for an identifier it does not provide.
class HttpRequestFactory {
 public:
  virtual ~HttpRequestFactory() = default;
  virtual std::unique_ptr<HttpRequest> Create(std::string_view identifier) = 0;
};

// The platform's own request component.
std::unique_ptr<HttpRequestFactory> MakeHttpRequestFactory(TransferLimits limits = {});

}  // namespace platform
