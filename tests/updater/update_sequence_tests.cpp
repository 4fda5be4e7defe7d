#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

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
  ::WaitForInputIdle(running.hProcess, 5000);
  std::this_thread::sleep_for(500ms);  // loaded and running
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
  const testsupport::WindowTimer meanwhile(300ms, false, [&] {
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

  bool WaitForStart() {
    for (int i = 0; i < 250 && !testsupport::Exists(folder / "started"); ++i)
      std::this_thread::sleep_for(20ms);
    return testsupport::Exists(folder / "started");
  }
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
  ASSERT_TRUE(WaitForStart());
  EXPECT_EQ(ReadFile(folder / "started"), "new\n");
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
