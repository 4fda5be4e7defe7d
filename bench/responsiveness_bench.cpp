// How long the window goes without handling its events while DownloadFile
// brings a large body: a GLib timer asks to run every 5 ms, and the longest
// gap between two of its runs during the download is printed, in ms.
// Usage: responsiveness_bench URL TARGET (under an X display)
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/clock.h"
#include "platform/http_request.h"
#include "platform/window.h"
#include "web/download_file.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Gaps {
  Clock::time_point start = Clock::now();
  Clock::time_point last = start;
  Clock::duration longest{};
  Clock::time_point longestEnded;

  static gboolean Tick(gpointer self) {
    auto* gaps = static_cast<Gaps*>(self);
    const auto now = Clock::now();
    if (now - gaps->last > gaps->longest) {
      gaps->longest = now - gaps->last;
      gaps->longestEnded = now;
    }
    gaps->last = now;
    return G_SOURCE_CONTINUE;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || !platform::InitWindowSystem()) {
    std::fputs("usage: responsiveness_bench URL TARGET, with a display\n", stderr);
    return 2;
  }
  const auto window = platform::MakeWindow("responsiveness", 5175, 2085);
  window->Show();
  window->ProcessPending();
  platform::SystemClock clock;
  const auto http = platform::MakeHttpRequestFactory();
  Gaps gaps;
  const guint timer = g_timeout_add(5, &Gaps::Tick, &gaps);
  gaps.start = gaps.last = Clock::now();
  const auto saved = web::DownloadFile({*http, *window, clock}, argv[1], argv[2]);
  Gaps::Tick(&gaps);  // up to the end of the download
  g_source_remove(timer);
  if (saved != 1) return 1;
  using Ms = std::chrono::duration<double, std::milli>;
  std::printf("%.1f\n", Ms(gaps.longest).count());
  if (g_getenv("BENCH_DETAIL"))
    std::fprintf(stderr, "longest gap ended at %.0f ms of %.0f ms\n",
                 Ms(gaps.longestEnded - gaps.start).count(), Ms(gaps.last - gaps.start).count());
  return 0;
}
