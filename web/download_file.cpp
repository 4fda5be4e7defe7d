#include "download_file.h"

#include <optional>

#include "background.h"
#include "empty_body.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/http_request.h"
#include "request_wait.h"

namespace web {
namespace {

constexpr char kScheme[] = "http://";
constexpr char kRequestComponent[] = "Microsoft.XMLHTTP";
// The saved file is a program build: a new one is made executable.
constexpr unsigned kNewFileMode = 0755;

// Streams the body into a temporary file beside the target, which replaces
// the target only when the download succeeded. The file is made on the first
// byte, so a download that brings nothing leaves no trace.
class DownloadSink final : public platform::BodySink {
 public:
  explicit DownloadSink(std::string target) : target_(std::move(target)) {}

  bool Write(const std::byte* data, std::size_t size) override {
    if (!file_) file_.emplace(target_);
    file_->Write(data, size);
    empty_.Feed(data, size);
    return true;
  }

  // Forgets what an aborted attempt delivered.
  void Restart() {
    if (file_) file_->Clear();
    empty_ = {};
  }

  bool Empty() const { return empty_.Empty(); }

  void SaveOverTarget() { file_->Commit(platform::FileMode(target_, kNewFileMode)); }

 private:
  std::string target_;
  std::optional<platform::TempFile> file_;
  EmptyBodyTest empty_;
};

bool Succeeded(platform::HttpRequest& request) {
  const int status = request.Status();
  return request.ReadyState() == platform::kReadyStateComplete && request.Complete() &&
         status >= 200 && status < 300;
}

}  // namespace

std::int32_t DownloadFile(const Retrieval& with, const std::string& sURL,
                          const std::string& sPath) {
  if (!sURL.starts_with(kScheme)) return 0;

  auto request = with.http.Create(kRequestComponent);
  if (!request) throw platform::Error("cannot create the request object Microsoft.XMLHTTP");

  DownloadSink sink(sPath);
  request->Open("GET", sURL, true);
  request->Send(sink);
  if (!WaitForRequest(with, *request, ClockUnit::Minute, 1)) {
    // No answer before the minute changed: one more try, blocking, bounded
    // by the request's connect and stall limits.
    request->Abort();
    sink.Restart();
    request->Open("GET", sURL, false);
    request->Send(sink);
    WaitForRequest(with, *request, ClockUnit::Minute, 1);
  }

  if (!Succeeded(*request) || sink.Empty()) return 0;
  // Making a large file durable and renaming it over the old one takes a
  // while; the window goes on meanwhile.
  WhileWindowLives(with.events, [&sink] { sink.SaveOverTarget(); });
  return 1;
}

}  // namespace web
