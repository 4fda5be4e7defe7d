// Every way the update server or the network can fail, against the whole
// updater in a real window: the user is told "下载失败" and keeps the main
// application, or gets the new build whole; nothing is lost and no wait
// outlasts the request limits.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <memory>
#include <optional>

#include "app_folder.h"
#include "platform/http_request.h"
#include "support/fakes.h"
#include "support/recording_http.h"
#include "support/scripted_server.h"
#include "support/window_driver.h"
#include "updater/form1.h"

namespace {

using namespace std::chrono_literals;
using testsupport::AppFolder;
using testsupport::kBuildPath;
using testsupport::kVersionPath;
using testsupport::Reply;

const std::string kNewBuild("MZ\x90\x00the new build\x00\xff", 19);
constexpr std::uint64_t kCap = 1 << 20;
constexpr char kInstall[] = "软件升级";
constexpr char kRestart[] = "升级成功，重新启动软件";

// The program's own limits are longer; these keep the matrix quick. What
// bounds a wait is the same rule either way.
platform::TransferLimits TestLimits() {
  platform::TransferLimits limits;
  limits.connect = 2s;
  limits.stall = 2s;
  return limits;
}

// The longest a click may take with these limits: the first wait (the clock
// is moved within 50 ms), connect and stall of the retry, and slack for a
// loaded machine.
constexpr auto kBound = 1s + 2s + 2s + 5s;

// A failed download, told; or the build installed and the version recorded.
enum class Outcome { Failed, Installed };

struct Cell {
  const char* name;
  std::vector<Reply> build;  // for the new executable, one per request
  Outcome outcome;
  Reply version = Reply::Ok("2.36");
  std::string field = "2.4   ";  // the recorded version when installed
  bool refused = false;          // nothing listens on the server's port
};

std::string HugeHead() {
  std::string head;
  for (int i = 0; i < 1024; ++i)
    head += "X-Fill-" + std::to_string(i) + ": " + std::string(1000, 'a') + "\r\n";
  return head;
}

const std::string kGbkText = "\xb0\xe6\xb1\xbe 2.0";  // "版本 2.0" in GBK

std::vector<Cell> Cells() {
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  return {
      {"404 with a page", {Reply::Status(404, "<html>no such build</html>")}, Outcome::Failed},
      {"500 with a page", {Reply::Status(500, "<html>broken</html>")}, Outcome::Failed},
      {"200 empty", {Reply::Ok("")}, Outcome::Failed},
      {"200 of UTF-16 spaces", {Reply::Ok(std::string("\x20\x00\x20\x00\x20\x00", 6))}, Outcome::Failed},
      {"truncated", {Reply::Truncated(kNewBuild.substr(0, 7), 4096)}, Outcome::Failed},
      {"reset mid-body", {Reply::Reset(kNewBuild.substr(0, 7), 4096)}, Outcome::Failed},
      {"refused", {}, Outcome::Failed, Reply::Ok("2.36"), "2.4   ", true},
      {"no answer, twice", {Reply::Stall()}, Outcome::Failed},
      {"no answer, then the build", {Reply::Stall(), Reply::Ok(kNewBuild)}, Outcome::Installed},
      {"one byte a second", {Reply::Trickle(kNewBuild, 1000ms)}, Outcome::Failed},
      {"endless body", {Reply::Endless()}, Outcome::Failed},
      {"announced over the size cap", {Reply::Generated(kCap + 1)}, Outcome::Failed},
      {"redirect loop", {Reply::Redirect(302, kBuildPath)}, Outcome::Failed},
      {"redirect to ftp", {Reply::Redirect(302, "ftp://127.0.0.1/tarnwick.jpg")}, Outcome::Failed},
      {"redirect to file", {Reply::Redirect(302, "file:///etc/passwd")}, Outcome::Failed},
      {"huge head", {Reply::Raw(ok + HugeHead() + "Content-Length: 19\r\n\r\n" + kNewBuild)},
       Outcome::Failed},
      {"head without end", {Reply::EndlessHead()}, Outcome::Failed},
      {"no status line", {Reply::Raw("MZ garbage\r\n\r\n" + kNewBuild)}, Outcome::Failed},
      {"negative length", {Reply::Raw(ok + "Content-Length: -5\r\n\r\n" + kNewBuild)}, Outcome::Failed},
      {"ended by closing, maybe cut", {Reply::Raw(ok + "Connection: close\r\n\r\n" + kNewBuild)},
       Outcome::Failed},
      {"chunked, cut short",
       {Reply::Raw(ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nMZ\x90\x00t\r\n")}, Outcome::Failed},
      {"version text huge", {Reply::Ok(kNewBuild)}, Outcome::Installed,
       Reply::Ok(std::string(100 * 1024, '1')), "      "},
      {"version text binary", {Reply::Ok(kNewBuild)}, Outcome::Installed,
       Reply::Ok(std::string("\x00\x01\xff\xfe" "2.0", 7)), "      "},
      {"version text in GBK", {Reply::Ok(kNewBuild)}, Outcome::Installed, Reply::Ok(kGbkText),
       "      "},
  };
}

class ServerFaultsTest : public testing::TestWithParam<Cell> {
 protected:
  // Runs one installation and returns how long the click took.
  std::chrono::steady_clock::duration Click(updater::Form1& form) {
    // While the first request for the build is open, a minute passes every
    // 50 ms, so that its wait ends; no later wait sees the clock move. The
    // updater's own calls tell which request is open: the server counts a
    // request only once it has read it, which may be after its wait began.
    const testsupport::WindowTimer minutes(50ms, true, [this] {
      if (!http.calls.empty() && http.calls.back().what == "open" &&
          http.calls.back().url.ends_with(kBuildPath))
        clock.Advance(60);
    });
    const auto start = std::chrono::steady_clock::now();
    form.Command1.Click();
    return std::chrono::steady_clock::now() - start;
  }

  testsupport::ScriptedServer server;
  testsupport::TempFolder temp{"应用 folder"};
  AppFolder app{temp.Path()};
  testsupport::FakeClock clock{testsupport::kHalfPastNoon};
  std::unique_ptr<platform::HttpRequestFactory> realHttp =
      platform::MakeHttpRequestFactory(TestLimits());
  testsupport::RecordingHttp http{*realHttp, clock};
  testsupport::RecordingMessageBox messages;
};

TEST_P(ServerFaultsTest, NothingIsLostAndTheUserIsTold) {
  const Cell& cell = GetParam();
  server.On(kBuildPath, cell.build);
  server.On(kVersionPath, {cell.version});
  const std::string host = cell.refused
                               ? "127.0.0.1:" + std::to_string(testsupport::ScriptedServer::RefusedPort())
                               : server.Host();
  updater::Form1 form({http, clock, messages, kCap}, host, app.Path());
  form.Window().Show();

  EXPECT_LT(Click(form), kBound);
  EXPECT_TRUE(form.Command1.Enabled());
  EXPECT_FALSE(form.Frame1.Visible());
  if (cell.outcome == Outcome::Failed) {
    EXPECT_EQ(messages.texts, std::vector<std::string>{"下载失败"});
    EXPECT_EQ(form.Command1.Caption(), kInstall);
    EXPECT_EQ(server.Requests(kVersionPath), 0);
    app.ExpectAsBefore();
  } else {
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(form.Command1.Caption(), kRestart);
    app.Expect(kNewBuild, kNewBuild, cell.field);
  }
}

std::string CellName(const testing::TestParamInfo<Cell>& cell) {
  std::string name;
  for (const char c : std::string(cell.param.name))
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Matrix, ServerFaultsTest, testing::ValuesIn(Cells()), CellName);

}  // namespace
