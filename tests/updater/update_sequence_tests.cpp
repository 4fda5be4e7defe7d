#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "platform/http_request.h"
#include "support/fakes.h"
#include "support/files.h"
#include "support/scripted_server.h"
#include "support/window_driver.h"
#include "updater/form1.h"

namespace {

using namespace std::chrono_literals;
using testsupport::PathOf;
using testsupport::ReadFile;
using testsupport::Reply;
using testsupport::WriteFile;

constexpr char kPath[] = "/soft/tarnwick/tarnwick.jpg";
constexpr char kVersionPath[] = "/soft/tarnwick/s_ver.txt";
// Builds of the main application that, when started, write "old" or "new"
// to a file "started" beside themselves.
#ifdef _WIN32
const std::string kOldBuild = ReadFile(STARTED_OLD);
const std::string kNewBuild = ReadFile(STARTED_NEW);
#else
const std::string kOldBuild = "#!/bin/sh\necho old > \"$(dirname \"$0\")/started\"\n";
const std::string kNewBuild = "#!/bin/sh\necho new > \"$(dirname \"$0\")/started\"\n";
#endif
constexpr char kInstall[] = "软件升级";
constexpr char kRestart[] = "升级成功，重新启动软件";

bool Contains(const platform::Rect& outer, const platform::Rect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top &&
         outer.left + outer.width >= inner.left + inner.width &&
         outer.top + outer.height >= inner.top + inner.height;
}

// What the progress bar showed at one moment.
struct BarSample {
  double fraction;
  bool pulsing;
};

bool Empty(const BarSample& s) { return s.fraction == 0 && !s.pulsing; }
bool Partial(const BarSample& s) { return s.fraction > 0 && s.fraction < 1; }
bool Pulsing(const BarSample& s) { return s.pulsing; }

class UpdateSequenceTest : public testing::Test {
 public:
  explicit UpdateSequenceTest(const std::string& folderName = "app") : folder(folderName) {
    WriteFile(folder / "Tarnwick.exe", kOldBuild);
    std::filesystem::permissions(PathOf(folder / "Tarnwick.exe"), std::filesystem::perms(0750));
    form.Window().Show();
    Pump();
  }

  void Pump(std::chrono::milliseconds during = 0ms) { testsupport::Pump(form.Window(), during); }

  void ExpectReadyToInstall() {
    EXPECT_EQ(form.Command1.Caption(), kInstall);
    EXPECT_TRUE(form.Command1.Enabled());
    EXPECT_FALSE(form.Frame1.Visible());
  }

  // The started build creates "started" and only then writes its name into
  // it, so wait for the text, not for the file.
  std::string WaitForStart() {
    std::string text;
    for (int i = 0; i < 250 && (text = ReadFile(folder / "started")).empty(); ++i)
      std::this_thread::sleep_for(20ms);
    return text;
  }

  // Clicks the button and looks at the progress bar every 10 ms while the
  // frame is shown, from the window's own event loop; `onSample` may act on
  // what it sees (move the clock, say).
  std::vector<BarSample> ClickSamplingTheBar(
      const std::function<void(const BarSample&)>& onSample = {}) {
    std::vector<BarSample> samples;
    const testsupport::WindowTimer sampler(10ms, true, [&] {
      if (!form.Frame1.Visible()) return;
      samples.push_back({form.ProgressBar1.Fraction(), form.ProgressBar1.Pulsing()});
      if (onSample) onSample(samples.back());
    });
    form.Command1.Click();
    return samples;
  }

