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
// byte, so a download that brings nothing leaves no trace. A body larger
// than the limit is refused, announced or not, so that neither a wrong
// resource nor an endless one can fill the disk.
class DownloadSink final : public platform::BodySink {
 public:
  DownloadSink(std::string target, std::uint64_t limit, Progress progress)
      : target_(std::move(target)), limit_(limit), progress_(std::move(progress)) {}

  bool Begin(std::optional<std::uint64_t> announced) override {
    total_ = announced;
    Report();
    return !announced || *announced <= limit_;
  }

  bool Write(const std::byte* data, std::size_t size) override {
    if (size > limit_ - received_) return false;
    if (!file_) file_.emplace(target_);
    file_->Write(data, size);
    empty_.Feed(data, size);
    received_ += size;
    Report();
    return true;
  }

  // Forgets what an aborted attempt delivered.
  void Restart() {
    if (file_) file_->Clear();
    empty_ = {};
    received_ = 0;
    total_.reset();
    Report();
  }

  bool Empty() const { return empty_.Empty(); }

  void SaveOverTarget() { file_->Commit(platform::FileMode(target_, kNewFileMode)); }

 private:
  void Report() const {
    if (progress_) progress_(received_, total_);
  }

  std::string target_;
  std::uint64_t limit_;
  Progress progress_;
  std::optional<platform::TempFile> file_;
  EmptyBodyTest empty_;
  std::uint64_t received_ = 0;
  std::optional<std::uint64_t> total_;
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

  DownloadSink sink(sPath, with.maxDownloadBytes, with.progress);
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
