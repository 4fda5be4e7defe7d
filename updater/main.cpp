// Start-up: create and show the window, then only react to its events.
#include <cstdio>
#include <exception>

#include "build_config.h"
#include "form1.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http_request.h"
#include "platform/message_box.h"
#include "texts.h"

int main() {
  if (!platform::InitWindowSystem()) {
    std::fputs("updater: cannot open the display\n", stderr);
    return 1;
  }
  platform::DialogMessageBox messages;
  try {
    platform::SystemClock clock;
    const auto http = platform::MakeHttpRequestFactory();
    updater::Form1 form({*http, clock, messages, updater::kMaxDownloadBytes}, updater::kUpdateHost,
                        platform::ApplicationFolder());
    form.Window().Show();
    return form.Window().Run();
  } catch (const std::exception& error) {
    messages.Show(error.what(), updater::kAppTitle);
    return 1;
  }
}
