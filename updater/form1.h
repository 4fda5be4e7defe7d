#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/window.h"
#include "web/retrieval.h"

namespace platform {
class Clock;
class HttpRequestFactory;
class MessageBox;
}  // namespace platform

namespace updater {

// What the window needs from the outside world.
struct Services {
  platform::HttpRequestFactory& http;
  platform::Clock& clock;
  platform::MessageBox& messages;
  // The largest new build accepted: a larger body is not the main application.
  std::uint64_t maxDownloadBytes;
};

// The updater's window: one button that installs the newest build of the
// main application and then, in its restart role, starts it and closes.
class Form1 {
 public:
  // `host` is the update server ("name" or "name:port"); `folder` the
  // application folder, where the main application and its files live.
  Form1(const Services& services, std::string host, std::string folder);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  platform::Window& Window() { return *window_; }

  // The update sequence behind the button.
  void Command1_Click();

  // Fetches a text from the update server while the window stays alive; see
  // web::GetHTML.
  std::string GetHTML(const std::string& sURL, std::int32_t g_n);

 private:
  void Install();
  // Writes the version the server publishes into the main application's
  // marker file.
  void RecordVersion();
  void Restart();
  std::int32_t DownloadFile(const std::string& sURL, const std::string& sPath);
  // What a retrieval waits with: this window's events and the clock.
  web::Retrieval Retrieval();

  Services services_;
  std::string host_;
  std::string folder_;
  std::unique_ptr<platform::Window> window_;

 public:
  platform::Frame& Frame1;
  platform::Label& Label1;
  // How much of the new build has arrived, under the label.
  platform::ProgressBar& ProgressBar1;
  platform::Button& Command1;
};

}  // namespace updater
