#include "download_progress.h"

namespace updater {

void DownloadProgress::operator()(std::uint64_t received, std::optional<std::uint64_t> total) {
  if (received == 0) {
    Clear();
  } else if (!total) {
    Pulse();
  } else if (received >= *total) {
    ShowFraction(1);
  } else {
    ShowFraction(static_cast<double>(received) / static_cast<double>(*total));
  }
}

void DownloadProgress::Clear() {
  bar_->Clear();
  shownStep_ = 0;
  lastPulse_.reset();
}

void DownloadProgress::ShowFraction(double fraction) {
  const int step = static_cast<int>(fraction * kSteps);
  if (step == shownStep_) return;
  bar_->SetFraction(fraction);
  shownStep_ = step;
  lastPulse_.reset();
}

void DownloadProgress::Pulse() {
  const auto now = std::chrono::steady_clock::now();
  if (lastPulse_ && now - *lastPulse_ < kPulsePeriod) return;
  bar_->Pulse();
  lastPulse_ = now;
  shownStep_ = -1;  // whatever fraction comes next is shown
}

}  // namespace updater
