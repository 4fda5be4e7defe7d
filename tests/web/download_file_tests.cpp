#include "web/download_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/error.h"
#include "platform/http_request.h"
#include "support/fakes.h"
#include "support/files.h"
#include "support/memory.h"
#include "support/scripted_server.h"

#ifdef _WIN32
#include "platform/windows/system_error.h"
#endif

namespace {

using testsupport::Reply;
using namespace std::chrono_literals;

constexpr char kPath[] = "/soft/tarnwick/tarnwick.jpg";
// What the system says of a path through a folder that does not exist.
#ifdef _WIN32
const std::string kNoSuchFolder = platform::SystemMessage(ERROR_PATH_NOT_FOUND);
#else
const std::string kNoSuchFolder = "No such file or directory";
#endif
constexpr char kOldBuild[] = "an older build, longer than any new body in these tests";
const std::string kNewBuild("MZ\x90\x00new build\x00\xff", 15);
// The largest body accepted by most of these tests.
constexpr std::uint64_t kCap = 1 << 20;

// A response's head of about `kib` KiB of header lines, then the new build.
std::string WithHead(int kib) {
  std::string response = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < kib; ++i)
    response += "X-Fill-" + std::to_string(i) + ": " + std::string(1000, 'a') + "\r\n";
  return response + "Content-Length: 15\r\n\r\n" + kNewBuild;
}

// Blocking retries give up quickly here; the program's own limits are longer.
platform::TransferLimits ShortLimits() {
  platform::TransferLimits limits;
  limits.connect = 2s;
  limits.stall = 1s;
  return limits;
}

class DownloadFileTest : public testing::Test {
 protected:
  std::int32_t Download(const std::string& url) {
    return web::DownloadFile({*http, pump, clock, cap}, url, target);
  }

  // The clock's minute changes once the server has seen the first request.
  void NextMinuteOnceRequested() {
    pump.onPass = [this] {
      if (server.Requests(kPath) >= 1) clock.Set(testsupport::kHalfPastNoon + 30);
    };
  }

  void ExpectUntouched() {
    EXPECT_EQ(testsupport::ReadFile(target), kOldBuild);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"bak.exe"});
  }

  testsupport::ScriptedServer server;
  testsupport::TempFolder folder;
  testsupport::FakeClock clock{testsupport::kHalfPastNoon};
  testsupport::ScriptedPump pump;
  std::unique_ptr<platform::HttpRequestFactory> http = platform::MakeHttpRequestFactory(ShortLimits());
  std::string target = folder / "bak.exe";
  std::uint64_t cap = kCap;
};

TEST_F(DownloadFileTest, SavesExactlyTheBodyOfAWholeSuccessfulResponseAndNothingElse) {
  struct Case {
    const char* name;
    Reply reply;
    std::int32_t result;
  } const cases[] = {
      {"ok", Reply::Ok(kNewBuild), 1},
      {"chunked", Reply::Chunked(kNewBuild), testsupport::kChunkedEndSeen ? 1 : 0},
      {"ended by closing", Reply::Raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + kNewBuild), 0},
      {"redirected", Reply::Redirect(302, kPath), 1},
      {"two ascii spaces are text", Reply::Ok("  "), 1},
      {"404 page", Reply::Status(404, "<html>not here</html>"), 0},
      {"500 page", Reply::Status(500, "<html>broken</html>"), 0},
      {"empty", Reply::Ok(""), 0},
      {"utf-16 spaces", Reply::Ok(std::string("\x20\x00\x20\x00", 4)), 0},
      {"truncated", Reply::Truncated(kNewBuild.substr(0, 5), 1000), 0},
      {"reset", Reply::Reset(kNewBuild.substr(0, 5), 1000), 0},
      {"redirect to ftp", Reply::Redirect(302, "ftp://127.0.0.1/tarnwick.jpg"), 0},
      {"redirect loop", Reply::Redirect(302, "/loop"), 0},
      {"as large as allowed", Reply::Generated(kCap), 1},
      {"announced larger than allowed", Reply::Generated(kCap + 1), 0},
      {"endless", Reply::Endless(), 0},
      {"no status line", Reply::Raw("MZ garbage\r\n\r\n" + kNewBuild), 0},
      {"bad status code", Reply::Raw("HTTP/1.1 2x0 OK\r\nContent-Length: 15\r\n\r\n" + kNewBuild), 0},
      {"negative length",
       Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: -5\r\nConnection: close\r\n\r\n" + kNewBuild), 0},
      {"head within the limit", Reply::Raw(WithHead(90)), 1},
      {"head over the limit", Reply::Raw(WithHead(110)), 0},
      {"chunked, cut short",
       Reply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                  "5\r\nMZ\x90\x00n\r\n"), 0},
  };
  server.On(kPath, {Reply::Ok(kNewBuild)});
  server.On("/loop", {Reply::Redirect(302, "/loop")});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::WriteFile(target, kOldBuild);
    server.On("/case", {c.reply});
    EXPECT_EQ(Download(server.Url("/case")), c.result);
    if (c.result == 1 && c.reply.kind == Reply::Kind::Generated) {
      EXPECT_EQ(testsupport::ReadFile(target).size(), c.reply.announced);
    } else if (c.result == 1) {
      const bool rewritten = c.reply.kind == Reply::Kind::Redirect || c.reply.kind == Reply::Kind::Raw;
      const std::string& body = rewritten ? kNewBuild : c.reply.body;
      EXPECT_EQ(testsupport::ReadFile(target), body);
      EXPECT_EQ(folder.Names(), std::vector<std::string>{"bak.exe"});
    } else {
      ExpectUntouched();
    }
  }
}

