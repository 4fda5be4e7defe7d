// The request object on Windows: WinHTTP with time-outs on every request.
// Each Send runs the transfer on a thread of its own that only fetches; the
// body reaches the sink on the caller's thread, when it polls ReadyState, so
// a request that is given up on can be left to end by itself without ever
// touching the sink again. Only the transfer thread uses its WinHTTP handles
// (closing one from another thread could let a new request reuse its value
// under a call still in flight): a cancelled transfer stops at its next
// step, or at its time-outs when the server has gone silent.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/http_request.h"
#include "unique_handle.h"
#include "wide_text.h"

namespace platform {
namespace {

constexpr const char* kComponents[] = {"MSXML2.XMLHTTP", "Microsoft.XMLHTTP"};
constexpr wchar_t kUserAgent[] = L"Tarnwick updater";
constexpr DWORD kReadSize = 256 * 1024;
// How much of the body may wait for the caller to store it before the
// transfer pauses: memory stays flat whatever the body's size.
constexpr std::size_t kMaxQueued = 8 * 1024 * 1024;
// An asynchronous request is bounded by its caller's wait. These limits only
// end the transfer of one that was given up on and left to itself.
constexpr std::chrono::seconds kLeftAloneLimit{120};

int Milliseconds(std::chrono::seconds limit) { return static_cast<int>(limit.count() * 1000); }

// Owns one WinHTTP handle (session, connection or request).
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_) ::WinHttpCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

// What the transfer thread and the caller's thread share. The transfer
// thread appends chunks and the outcome; the caller's thread takes chunks
// and may cancel. Kept alive by both, so either may go first.
struct Transfer {
  std::mutex mutex;
  std::condition_variable room;
  std::deque<std::vector<std::byte>> chunks;
  std::size_t queued = 0;
  int status = 0;
  std::optional<std::uint64_t> announced;  // Content-Length of the final response
  bool arriving = false;  // the response has begun
  bool ended = false;
  bool whole = false;     // ended with all of the body, as announced
  bool cancelled = false;
  UniqueHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};

  void Cancel() {
    std::lock_guard lock(mutex);
    cancelled = true;
    room.notify_all();
  }
};

struct Target {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;
  bool secure = false;
};

std::optional<Target> Parse(const std::wstring& url) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return std::nullopt;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
    return std::nullopt;
  Target target;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.port = parts.nPort;
  target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.path.empty()) target.path = L"/";
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return target;
}

std::optional<std::uint64_t> ContentLength(HINTERNET request) {
  wchar_t text[32];
  DWORD size = sizeof text;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  return std::wcstoull(text, nullptr, 10);
}

int StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  return static_cast<int>(status);
}

// Bounds every step: a connection that does not come up, and a server that
// goes silent for `stall` while sending or receiving, fail the request.
void SetLimits(HINTERNET request, const TransferLimits& limits, bool async) {
  const int connect = Milliseconds(async ? kLeftAloneLimit : limits.connect);
  const int stall = Milliseconds(async ? kLeftAloneLimit : limits.stall);
  ::WinHttpSetTimeouts(request, connect, connect, stall, stall);
  DWORD response = static_cast<DWORD>(stall);
  ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response, sizeof response);
  DWORD headers = static_cast<DWORD>(limits.maxHeaderBytes);
  ::WinHttpSetOption(request, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &headers, sizeof headers);
  DWORD redirects = static_cast<DWORD>(limits.maxRedirects);
  ::WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                     sizeof redirects);
}

// Hands one chunk over, waiting while too much is queued. False once the
// transfer was cancelled.
bool Deliver(Transfer& transfer, std::vector<std::byte> chunk) {
  std::unique_lock lock(transfer.mutex);
  transfer.room.wait(lock, [&] { return transfer.cancelled || transfer.queued < kMaxQueued; });
  if (transfer.cancelled) return false;
  transfer.queued += chunk.size();
  transfer.chunks.push_back(std::move(chunk));
  ::SetEvent(transfer.wake.Get());
  return true;
}

// The minimum-speed rule of a blocking request: over each stretch of `stall`,
// at least minBytesPerSecond on average, or the transfer fails. (A server
// that trickles a byte now and then never trips the receive time-out.)
class SpeedCheck {
 public:
  SpeedCheck(const TransferLimits& limits, bool enforced)
      : limits_(limits), enforced_(enforced), start_(std::chrono::steady_clock::now()) {}

