#include "error_report.h"

#include <exception>

#include "platform/error.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "texts.h"

namespace updater {
namespace {

constexpr int kExitOnError = 1;

void Report(const char* description, platform::MessageBox& messages, platform::Window& window) {
  messages.Show(description, kAppTitle);
  window.Close(kExitOnError);
}

}  // namespace

void RunHandler(const std::function<void()>& handler, platform::MessageBox& messages,
                platform::Window& window) {
  try {
    handler();
  } catch (const platform::WindowClosed&) {
    // The user closed the window mid-wait; everything has been cleaned up on
    // the way out and the window closes once the handler has returned.
  } catch (const std::exception& error) {
    Report(error.what(), messages, window);
  } catch (...) {
    Report("unknown error", messages, window);
  }
}

}  // namespace updater