  testsupport::TempFolder folder;
  testsupport::ScriptedServer server;
  // The clock stands still: a wait ends only when the server answers or the
  // test says so, whatever the real minute does.
  testsupport::FakeClock clock{testsupport::kHalfPastNoon};
  std::unique_ptr<platform::HttpRequestFactory> http = platform::MakeHttpRequestFactory();
  testsupport::RecordingMessageBox messages;
  updater::Form1 form{{*http, clock, messages, 64 << 20}, server.Host(), folder.Path()};
};

TEST_F(UpdateSequenceTest, OpensReadyToInstallWithTheFocusOnTheButton) {
  ExpectReadyToInstall();
  EXPECT_TRUE(form.Command1.HasFocus());
  EXPECT_EQ(form.Label1.Text(), "软件正在升级请稍候...");
}

#ifndef _WIN32
// The updater opens its window with GL turned off; the main application it
// starts must not inherit that.
TEST(StartUp, LeavesNoWindowSettingOfItsOwnForTheMainApplication) {
  EXPECT_EQ(std::getenv("GDK_GL"), nullptr);
}
#endif

TEST_F(UpdateSequenceTest, ShownFrameCoversTheButtonAndTakesItsClicks) {
  server.On(kPath, {Reply::Ok(kNewBuild)});
  form.Frame1.SetVisible(true);
  Pump(100ms);
  EXPECT_TRUE(Contains(form.Frame1.Bounds(), form.Command1.Bounds()));
  // A real pointer click where the button is, with the button enabled.
  ASSERT_TRUE(testsupport::RealClick("Tarnwick升级", 148, 64));
  Pump(300ms);
  EXPECT_EQ(server.Requests(kPath), 0);
  EXPECT_EQ(form.Command1.Caption(), kInstall);
}

TEST_F(UpdateSequenceTest, ResizingLeavesTheControlsWhereTheyAre) {
  const platform::Rect button = form.Command1.Bounds();
  form.Window().Resize(600, 400);
  Pump(200ms);
  const platform::Rect moved = form.Command1.Bounds();
  EXPECT_EQ(moved.left, button.left);
  EXPECT_EQ(moved.top, button.top);
  EXPECT_EQ(moved.width, button.width);
  EXPECT_EQ(moved.height, button.height);
}

// Under the label, as wide as it, thin, and clear of the frame's border.
TEST_F(UpdateSequenceTest, ProgressBarLiesInsideTheFrameUnderTheLabel) {
  form.Frame1.SetVisible(true);
  Pump(100ms);
  const platform::Rect frame = form.Frame1.Bounds();
  const platform::Rect bar = form.ProgressBar1.Bounds();
  constexpr int kLabelBottom = (360 + 495) / 15;  // in the frame, at 96 dpi
  EXPECT_GE(bar.top - frame.top, kLabelBottom);
  EXPECT_EQ(bar.left - frame.left, 240 / 15);
  EXPECT_EQ(bar.width, 3375 / 15);
  EXPECT_GE(bar.height, 6);
  EXPECT_LE(bar.height, 8);
  EXPECT_GE(frame.top + frame.height - (bar.top + bar.height), 4) << "above the bottom border";
}

// The bar follows the download while the frame is shown: a fraction that
// grows when the length is announced, a pulse when it is not. The version
// fetch after it is slow, so that what the download left is seen as well.
TEST_F(UpdateSequenceTest, ProgressBarFollowsTheDownload) {
  struct Case {
    const char* name;
    Reply build;
    bool lengthKnown;
  };
  const std::string build(100, 'n');
  // The pulse first: the fraction's case also shows that the pulse is gone.
  const Case cases[] = {
      {"chunked, no length", Reply::Chunked(build), false},
      {"Content-Length, trickled", Reply::Trickle(build, 5ms), true},
  };
  server.On(kVersionPath, {Reply::Trickle("2.0", 100ms)});
  for (const Case& c : cases) {
    // Where the request object cannot see a chunked body's end (WinHTTP), it
    // refuses such a body, and no download of unknown length succeeds.
    if (!c.lengthKnown && !testsupport::kChunkedEndSeen) continue;
    server.On(kPath, {c.build});
    form.Command1.SetCaption(kInstall);
    const std::vector<BarSample> samples = ClickSamplingTheBar();
    EXPECT_EQ(form.Command1.Caption(), kRestart) << c.name;
    ASSERT_FALSE(samples.empty()) << c.name;
    if (c.lengthKnown) {
      EXPECT_TRUE(std::none_of(samples.begin(), samples.end(), Pulsing)) << c.name;
      EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), Partial)) << c.name;
      EXPECT_TRUE(std::is_sorted(samples.begin(), samples.end(),
                                 [](const BarSample& a, const BarSample& b) {
                                   return a.fraction < b.fraction;
                                 }))
          << c.name << ": the bar never goes back";
      EXPECT_EQ(samples.back().fraction, 1.0) << c.name;
    } else {
      EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), Pulsing)) << c.name;
      EXPECT_TRUE(std::none_of(samples.begin(), samples.end(), Partial)) << c.name;
    }
  }
  EXPECT_TRUE(messages.texts.empty());
}

