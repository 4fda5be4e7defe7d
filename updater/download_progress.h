#pragma once
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/window.h"

namespace updater {

// Shows a download's progress on the bar without redrawing it more often
// than anyone could see: a known length moves the bar in thousandths (a
// large body arrives in thousands of pieces that would each redraw it), an
// unknown one pulses at most every 100 ms. Nothing received yet (a body
// beginning, or a retry starting over) empties the bar.
class DownloadProgress {
 public:
  explicit DownloadProgress(platform::ProgressBar& bar) : bar_(&bar) {}

  // A web::Progress: the bytes stored so far and the announced length.
  void operator()(std::uint64_t received, std::optional<std::uint64_t> total);

 private:
  static constexpr int kSteps = 1000;
  static constexpr std::chrono::milliseconds kPulsePeriod{100};

  void Clear();
  void ShowFraction(double fraction);
  void Pulse();

  platform::ProgressBar* bar_;
  int shownStep_ = 0;
  std::optional<std::chrono::steady_clock::time_point> lastPulse_;
};

}  // namespace updater
