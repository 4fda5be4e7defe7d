#pragma once
// Wraps the real request factory to see what a retrieval asks of it: which
// identifiers it tries, and when (by the test's clock) it opens and aborts.
// The requests themselves are real and go to the scripted server.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/http_request.h"

namespace testsupport {

struct RequestCall {
  std::string what;  // "open", "open blocking" or "abort"
  std::string url;   // as handed to Open
  std::int64_t at;   // the clock's reading

  bool operator==(const RequestCall&) const = default;
};

class RecordingHttp final : public platform::HttpRequestFactory {
 public:
  RecordingHttp(platform::HttpRequestFactory& real, platform::Clock& clock)
      : real_(real), clock_(clock) {}

  std::set<std::string> refused;         // identifiers that yield no object
  std::vector<std::string> identifiers;  // every identifier asked for
  std::vector<RequestCall> calls;

  std::unique_ptr<platform::HttpRequest> Create(std::string_view identifier) override {
    identifiers.emplace_back(identifier);
    if (refused.contains(std::string(identifier))) return nullptr;
    auto request = real_.Create(identifier);
    return request ? std::make_unique<Recorded>(std::move(request), *this) : nullptr;
  }

 private:
  class Recorded final : public platform::HttpRequest {
   public:
    Recorded(std::unique_ptr<platform::HttpRequest> real, RecordingHttp& log)
        : real_(std::move(real)), log_(log) {}
    void Open(std::string_view method, const std::string& url, bool async) override {
      log_.calls.push_back({async ? "open" : "open blocking", url, log_.clock_.LocalSeconds()});
      real_->Open(method, url, async);
    }
    void Send(platform::BodySink& sink) override { real_->Send(sink); }
    int ReadyState() override { return real_->ReadyState(); }
    void Abort() override {
      log_.calls.push_back({"abort", "", log_.clock_.LocalSeconds()});
      real_->Abort();
    }
    void WaitForActivity(std::chrono::milliseconds limit) override { real_->WaitForActivity(limit); }
    int Status() const override { return real_->Status(); }
    bool Complete() const override { return real_->Complete(); }

   private:
    std::unique_ptr<platform::HttpRequest> real_;
    RecordingHttp& log_;
  };

  platform::HttpRequestFactory& real_;
  platform::Clock& clock_;
};

}  // namespace testsupport
