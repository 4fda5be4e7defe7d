#pragma once
#include <functional>

namespace platform {
class MessageBox;
class Window;
}  // namespace platform

namespace updater {

// Runs one event handler to its end. A window closed by the user during a
// wait ends it quietly (the window then closes); any other error gets the
// standard report, a message box with the error's description, and ends the
// program with a non-zero exit code.
void RunHandler(const std::function<void()>& handler, platform::MessageBox& messages,
                platform::Window& window);

}  // namespace updater
