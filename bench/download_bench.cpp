// Downloads one address into one file through the updater's own code path
// (request object, streaming into a temporary file, rename), as the window
// does but without a window, so that hyperfine can set it against curl.
// Usage: download_bench URL TARGET; exits 0 when the body was saved.
#include <cstdio>

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/http_request.h"
#include "web/download_file.h"

namespace {

// Nothing to keep alive while waiting: there is no window.
class NoEvents final : public platform::EventPump {
 public:
  void ProcessPending() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: download_bench URL TARGET\n", stderr);
    return 2;
  }
  platform::SystemClock clock;
  NoEvents events;
  const auto http = platform::MakeHttpRequestFactory();
  return web::DownloadFile({*http, events, clock}, argv[1], argv[2]) == 1 ? 0 : 1;
}
