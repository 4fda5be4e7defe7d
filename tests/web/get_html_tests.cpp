#include "web/get_html.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/http_request.h"
#include "support/fakes.h"
#include "support/recording_http.h"
#include "support/scripted_server.h"

namespace {

using testsupport::Reply;
using testsupport::RequestCall;
using namespace std::chrono_literals;

constexpr char kPath[] = "/soft/tarnwick/s_ver.txt";
constexpr std::int64_t kStart = testsupport::kHalfPastNoon;  // 12:00:30

class GetHtmlTest : public testing::Test {
 protected:
  std::string Get(const std::string& url, std::int32_t mode = 1) {
    return web::GetHTML({http, pump, clock}, url, mode);
  }

  testsupport::ScriptedServer server;
  testsupport::FakeClock clock{kStart};
  testsupport::ScriptedPump pump;
  std::unique_ptr<platform::HttpRequestFactory> real = platform::MakeHttpRequestFactory();
  testsupport::RecordingHttp http{*real, clock};
};

TEST_F(GetHtmlTest, AddressWithoutHttpIsNotFetched) {
  server.On(kPath, {Reply::Ok("2.0")});
  const std::string rest = server.Host() + kPath;
  for (const std::string& url : {std::string(), std::string("   "), "ftp://" + rest,
                                 "HTTP://" + rest, "https://" + rest, rest}) {
    EXPECT_EQ(Get(url), "") << url;
  }
  EXPECT_TRUE(http.identifiers.empty());
  EXPECT_EQ(server.Requests(kPath), 0);
}

TEST_F(GetHtmlTest, HttpAnywhereInTheAddressPassesItOnUnchanged) {
  server.On(kPath, {Reply::Ok("2.0")});
  const std::string url = " see " + server.Url(kPath) + " ";
  Get(url);
  ASSERT_FALSE(http.calls.empty());
  EXPECT_EQ(http.calls[0], (RequestCall{"open", url, kStart}));
}

TEST_F(GetHtmlTest, ReturnsTheBodyAsTextFromTheAnsiCodePage) {
  struct Case {
    const char* name;
    Reply reply;
    std::string text;
  };
  const std::string kGbk = "\xB0\xE6\xB1\xBE 2.0";  // "版本 2.0" in GBK
  const Case cases[] = {
      {"digits with their line end", Reply::Ok("2.36\r\n"), "2.36\r\n"},
      {"GBK text", Reply::Ok(kGbk), "版本 2.0"},
      {"bytes that do not decode", Reply::Ok("1\xFF" "2\xB0"), "1\uFFFD" "2\uFFFD"},
      {"chunked", Reply::Chunked("3"), testsupport::kChunkedEndSeen ? "3" : ""},
      {"ended by closing", Reply::Raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n3"), ""},
      {"an error page, status unseen", Reply::Status(404, "not found"), "not found"},
      {"empty", Reply::Ok(""), ""},
      {"16-bit spaces only", Reply::Ok(std::string("\x20\x00\x20\x00", 4)), ""},
      {"truncated", Reply::Truncated("2.36", 10), ""},
      {"reset mid-body", Reply::Reset("2.", 4), ""},
      {"64 KiB exactly", Reply::Ok(std::string(64 * 1024, '7')), std::string(64 * 1024, '7')},
      {"over 64 KiB", Reply::Ok(std::string(64 * 1024 + 1, '7')), ""},
      {"endless in effect", Reply::Generated(1ull << 40), ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = std::string(kPath) + "?case=" + std::to_string(++n);
    server.On(path, {c.reply});
    EXPECT_EQ(Get(server.Url(path)), c.text) << c.name;
    EXPECT_EQ(server.Requests(path), 1) << c.name;
  }
}

TEST_F(GetHtmlTest, GivesUpAfterTwoWaitsOfItsMode) {
  struct Case {
    std::int32_t mode;
    std::int64_t step;  // seconds the clock moves on each pass of a wait
    std::int64_t firstEnd, secondEnd;
  };
  // Quick mode: five second-boundaries. Any other mode: the next minute.
  const Case cases[] = {
      {2, 1, kStart + 5, kStart + 10},
      {1, 10, kStart + 30, kStart + 90},
      {0, 10, kStart + 30, kStart + 90},
      {-1, 10, kStart + 30, kStart + 90},
      {3, 10, kStart + 30, kStart + 90},
  };
  server.On(kPath, {Reply::Stall()});
  for (const Case& c : cases) {
    clock.Set(kStart);
    http.calls.clear();
    pump.onPass = [&] { clock.Advance(c.step); };
    const std::string url = server.Url(kPath);
    EXPECT_EQ(Get(url, c.mode), "");
    EXPECT_EQ(http.calls, (std::vector<RequestCall>{{"open", url, kStart},
                                                    {"abort", "", c.firstEnd},
                                                    {"open", url, c.firstEnd},
                                                    {"abort", "", c.secondEnd}}))
        << "mode " << c.mode;
  }
  EXPECT_EQ(server.Requests(kPath), 2 * static_cast<int>(std::size(cases)));
}

TEST_F(GetHtmlTest, ClockSteppingBackEndsTheWaitAndTheRetryIsAnswered) {
  server.On(kPath, {Reply::Stall(), Reply::Ok("2.0")});
  pump.onPass = [this] {
    if (server.Requests(kPath) == 1) clock.Set(kStart - 3600);
  };
  EXPECT_EQ(Get(server.Url(kPath)), "2.0");
  EXPECT_EQ(server.Requests(kPath), 2);
}

TEST_F(GetHtmlTest, FallsBackToTheSecondIdentifier) {
  struct Case {
    std::set<std::string> refused;
    std::vector<std::string> tried;
    std::string text;
  };
  const Case cases[] = {
      {{}, {"MSXML2.XMLHTTP"}, "2.0"},
      {{"MSXML2.XMLHTTP"}, {"MSXML2.XMLHTTP", "Microsoft.XMLHTTP"}, "2.0"},
      {{"MSXML2.XMLHTTP", "Microsoft.XMLHTTP"}, {"MSXML2.XMLHTTP", "Microsoft.XMLHTTP"}, ""},
  };
  server.On(kPath, {Reply::Ok("2.0")});
  for (const Case& c : cases) {
    http.refused = c.refused;
    http.identifiers.clear();
    EXPECT_EQ(Get(server.Url(kPath)), c.text);
    EXPECT_EQ(http.identifiers, c.tried);
  }
  EXPECT_EQ(server.Requests(kPath), 2);
}

TEST_F(GetHtmlTest, WaitingPausesBetweenPasses) {
  server.On(kPath, {Reply::Stall(), Reply::Ok("7")});
  const auto start = std::chrono::steady_clock::now();
  bool waited = false;  // the first wait ends after 300 ms; the retry is answered
  pump.onPass = [&] {
    if (!waited && std::chrono::steady_clock::now() - start > 300ms) {
      clock.Advance(60);
      waited = true;
    }
  };
  EXPECT_EQ(Get(server.Url(kPath), 2), "7");
  // A spinning wait makes hundreds of thousands of passes in 300 ms.
  EXPECT_LT(pump.passes, 200);
}

}  // namespace