  // Counts `bytes` that just arrived; false when the stretch ended too slow.
  bool Arrived(std::uint64_t bytes) {
    bytes_ += bytes;
    const auto now = std::chrono::steady_clock::now();
    if (!enforced_ || now - start_ < limits_.stall) return true;
    const auto needed = static_cast<std::uint64_t>(limits_.minBytesPerSecond) *
                        static_cast<std::uint64_t>(limits_.stall.count());
    if (bytes_ < needed) return false;
    start_ = now;
    bytes_ = 0;
    return true;
  }

 private:
  const TransferLimits& limits_;
  bool enforced_;
  std::chrono::steady_clock::time_point start_;
  std::uint64_t bytes_ = 0;
};

// Reads the body to its end; true when it arrived as announced. WinHTTP
// does not tell whether a chunked body's last chunk came or the connection
// just closed, so a body without an announced length is never taken as
// whole. Asking what is available first hands each piece over as it
// arrives, where a plain read may wait to fill its whole buffer.
bool ReceiveBody(Transfer& transfer, HINTERNET request, SpeedCheck speed) {
  const auto announced = ContentLength(request);
  std::uint64_t received = 0;
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) return false;
    if (available == 0) return announced && received == *announced;
    std::vector<std::byte> chunk(std::min<DWORD>(available, kReadSize));
    DWORD read = 0;
    if (!::WinHttpReadData(request, chunk.data(), static_cast<DWORD>(chunk.size()), &read))
      return false;
    if (read == 0) return announced && received == *announced;
    received += read;
    chunk.resize(read);
    if (!speed.Arrived(read) || !Deliver(transfer, std::move(chunk))) return false;
  }
}

// The size of the final response's headers, in bytes as WinHTTP keeps them.
DWORD HeaderBytes(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  return size / sizeof(wchar_t);
}

// The request up to its final response's headers (redirects followed).
// Headers beyond the limit fail it here too: not every WinHTTP enforces the
// limit itself.
bool ReceiveHeaders(Transfer& transfer, HINTERNET request, const TransferLimits& limits) {
  if (!::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
      !::WinHttpReceiveResponse(request, nullptr) || HeaderBytes(request) > limits.maxHeaderBytes)
    return false;
  std::lock_guard lock(transfer.mutex);
  transfer.status = StatusCode(request);
  transfer.announced = ContentLength(request);
  transfer.arriving = true;
  return true;
}

