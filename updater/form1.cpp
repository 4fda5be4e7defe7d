#include "form1.h"

#include "app_paths.h"
#include "download_progress.h"
#include "error_report.h"
#include "platform/copy.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "texts.h"
#include "version_record.h"
#include "web/background.h"
#include "web/download_file.h"
#include "web/get_html.h"

namespace updater {
namespace {

// Layout in twips (15 to a pixel at 96 dpi). The label starts exactly at the
// button's top-left corner with its height, so the waiting message stands
// where the button was while the frame covers it.
constexpr int kClientWidth = 5175;
constexpr int kClientHeight = 2085;
constexpr platform::Rect kFrame1{720, 360, 3855, 1095};
constexpr platform::Rect kLabel1{240, 360, 3375, 495};  // inside Frame1
// Under the label, as wide, 7 pixels tall at 96 dpi, clear of the frame's
// bottom border.
constexpr platform::Rect kProgressBar1{240, 900, 3375, 105};  // inside Frame1
constexpr platform::Rect kCommand1{960, 720, 2535, 495};
constexpr unsigned kRed = 0xff0000;
const platform::Font kLabelFont{"宋体", 14.25, 134};
const platform::Font kButtonFont{"宋体", 9, 134};  // the form's font on a Chinese system
// GetHTML's wait mode for the version text: until the clock's minute changes.
constexpr std::int32_t kLongWait = 1;

}  // namespace

Form1::Form1(const Services& services, std::string host, std::string folder)
    : services_(services),
      host_(std::move(host)),
      folder_(std::move(folder)),
      window_(platform::MakeWindow(kAppTitle, kClientWidth, kClientHeight)),
      Frame1(window_->AddFrame(kFrame1)),
      Label1(window_->AddLabel(Frame1, kLabel1, kWaitingMessage, kLabelFont, kRed)),
      ProgressBar1(window_->AddProgressBar(Frame1, kProgressBar1)),
      Command1(window_->AddButton(kCommand1, kInstallCaption, kButtonFont, [this] {
        RunHandler([this] { Command1_Click(); }, services_.messages, *window_);
      })) {}

void Form1::Command1_Click() {
  Command1.SetEnabled(false);
  if (Command1.Caption().find(kRestartMark) != std::string::npos) {
    Restart();
    return;
  }
  // Each installation starts with an empty bar, whatever the last one left.
  ProgressBar1.Clear();
  Frame1.SetVisible(true);
  Install();
  Command1.SetEnabled(true);
  Frame1.SetVisible(false);
}

void Form1::Install() {
  const std::string download = InFolder(folder_, kDownloadFile);
  if (DownloadFile(ServerAddress(host_, kNewBuildResource), download) == 0) {
    services_.messages.Show(kDownloadFailed, kAppTitle);
    return;
  }
  // A main executable that cannot be replaced (locked, not writable) stays
  // as it was; the button keeps its install role and bak.exe the new build.
  // The copy of a large build takes a while; the window goes on meanwhile.
  bool copied = false;
  web::WhileWindowLives(*window_, [&] {
    copied = platform::CopyFileReplacing(download, InFolder(folder_, kMainExecutable));
  });
  if (copied) {
    RecordVersion();
    Command1.SetCaption(kRestartCaption);
  }
}

void Form1::RecordVersion() {
  const std::string published = GetHTML(ServerAddress(host_, kVersionResource), kLongWait);
  WriteVersionField(InFolder(folder_, kMarkerFile), VersionValue(published));
}

void Form1::Restart() {
  platform::StartProgram(InFolder(folder_, kMainExecutable));
  window_->Close(0);
}

std::string Form1::GetHTML(const std::string& sURL, std::int32_t g_n) {
  return web::GetHTML(Retrieval(), sURL, g_n);
}

std::int32_t Form1::DownloadFile(const std::string& sURL, const std::string& sPath) {
  web::Retrieval with = Retrieval();
  with.progress = DownloadProgress(ProgressBar1);
  const std::int32_t saved = web::DownloadFile(with, sURL, sPath);
  // A failed download whose whole body arrived (an error page, an empty
  // body) brought none of the build, and one of unknown length cannot tell
  // how far it came: the bar empties. One that broke off keeps showing how
  // far it came.
  if (saved == 0 && (ProgressBar1.Pulsing() || ProgressBar1.Fraction() >= 1))
    ProgressBar1.Clear();
  return saved;
}

web::Retrieval Form1::Retrieval() {
  return {services_.http, *window_, services_.clock, services_.maxDownloadBytes};
}

}  // namespace updater
