// What the machine can do to an installation: folders and files the user may
// not write, a disk that fills up, and the updater killed at any instant.
// Afterwards the main application is whole, old or new, and the next run
// succeeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "app_folder.h"
#include "platform/http_request.h"
#include "support/child_process.h"
#include "support/fakes.h"
#include "support/scripted_server.h"
#include "updater/form1.h"

#ifdef _WIN32
#include "platform/windows/system_error.h"
#else
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

using namespace std::chrono_literals;
using testsupport::AppFolder;
using testsupport::kBuildPath;
using testsupport::kVersionPath;
using testsupport::PathOf;
using testsupport::ReadFile;
using testsupport::Reply;

constexpr char kInstall[] = "软件升级";

class MachineFaultsTest : public testing::Test {
 protected:
  // One click in a window on `folder`.
  void Click(const std::string& folder) {
    updater::Form1 form({*http, clock, messages, 64 << 20}, server.Host(), folder);
    form.Window().Show();
    form.Command1.Click();
    closed = form.Window().Closed();
    caption = form.Command1.Caption();
  }

  void ExpectErrorReportNaming(const std::string& file, const std::string& reason) {
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find(file), std::string::npos) << messages.texts[0];
    EXPECT_NE(messages.texts[0].find(reason), std::string::npos) << messages.texts[0];
    EXPECT_TRUE(closed);
    EXPECT_EQ(caption, kInstall);
  }

  testsupport::ScriptedServer server;
  testsupport::TempFolder temp;
  testsupport::FakeClock clock{testsupport::kHalfPastNoon};
  std::unique_ptr<platform::HttpRequestFactory> http = platform::MakeHttpRequestFactory();
  testsupport::RecordingMessageBox messages;
  bool closed = false;
  std::string caption;
};

#ifndef _WIN32
// These run as an unprivileged user (see main.cpp), for whom permission bits count.
TEST_F(MachineFaultsTest, FolderThatCannotBeWrittenGetsTheErrorReportAndKeepsEverything) {
  ASSERT_NE(::geteuid(), 0u) << "root ignores permission bits";
  const AppFolder app(temp.Path());
  server.On(kBuildPath, {Reply::Ok("the new build")});
  std::filesystem::permissions(PathOf(app.Path()), std::filesystem::perms(0555));
  Click(app.Path());
  std::filesystem::permissions(PathOf(app.Path()), std::filesystem::perms(0755));
  ExpectErrorReportNaming("bak.exe", "Permission denied");
  app.ExpectAsBefore();
}

TEST_F(MachineFaultsTest, MarkerThatCannotBeWrittenGetsTheErrorReportAfterTheInstall) {
  ASSERT_NE(::geteuid(), 0u) << "root ignores permission bits";
  const AppFolder app(temp.Path());
  server.On(kBuildPath, {Reply::Ok("the new build")});
  server.On(kVersionPath, {Reply::Ok("2.36")});
  std::filesystem::permissions(PathOf(app.At("tarn.dat")), std::filesystem::perms(0444));
  Click(app.Path());
  ExpectErrorReportNaming("tarn.dat", "Permission denied");
  app.Expect("the new build", "the new build", "1.0   ");
}
#endif

// The folder on a disk with 1 MiB free (a tmpfs that the test's runner
// mounts where it may), or, where it may not, under a 1 MiB limit on the
// size of any file this process writes.
class DiskFull {
 public:
  DiskFull() {
    if (const char* disk = std::getenv("UPDATER_TEST_SMALL_DISK")) {
#ifdef _WIN32
      folder_ = std::string("Z:") + disk + "/app";
      std::replace(folder_.begin(), folder_.end(), '/', '\\');
#else
      folder_ = std::string(disk) + "/app";
#endif
      std::filesystem::create_directory(PathOf(folder_));
      reason_ = noSpace_;
      return;
    }
#ifndef _WIN32
    ::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit small = saved_;
    small.rlim_cur = 1 << 20;
    limited_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    reason_ = "File too large";
#endif
  }
  ~DiskFull() {
#ifndef _WIN32
    if (limited_) ::setrlimit(RLIMIT_FSIZE, &saved_);
#endif
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(PathOf(folder_), ignored);
  }

  bool Available() const { return !folder_.empty() || limited_; }
  // Where the application folder goes: on the small disk, or `otherwise`.
  std::string Folder(const std::string& otherwise) const { return folder_.empty() ? otherwise : folder_; }
  // What the system says of the failed write.
  const std::string& Reason() const { return reason_; }

 private:
#ifdef _WIN32
  const std::string noSpace_ = platform::SystemMessage(ERROR_DISK_FULL);
#else
  const std::string noSpace_ = "No space left on device";
  rlimit saved_{};
#endif
  std::string folder_;
  std::string reason_;
  bool limited_ = false;
};