TEST_F(DownloadFileTest, RefusedConnectionFailsWithoutRetrying) {
  testsupport::WriteFile(target, kOldBuild);
  const auto port = testsupport::ScriptedServer::RefusedPort();
  EXPECT_EQ(Download("http://127.0.0.1:" + std::to_string(port) + kPath), 0);
  ExpectUntouched();
}

TEST_F(DownloadFileTest, OnlyTheExactLowerCaseHttpPrefixIsFetched) {
  server.On(kPath, {Reply::Ok(kNewBuild)});
  const std::string rest = server.Host() + kPath;
  for (const std::string& url : {"HTTP://" + rest, "https://" + rest, " http://" + rest, rest}) {
    EXPECT_EQ(Download(url), 0) << url;
  }
  EXPECT_EQ(server.Requests(kPath), 0);
  EXPECT_FALSE(testsupport::Exists(target));
}

TEST_F(DownloadFileTest, SilentServerIsAbortedAtTheMinuteAndAskedOnceMoreBlocking) {
  server.On(kPath, {Reply::Stall(), Reply::Ok(kNewBuild)});
  NextMinuteOnceRequested();
  EXPECT_EQ(Download(server.Url(kPath)), 1);
  EXPECT_EQ(server.Requests(kPath), 2);
  EXPECT_EQ(testsupport::ReadFile(target), kNewBuild);
}

TEST_F(DownloadFileTest, RetryThatStallsToo_FailsWithinItsLimits) {
  testsupport::WriteFile(target, kOldBuild);
  server.On(kPath, {Reply::Stall()});
  NextMinuteOnceRequested();
  EXPECT_EQ(Download(server.Url(kPath)), 0);
  EXPECT_EQ(server.Requests(kPath), 2);
  ExpectUntouched();
}

TEST_F(DownloadFileTest, HeadWithoutEndFailsWithinTheLimits) {
  testsupport::WriteFile(target, kOldBuild);
  server.On(kPath, {Reply::EndlessHead()});
  NextMinuteOnceRequested();
  EXPECT_EQ(Download(server.Url(kPath)), 0);
  EXPECT_LE(server.Requests(kPath), 2);  // libcurl gives up at once, WinHTTP at the retry
  ExpectUntouched();
}

TEST_F(DownloadFileTest, RetryThatTricklesBelowTheMinimumSpeedFails) {
  testsupport::WriteFile(target, kOldBuild);
  server.On(kPath, {Reply::Stall(), Reply::Trickle(kNewBuild, 300ms)});
  NextMinuteOnceRequested();
  EXPECT_EQ(Download(server.Url(kPath)), 0);
  EXPECT_EQ(server.Requests(kPath), 2);
  ExpectUntouched();
}

TEST_F(DownloadFileTest, ClockSteppingBackAcrossAMinuteEndsTheWait) {
  server.On(kPath, {Reply::Stall(), Reply::Ok(kNewBuild)});
  pump.onPass = [this] {
    if (server.Requests(kPath) >= 1) clock.Set(testsupport::kHalfPastNoon - 3600);
  };
  EXPECT_EQ(Download(server.Url(kPath)), 1);
  EXPECT_EQ(server.Requests(kPath), 2);
}

TEST_F(DownloadFileTest, WaitingPausesBetweenPasses) {
  server.On(kPath, {Reply::Stall(), Reply::Ok(kNewBuild)});
  const auto start = std::chrono::steady_clock::now();
  pump.onPass = [&] {
    if (std::chrono::steady_clock::now() - start > 300ms) clock.Advance(60);
  };
  EXPECT_EQ(Download(server.Url(kPath)), 1);
  // A spinning wait makes hundreds of thousands of passes in 300 ms.
  EXPECT_LT(pump.passes, 200);
}

TEST_F(DownloadFileTest, ClosingTheWindowMidWaitLeavesEverythingAsItWas) {
  testsupport::WriteFile(target, kOldBuild);
  server.On(kPath, {Reply::Trickle(kNewBuild, 50ms)});
  pump.onPass = [this] {
    if (testsupport::Exists(target) && folder.Names().size() > 1) throw platform::WindowClosed();
  };
  EXPECT_THROW(Download(server.Url(kPath)), platform::WindowClosed);
  ExpectUntouched();
  for (int i = 0; i < 100 && server.OpenConnections() > 0; ++i) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(server.OpenConnections(), 0) << "the request was not aborted";
}

TEST_F(DownloadFileTest, FileThatCannotBeWrittenRaisesTheSystemsError) {
  server.On(kPath, {Reply::Ok(kNewBuild)});
  target = folder / "missing folder/bak.exe";
  try {
    Download(server.Url(kPath));
    FAIL() << "no error raised";
  } catch (const platform::Error& error) {
    EXPECT_NE(std::string(error.what()).find(kNoSuchFolder), std::string::npos)
        << error.what();
  }
}

TEST_F(DownloadFileTest, LargeBodyStreamsToDiskInBoundedMemory) {
  constexpr std::uint64_t kSize = 128ull << 20;
  cap = kSize;
  server.On(kPath, {Reply::Generated(kSize)});
  const long before = testsupport::PeakResidentKiB();
  ASSERT_EQ(Download(server.Url(kPath)), 1);
  EXPECT_LT(testsupport::PeakResidentKiB() - before, 32 * 1024) << "KiB more at the peak";
  const std::string saved = testsupport::ReadFile(target);
  ASSERT_EQ(saved.size(), kSize);
  for (std::uint64_t i : {std::uint64_t{0}, std::uint64_t{250}, std::uint64_t{251}, kSize - 1})
    EXPECT_EQ(static_cast<unsigned char>(saved[i]), i % 251) << i;
}

}  // namespace
