// The request object on Linux: libcurl's easy handle, driven through a multi
// handle for the asynchronous mode so that polling never blocks.
#include <curl/curl.h>

#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "platform/error.h"
#include "platform/http_request.h"

namespace platform {
namespace {

constexpr char kComponents[][20] = {"MSXML2.XMLHTTP", "Microsoft.XMLHTTP"};
constexpr long kBufferSize = 256 * 1024;
constexpr char kWebSchemes[] = "http,https";

struct EasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

// Keeps libcurl's process-wide state alive while request objects can exist.
class CurlLibrary {
 public:
  CurlLibrary() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw Error("libcurl cannot start");
  }
  ~CurlLibrary() { curl_global_cleanup(); }
  CurlLibrary(const CurlLibrary&) = delete;
  CurlLibrary& operator=(const CurlLibrary&) = delete;
};

class CurlRequest final : public HttpRequest {
 public:
  explicit CurlRequest(const TransferLimits& limits)
      : easy_(curl_easy_init()), multi_(curl_multi_init()), limits_(limits) {
    if (!easy_ || !multi_) throw Error("libcurl cannot create a request");
  }
  ~CurlRequest() override { Detach(); }

  void Open(std::string_view method, const std::string& url, bool async) override {
    Detach();
    curl_easy_reset(easy_.get());
    url_ = url;
    method_ = std::string(method);
    async_ = async;
    Configure();
    state_ = 1;
  }

  void Send(BodySink& sink) override {
    sink_ = &sink;
    begun_ = false;
    result_ = CURLE_OK;
    state_ = 2;
    if (async_) {
      curl_multi_add_handle(multi_.get(), easy_.get());
      attached_ = true;
      Advance();
    } else {
      Finish(curl_easy_perform(easy_.get()));
    }
  }

  int ReadyState() override {
    if (attached_) Advance();
    return state_;
  }

  void Abort() override {
    Detach();
    state_ = 0;
  }

  void WaitForActivity(std::chrono::milliseconds limit) override {
    if (attached_)
      curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(limit.count()), nullptr);
    else
      std::this_thread::sleep_for(limit);
  }

  int Status() const override {
    long status = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    return static_cast<int>(status);
  }

  bool Complete() const override {
    return state_ == kReadyStateComplete && result_ == CURLE_OK && EndShown();
  }

 private:
  void Configure() {
    CURL* h = easy_.get();
    curl_easy_setopt(h, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method_ == "GET" ? nullptr : method_.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kWebSchemes);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, kWebSchemes);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(limits_.maxRedirects));
    if (async_) return;  // the caller's clock-bounded wait limits an asynchronous request
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits_.connect.count()));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, limits_.minBytesPerSecond);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits_.stall.count()));
  }

  // Whether the body's end was marked: libcurl checks an announced length
  // and the chunked encoding's last chunk itself, but a body with neither
  // ends wherever the connection happened to close.
  bool EndShown() const {
    if (AnnouncedLength()) return true;
    curl_header* encoding = nullptr;
    if (curl_easy_header(easy_.get(), "Transfer-Encoding", 0, CURLH_HEADER, -1, &encoding) != CURLHE_OK)
      return false;
    return std::string_view(encoding->value).find("chunked") != std::string_view::npos;
  }

  // Lets libcurl do what it can without blocking, and notes the end.
  void Advance() {
    int running = 0;
    curl_multi_perform(multi_.get(), &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
        const CURLcode result = message->data.result;
        Detach();
        Finish(result);
        return;
      }
    }
  }

  void Finish(CURLcode result) {
    result_ = result;
    state_ = kReadyStateComplete;
    if (sinkError_) std::rethrow_exception(std::exchange(sinkError_, nullptr));
  }

  void Detach() {
    if (!attached_) return;
    curl_multi_remove_handle(multi_.get(), easy_.get());
    attached_ = false;
  }

  // Called by libcurl: no exception may leave it. A failing sink stops the
  // transfer and its error is raised again once libcurl has returned.
  static size_t OnBody(char* data, size_t, size_t size, void* self) noexcept {
    auto* request = static_cast<CurlRequest*>(self);
    try {
      request->state_ = 3;
      if (!request->begun_ && !request->BeginBody()) return CURL_WRITEFUNC_ERROR;
      if (!request->sink_->Write(reinterpret_cast<const std::byte*>(data), size))
        return CURL_WRITEFUNC_ERROR;
      return size;
    } catch (...) {
      request->sinkError_ = std::current_exception();
      return CURL_WRITEFUNC_ERROR;
    }
  }

  // Called by libcurl for each header line, the status lines of redirects
  // included: a response whose head outgrows the limit is stopped.
  static size_t OnHeader(char* data, size_t, size_t size, void* self) noexcept {
    auto* request = static_cast<CurlRequest*>(self);
    if (std::string_view(data, size).starts_with("HTTP/")) request->headerBytes_ = 0;
    request->headerBytes_ += size;
    return request->headerBytes_ > request->limits_.maxHeaderBytes ? 0 : size;
  }

  bool BeginBody() {
    begun_ = true;
    return sink_->Begin(AnnouncedLength());
  }

  // The final response's Content-Length, when it has one.
  std::optional<std::uint64_t> AnnouncedLength() const {
    curl_off_t length = -1;
    curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0) return std::nullopt;
    return static_cast<std::uint64_t>(length);
  }

  EasyHandle easy_;
  MultiHandle multi_;
  TransferLimits limits_;
  std::string url_;
  std::string method_;
  bool async_ = true;
  bool attached_ = false;
  int state_ = 0;
  CURLcode result_ = CURLE_OK;
  BodySink* sink_ = nullptr;
  bool begun_ = false;  // the sink was told of the body
  std::size_t headerBytes_ = 0;  // of the response now arriving
  std::exception_ptr sinkError_;
};

class CurlRequestFactory final : public HttpRequestFactory {
 public:
  explicit CurlRequestFactory(TransferLimits limits) : limits_(limits) {}

  std::unique_ptr<HttpRequest> Create(std::string_view identifier) override {
    for (const char* known : kComponents)
      if (identifier == known) return std::make_unique<CurlRequest>(limits_);
    return nullptr;
  }

 private:
  CurlLibrary library_;
  TransferLimits limits_;
};

}  // namespace

std::unique_ptr<HttpRequestFactory> MakeHttpRequestFactory(TransferLimits limits) {
  return std::make_unique<CurlRequestFactory>(limits);
}

}  // namespace platform
