#include "get_html.h"

#include <string_view>

#include "empty_body.h"
#include "platform/http_request.h"
#include "platform/text_encoding.h"
#include "request_wait.h"

namespace web {
namespace {

constexpr char kScheme[] = "http://";
constexpr const char* kRequestComponents[] = {"MSXML2.XMLHTTP", "Microsoft.XMLHTTP"};
constexpr std::int32_t kQuickMode = 2;
// The texts fetched here are a few bytes long; anything much larger is not
// one of them and is not worth holding in memory.
constexpr std::size_t kMaxTextBytes = 64 * 1024;

// Keeps the body in memory, up to kMaxTextBytes; a larger one is refused,
// which stops its transfer.
class TextSink final : public platform::BodySink {
 public:
  bool Begin(std::optional<std::uint64_t> announced) override {
    return !announced || *announced <= kMaxTextBytes;
  }

  bool Write(const std::byte* data, std::size_t size) override {
    if (size > kMaxTextBytes - bytes_.size()) return false;
    bytes_.append(reinterpret_cast<const char*>(data), size);
    empty_.Feed(data, size);
    return true;
  }

  // Forgets what an aborted attempt delivered.
  void Restart() {
    bytes_.clear();
    empty_ = {};
  }
  bool Empty() const { return empty_.Empty(); }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  EmptyBodyTest empty_;
};

bool PassesGuard(const std::string& sURL) {
  return sURL.find_first_not_of(' ') != std::string::npos &&
         sURL.find(kScheme) != std::string::npos;
}

std::unique_ptr<platform::HttpRequest> CreateRequest(platform::HttpRequestFactory& http) {
  for (const char* identifier : kRequestComponents)
    if (auto request = http.Create(identifier)) return request;
  return nullptr;
}

bool Answered(const Retrieval& with, platform::HttpRequest& request, std::int32_t mode) {
  return mode == kQuickMode ? WaitForRequest(with, request, ClockUnit::Second, 5)
                            : WaitForRequest(with, request, ClockUnit::Minute, 1);
}

void Ask(platform::HttpRequest& request, const std::string& sURL, TextSink& body) {
  request.Open("GET", sURL, true);
  request.Send(body);
}

}  // namespace

std::string GetHTML(const Retrieval& with, const std::string& sURL, std::int32_t g_n) {
  if (!PassesGuard(sURL)) return {};
  auto request = CreateRequest(with.http);
  if (!request) return {};

  TextSink body;
  Ask(*request, sURL, body);
  if (!Answered(with, *request, g_n)) {
    request->Abort();
    body.Restart();
    Ask(*request, sURL, body);
    if (!Answered(with, *request, g_n)) {
      request->Abort();
      return {};
    }
  }
  // A body cut short (connection lost, or refused for its size) is not the
  // text that was published.
  if (!request->Complete() || body.Empty()) return {};
  return platform::FromAnsiCodePage(body.Bytes());
}

}  // namespace web
