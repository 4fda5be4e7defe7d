// The fault tests need a display: the test runs them under a private Xvfb
// that accepts every local user. On Linux, run as root, they give up root
// first, so that permission bits count as they do for a user.
//
// Run as "--install FOLDER HOST", the program is instead one updater in its
// own process: it opens the window on FOLDER, clicks the button once and
// exits 0 when the installation succeeded, so a test can kill it midway.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/http_request.h"
#include "platform/window.h"
#include "support/fakes.h"
#include "updater/form1.h"

#ifndef _WIN32
#include <grp.h>
#include <unistd.h>
#endif

namespace {

constexpr char kRestartCaption[] = "升级成功，重新启动软件";
constexpr std::uint64_t kMaxDownloadBytes = 1ull << 30;

int InstallOnce(const std::string& folder, const std::string& host) {
  platform::SystemClock clock;
  testsupport::RecordingMessageBox messages;
  const auto http = platform::MakeHttpRequestFactory();
  updater::Form1 form({*http, clock, messages, kMaxDownloadBytes}, host, folder);
  form.Window().Show();
  form.Command1.Click();
  for (const std::string& text : messages.texts) std::fprintf(stderr, "message: %s\n", text.c_str());
  return form.Command1.Caption() == kRestartCaption ? 0 : 2;
}

// Root ignores permission bits; the tests run as the unprivileged "nobody".
bool GiveUpRoot() {
#ifndef _WIN32
  if (::geteuid() != 0) return true;
  constexpr uid_t kNobody = 65534;
  constexpr gid_t kNoGroup = 65534;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNoGroup) == 0 && ::setuid(kNobody) == 0;
#else
  return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (!platform::InitWindowSystem()) {
    std::fputs("no display: run these tests under xvfb-run\n", stderr);
    return 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "--install") == 0) return InstallOnce(argv[2], argv[3]);
  if (!GiveUpRoot()) {
    std::perror("cannot give up root");
    return 1;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