// The bar is empty when the frame appears, whatever the last installation
// left, and empties again when the download starts over after the minute
// changed. The retry gets nothing here, so what the first try showed would
// stay if the retry did not clear it.
TEST_F(UpdateSequenceTest, ProgressBarStartsEmptyAndStartsOverWhenTheDownloadIsRetried) {
  // Two installations, each a first try and a retry that gets nothing.
  server.On(kPath, {Reply::Stall(), Reply::Raw(""),
                    Reply::Trickle(std::string(200, 'n'), 10ms), Reply::Raw("")});
  form.ProgressBar1.SetFraction(0.7);
  int seen = 0;
  std::vector<BarSample> samples = ClickSamplingTheBar([&](const BarSample&) {
    if (++seen == 10) clock.Advance(60);
  });
  ASSERT_GE(samples.size(), 10u);
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), Empty)) << "while nothing arrived";

  // A first try that brings part of the build, then a minute passes.
  bool moved = false;
  samples = ClickSamplingTheBar([&](const BarSample& s) {
    if (!moved && s.fraction >= 0.1) {
      clock.Advance(60);
      moved = true;
    }
  });
  EXPECT_TRUE(moved) << "the first try showed part of the build";
  EXPECT_EQ(server.Requests(kPath), 4);
  EXPECT_TRUE(Empty({form.ProgressBar1.Fraction(), form.ProgressBar1.Pulsing()}))
      << form.ProgressBar1.Fraction();
  EXPECT_EQ(messages.texts, (std::vector<std::string>{"下载失败", "下载失败"}));
  ExpectReadyToInstall();
}

// After a failed download the bar shows what arrived of the build: how far a
// broken-off transfer came, nothing for a body that was not the build.
TEST_F(UpdateSequenceTest, ProgressBarShowsWhatArrivedOfTheBuildWhenTheDownloadFails) {
  struct Case {
    const char* name;
    Reply build;
    double fraction;
  };
  const Case cases[] = {
      {"broken off at 40 %", Reply::Truncated(std::string(40, 'n'), 100), 0.4},
      {"error page", Reply::Status(404, "<html>no such build</html>"), 0},
      {"chunked error page",
       Reply::Raw("HTTP/1.1 500 Broken\r\nTransfer-Encoding: chunked\r\n\r\n"
                  "5\r\nerror\r\n0\r\n\r\n"),
       0},
  };
  for (const Case& c : cases) {
    server.On(kPath, {c.build});
    form.Command1.Click();
    EXPECT_DOUBLE_EQ(form.ProgressBar1.Fraction(), c.fraction) << c.name;
    EXPECT_FALSE(form.ProgressBar1.Pulsing()) << c.name;
  }
  EXPECT_EQ(messages.texts, std::vector<std::string>(std::size(cases), "下载失败"));
}

TEST_F(UpdateSequenceTest, FailedDownloadShowsTheMessageAndChangesNothing) {
  server.On(kPath, {Reply::Status(404, "<html>no such build</html>")});
  form.Command1.Click();
  EXPECT_EQ(messages.texts, std::vector<std::string>{"下载失败"});
  ExpectReadyToInstall();
  EXPECT_EQ(ReadFile(folder / "Tarnwick.exe"), kOldBuild);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"Tarnwick.exe"});
}

TEST_F(UpdateSequenceTest, MainExecutableThatCannotBeReplacedIsAQuietFailedCopy) {
  std::filesystem::remove(PathOf(folder / "Tarnwick.exe"));
  std::filesystem::create_directory(PathOf(folder / "Tarnwick.exe"));  // nothing can go over it
  server.On(kPath, {Reply::Ok(kNewBuild)});
  form.Command1.Click();
  EXPECT_TRUE(messages.texts.empty());
  ExpectReadyToInstall();
  EXPECT_TRUE(std::filesystem::is_directory(PathOf(folder / "Tarnwick.exe")));
  EXPECT_TRUE(std::filesystem::is_empty(PathOf(folder / "Tarnwick.exe")));
  EXPECT_EQ(ReadFile(folder / "bak.exe"), kNewBuild);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Tarnwick.exe", "bak.exe"}));
}