bool Fetch(Transfer& transfer, const std::wstring& url, const TransferLimits& limits, bool async) {
  const auto target = Parse(url);
  if (!target) return false;
  InternetHandle session(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  InternetHandle connection(::WinHttpConnect(session.Get(), target->host.c_str(), target->port, 0));
  if (!connection) return false;
  InternetHandle request(::WinHttpOpenRequest(
      connection.Get(), L"GET", target->path.c_str(), nullptr, WINHTTP_NO_REFERER,
      WINHTTP_DEFAULT_ACCEPT_TYPES, target->secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return false;
  SetLimits(request.Get(), limits, async);
  return ReceiveHeaders(transfer, request.Get(), limits) &&
         ReceiveBody(transfer, request.Get(), SpeedCheck(limits, !async));
}

void RunTransfer(std::shared_ptr<Transfer> transfer, std::wstring url, TransferLimits limits,
                 bool async) noexcept {
  bool whole = false;
  try {
    whole = Fetch(*transfer, url, limits, async);
  } catch (...) {
    // Out of memory: the request ends incomplete.
  }
  std::lock_guard lock(transfer->mutex);
  transfer->ended = true;
  transfer->whole = whole && !transfer->cancelled;
  ::SetEvent(transfer->wake.Get());
}

class WinHttpRequest final : public HttpRequest {
 public:
  explicit WinHttpRequest(const TransferLimits& limits) : limits_(limits) {}
  ~WinHttpRequest() override { LetGo(); }

  void Open(std::string_view, const std::string& url, bool async) override {
    LetGo();
    url_ = Wide(url);
    async_ = async;
    state_ = 1;
  }

  void Send(BodySink& sink) override {
    sink_ = &sink;
    begun_ = false;
    status_ = 0;
    whole_ = false;
    state_ = 2;
    transfer_ = std::make_shared<Transfer>();
    if (!transfer_->wake.Valid()) throw Error("cannot create an event for the request");
    std::thread(RunTransfer, transfer_, url_, limits_, async_).detach();
    if (async_) return;
    // Blocking: the transfer's own time-outs bound this wait, and the
    // response's head must arrive within the connect and stall limits
    // together, which a server that sends header lines without end would
    // otherwise never trip.
    const auto headDeadline = std::chrono::steady_clock::now() + limits_.connect + limits_.stall;
    while (state_ != kReadyStateComplete) {
      if (::WaitForSingleObject(transfer_->wake.Get(), WaitForHead(headDeadline)) == WAIT_TIMEOUT) {
        Finish(false);
        return;
      }
      Advance();
    }
  }

  int ReadyState() override {
    if (transfer_) Advance();
    return state_;
  }

  void Abort() override {
    LetGo();
    state_ = 0;
  }

  // Sleeps until the transfer has news or the window has input.
  void WaitForActivity(std::chrono::milliseconds limit) override {
    const HANDLE wake = transfer_ ? transfer_->wake.Get() : nullptr;
    ::MsgWaitForMultipleObjects(wake ? 1 : 0, wake ? &wake : nullptr, FALSE,
                                static_cast<DWORD>(limit.count()), QS_ALLINPUT);
  }

  int Status() const override { return status_; }

  bool Complete() const override { return state_ == kReadyStateComplete && whole_; }

 private:
  // Stores what has arrived, on the caller's thread, and notes the end.
  void Advance() {
    std::deque<std::vector<std::byte>> chunks;
    std::optional<std::uint64_t> announced;
    bool ended = false;
    {
      std::lock_guard lock(transfer_->mutex);
      chunks.swap(transfer_->chunks);
      transfer_->queued = 0;
      transfer_->room.notify_all();
      status_ = transfer_->status;
      announced = transfer_->announced;
      if (transfer_->arriving) state_ = 3;
      ended = transfer_->ended;
      whole_ = transfer_->whole;
    }
    for (const auto& chunk : chunks) Store(chunk, announced);
    if (ended && transfer_) Finish(whole_);
  }

  void Store(const std::vector<std::byte>& chunk, std::optional<std::uint64_t> announced) {
    if (!transfer_) return;  // refused or failed before: the rest is dropped
    bool accepted = false;
    try {
      accepted = BeginBody(announced) && sink_->Write(chunk.data(), chunk.size());
    } catch (...) {
      Finish(false);
      throw;
    }
    if (!accepted) Finish(false);
  }

  // How long a blocking Send may still wait for the response's head.
  DWORD WaitForHead(std::chrono::steady_clock::time_point deadline) const {
    if (state_ >= 3) return INFINITE;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
  }

  // Tells the sink of the body before its first byte.
  bool BeginBody(std::optional<std::uint64_t> announced) {
    if (begun_) return true;
    begun_ = true;
    return sink_->Begin(announced);
  }

  void Finish(bool whole) {
    LetGo();
    whole_ = whole;
    state_ = kReadyStateComplete;
  }

  // Cancels the transfer, if any, and leaves its thread to end by itself.
  void LetGo() {
    if (!transfer_) return;
    transfer_->Cancel();
    transfer_.reset();
  }

  TransferLimits limits_;
  std::wstring url_;
  bool async_ = true;
  int state_ = 0;
  int status_ = 0;
  bool whole_ = false;
  BodySink* sink_ = nullptr;
  bool begun_ = false;  // the sink was told of the body
  std::shared_ptr<Transfer> transfer_;
};

class WinHttpRequestFactory final : public HttpRequestFactory {
 public:
  explicit WinHttpRequestFactory(TransferLimits limits) : limits_(limits) {}

  std::unique_ptr<HttpRequest> Create(std::string_view identifier) override {
    for (const char* known : kComponents)
      if (identifier == known) return std::make_unique<WinHttpRequest>(limits_);
    return nullptr;
  }

 private:
  TransferLimits limits_;
};

}  // namespace

std::unique_ptr<HttpRequestFactory> MakeHttpRequestFactory(TransferLimits limits) {
  return std::make_unique<WinHttpRequestFactory>(limits);
}

}  // namespace platform