TEST_F(MachineFaultsTest, DiskFullWhileSavingTheDownloadGetsTheErrorReportAndKeepsEverything) {
  server.On(kBuildPath, {Reply::Generated(2 << 20)});
  const DiskFull disk;
  if (!disk.Available()) GTEST_SKIP() << "neither a small disk nor a file size limit here";
  const AppFolder app(disk.Folder(temp.Path()));
  Click(app.Path());
  ExpectErrorReportNaming("bak.exe", disk.Reason());
  app.ExpectAsBefore();
}

// ---- Killed at any instant ------------------------------------------------

// How long a wait for one stage of a child's installation may take.
constexpr auto kStageLimit = 60s;
constexpr std::uint64_t kBuildSize = 32 << 20;

class KilledInstallTest : public testing::Test {
 public:  // read by the instants' tests below
  KilledInstallTest() : app(temp.Path()), newBuild(testsupport::GeneratedBody(kBuildSize)) {}

  // A slow server: the download takes a second or so, the version text
  // arrives a byte at a time.
  void ServeSlowly() {
    server.On(kBuildPath, {Reply::Paced(kBuildSize, 2ms)});
    server.On(kVersionPath, {Reply::Trickle("2.36", 100ms)});
  }

  testsupport::ChildProcess StartInstall() {
    return testsupport::ChildProcess({"--install", app.Path(), server.Host()});
  }

  // A temporary file for `target` exists in the folder, at least `size` bytes long.
  bool TempFileFor(const std::string& target, std::uintmax_t size = 0) const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(PathOf(app.Path()), error)) {
      if (!testsupport::Utf8Of(entry.path().filename()).starts_with("." + target + ".part-")) continue;
      std::error_code gone;
      if (entry.file_size(gone) >= size && !gone) return true;
    }
    return false;
  }

  std::uintmax_t SizeOf(const std::string& name) const {
    std::error_code error;
    const auto size = std::filesystem::file_size(PathOf(app.At(name)), error);
    return error ? 0 : size;
  }

  // Each file is whole, old or new, and the version field is one or the other.
  void ExpectNothingLost() const {
    const std::string main = ReadFile(app.At("Tarnwick.exe"));
    EXPECT_TRUE(main == testsupport::kOldMain || main == newBuild) << main.size() << " bytes";
    const std::string bak = ReadFile(app.At("bak.exe"));
    EXPECT_TRUE(bak == testsupport::kOldBak || bak == newBuild) << bak.size() << " bytes";
    const std::string marker = ReadFile(app.At("tarn.dat"));
    EXPECT_TRUE(marker == testsupport::Marker("1.0   ") || marker == testsupport::Marker("2.4   "))
        << marker;
#ifndef _WIN32
    EXPECT_EQ(testsupport::ModeOf(app.At("Tarnwick.exe")), testsupport::kMainMode);
#endif
  }

  // A run after the killed one, against a server that answers at once.
  void ExpectNextRunSucceeds() {
    server.On(kBuildPath, {Reply::Generated(kBuildSize)});
    server.On(kVersionPath, {Reply::Ok("2.36")});
    testsupport::ChildProcess next = StartInstall();
    ASSERT_EQ(next.Wait(kStageLimit), 0) << "the next run did not install";
    app.Expect(newBuild, newBuild, "2.4   ");
  }

  testsupport::ScriptedServer server;
  testsupport::TempFolder temp;
  AppFolder app;
  const std::string newBuild;
};

struct Instant {
  const char* name;
  std::function<bool(const KilledInstallTest&)> reached;
};

TEST_F(KilledInstallTest, AtEveryStageNothingIsLostAndTheNextRunSucceeds) {
  const testsupport::ScriptedServer& s = server;
  const Instant instants[] = {
      {"download begun", [](const auto& t) { return t.TempFileFor("bak.exe", 1); }},
      {"download half done", [](const auto& t) { return t.TempFileFor("bak.exe", kBuildSize / 2); }},
      {"download saved", [](const auto& t) { return t.SizeOf("bak.exe") == kBuildSize; }},
      {"main executable being replaced", [](const auto& t) { return t.TempFileFor("Tarnwick.exe"); }},
      {"version asked for", [&s](const auto&) { return s.Requests(kVersionPath) > 0; }},
      {"version nearly arrived",
       [&s, asked = std::optional<std::chrono::steady_clock::time_point>()](const auto&) mutable {
         if (s.Requests(kVersionPath) == 0) return false;
         if (!asked) asked = std::chrono::steady_clock::now();
         return std::chrono::steady_clock::now() - *asked > 350ms;
       }},
      {"version recorded",
       [](const auto& t) { return ReadFile(t.app.At("tarn.dat")) == testsupport::Marker("2.4   "); }},
  };
  for (const Instant& instant : instants) {
    SCOPED_TRACE(instant.name);
    app = AppFolder(temp.Path());
    ServeSlowly();
    testsupport::ChildProcess run = StartInstall();
    const auto deadline = std::chrono::steady_clock::now() + kStageLimit;
    bool reached = false;
    while (!(reached = instant.reached(*this)) && run.Wait(0ms) < 0 &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(reached) << "the run ended before this instant was seen";
    run.Kill();
    run.Wait(10s);
    ExpectNothingLost();
    ExpectNextRunSucceeds();
  }
}

}  // namespace