#ifdef _WIN32
// What the user sees of the Win32 window at 96 dpi: the client area and the
// controls in pixels, a sizable window with no maximize box, and the red
// message in the Song face of the GB2312 character set.
TEST_F(UpdateSequenceTest, WindowsWindowHasItsLayoutStyleAndFonts) {
  const HWND window = ::FindWindowW(nullptr, L"Tarnwick升级");
  ASSERT_TRUE(window);
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, 345);
  EXPECT_EQ(client.bottom, 139);
  const auto style = ::GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE((style & WS_MINIMIZEBOX) && (style & WS_THICKFRAME) && (style & WS_SYSMENU));
  const platform::Rect button = form.Command1.Bounds();
  EXPECT_EQ(std::vector<int>({button.left, button.top, button.width, button.height}),
            std::vector<int>({64, 48, 169, 33}));
  form.Frame1.SetVisible(true);
  const platform::Rect frame = form.Frame1.Bounds();
  EXPECT_EQ(std::vector<int>({frame.left, frame.top, frame.width, frame.height}),
            std::vector<int>({48, 24, 257, 73}));
  const platform::Rect bar = form.ProgressBar1.Bounds();
  EXPECT_EQ(std::vector<int>({bar.left, bar.top, bar.width, bar.height}),
            std::vector<int>({64, 84, 225, 7}));

  HWND label = nullptr;
  ::EnumChildWindows(window, [](HWND child, LPARAM found) -> BOOL {
    wchar_t text[32] = {};
    ::GetWindowTextW(child, text, 32);
    if (std::wstring(text) != L"软件正在升级请稍候...") return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
  }, reinterpret_cast<LPARAM>(&label));
  ASSERT_TRUE(label);
  LOGFONTW font{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_EQ(std::wstring(font.lfFaceName), L"宋体");
  EXPECT_EQ(font.lfHeight, -19);  // 14.25 points at 96 dpi
  EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
}

// The main application in use: Windows does not let a running program be
// replaced, which is a failed copy like any other.
TEST_F(UpdateSequenceTest, RunningMainApplicationIsAQuietFailedCopy) {
  std::wstring commandLine = L"\"" + PathOf(folder / "Tarnwick.exe").wstring() + L"\" stay";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION running{};
  ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &running));
  ASSERT_EQ(WaitForStart(), "old\n");  // loaded and running
  server.On(kPath, {Reply::Ok(kNewBuild)});
  form.Command1.Click();
  ::TerminateProcess(running.hProcess, 0);
  ::WaitForSingleObject(running.hProcess, 5000);
  ::CloseHandle(running.hThread);
  ::CloseHandle(running.hProcess);
  EXPECT_TRUE(messages.texts.empty());
  ExpectReadyToInstall();
  EXPECT_EQ(ReadFile(folder / "Tarnwick.exe"), kOldBuild);
  EXPECT_EQ(ReadFile(folder / "bak.exe"), kNewBuild);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Tarnwick.exe", "bak.exe", "started"}));
}
#endif

TEST_F(UpdateSequenceTest, FileThatCannotBeWrittenGetsTheErrorReportAndEndsTheProgram) {
  std::filesystem::create_directory(PathOf(folder / "bak.exe"));
  server.On(kPath, {Reply::Ok(kNewBuild)});
  form.Command1.Click();
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_NE(messages.texts[0].find("bak.exe"), std::string::npos) << messages.texts[0];
  EXPECT_TRUE(form.Window().Closed());
  EXPECT_EQ(form.Window().Run(), 1);
  EXPECT_EQ(ReadFile(folder / "Tarnwick.exe"), kOldBuild);
}

TEST_F(UpdateSequenceTest, WhileWaitingASecondClickIsIgnoredAndClosingEndsCleanly) {
  server.On(kPath, {Reply::Stall()});
  int requestsAtSecondClick = -1;
  // Once the server holds the first request, click again and close.
  const testsupport::WindowTimer meanwhile(20ms, true, [&] {
    if (requestsAtSecondClick >= 0 || server.Requests(kPath) == 0) return;
    form.Command1.Click();
    requestsAtSecondClick = server.Requests(kPath);
    form.Window().RequestClose();
  });
  form.Command1.Click();
  EXPECT_EQ(requestsAtSecondClick, 1);
  EXPECT_EQ(server.Requests(kPath), 1);
  EXPECT_TRUE(form.Window().Closed());
  EXPECT_EQ(form.Window().Run(), 0);
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(ReadFile(folder / "Tarnwick.exe"), kOldBuild);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"Tarnwick.exe"});
}

// A successful installation, in folders whose names need care.
class InstallTest : public UpdateSequenceTest, public testing::WithParamInterface<const char*> {
 protected:
  InstallTest() : UpdateSequenceTest(GetParam()) {}
};

TEST_P(InstallTest, InstallsTheNewBuildThenRestartsIntoIt) {
  server.On(kPath, {Reply::Ok(kNewBuild)});
  server.On(kVersionPath, {Reply::Ok("2.36\r\n")});
  form.Command1.Click();
  EXPECT_TRUE(messages.texts.empty());
  EXPECT_EQ(form.Command1.Caption(), kRestart);
  EXPECT_TRUE(form.Command1.Enabled());
  EXPECT_FALSE(form.Frame1.Visible());
  EXPECT_EQ(ReadFile(folder / "bak.exe"), kNewBuild);
  EXPECT_EQ(ReadFile(folder / "Tarnwick.exe"), kNewBuild);
#ifndef _WIN32
  EXPECT_EQ(testsupport::ModeOf(folder / "Tarnwick.exe"), 0750u) << "keeps the old mode";
#endif
  EXPECT_EQ(ReadFile(folder / "tarn.dat"), std::string(9, '\0') + "2.4   ");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Tarnwick.exe", "bak.exe", "tarn.dat"}));

  // The restart role downloads nothing, even with the server gone.
  server.On(kPath, {Reply::Status(500, "down")});
  form.Command1.Click();
  EXPECT_EQ(server.Requests(kPath), 1);
  EXPECT_EQ(server.Requests(kVersionPath), 1);
  EXPECT_TRUE(form.Window().Closed());
  EXPECT_EQ(WaitForStart(), "new\n");
}

INSTANTIATE_TEST_SUITE_P(Folders, InstallTest,
                         testing::Values("app", "带 空格 的 文件夹 $(x) 'q'"));

TEST_F(UpdateSequenceTest, MissingMainExecutableIsCreatedExecutable) {
  std::filesystem::remove(PathOf(folder / "Tarnwick.exe"));
  server.On(kPath, {Reply::Ok(kNewBuild)});
  form.Command1.Click();
  EXPECT_EQ(form.Command1.Caption(), kRestart);
  EXPECT_EQ(ReadFile(folder / "Tarnwick.exe"), kNewBuild);
#ifndef _WIN32
  EXPECT_EQ(testsupport::ModeOf(folder / "Tarnwick.exe"), 0755u);
#endif
}

TEST_F(UpdateSequenceTest, InstallRecordsThePublishedVersionInTheMarkerFile) {
  struct Case {
    const char* name;
    Reply published;
    std::string field;
  };
  const Case cases[] = {
      {"3", Reply::Ok("3"), "\x33\x2E\x30\x20\x20\x20"},
      {"2.36", Reply::Ok("2.36\r\n"), "2.4   "},
      {"12345.67", Reply::Ok("12345.67"), "12345."},
      {"abc", Reply::Ok("abc"), "      "},
      {"empty", Reply::Ok(""), "      "},
      {"error page", Reply::Status(404, "not found"), "      "},
      {"no answer", Reply::Stall(), "      "},
  };
  // The main application's own bytes around the field.
  const std::string head = "TARNWICK\x01", tail = std::string("\x00\xff rest of the file", 19);
  server.On(kPath, {Reply::Ok(kNewBuild)});
  for (const Case& c : cases) {
    // For a server that never answers, a minute passes every 50 ms, so that
    // it is given up on; the others answer while the clock stands still.
    std::optional<testsupport::WindowTimer> ticker;
    if (c.published.kind == Reply::Kind::Stall)
      ticker.emplace(50ms, true, [this] { clock.Advance(60); });
    server.On(kVersionPath, {c.published});
    WriteFile(folder / "tarn.dat", head + "1.0   " + tail);
    form.Command1.SetCaption(kInstall);
    form.Command1.Click();
    EXPECT_EQ(form.Command1.Caption(), kRestart) << c.name;
    EXPECT_EQ(ReadFile(folder / "tarn.dat"), head + c.field + tail) << c.name;
  }
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(UpdateSequenceTest, MarkerThatCannotBeWrittenGetsTheErrorReportAndTheBuildStaysInstalled) {
  std::filesystem::create_directory(PathOf(folder / "tarn.dat"));
  server.On(kPath, {Reply::Ok(kNewBuild)});
  server.On(kVersionPath, {Reply::Ok("2.0")});
  form.Command1.Click();
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_NE(messages.texts[0].find("tarn.dat"), std::string::npos) << messages.texts[0];
  EXPECT_EQ(form.Command1.Caption(), kInstall);
  EXPECT_TRUE(form.Window().Closed());
  EXPECT_EQ(form.Window().Run(), 1);
  EXPECT_EQ(ReadFile(folder / "Tarnwick.exe"), kNewBuild);
}

}  // namespace
