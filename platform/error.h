#pragma once
// Errors raised by the platform layer. They carry the platform's own
// description of what went wrong (strerror, curl_easy_strerror, ...), which is
// what the standard error report shows to the user.
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised out of an event-pumping wait when the user closed the window while
// an installation was waiting for the server: the handler unwinds, every
// resource it held cleans up after itself, and the program ends.
class WindowClosed : public std::exception {
 public:
  const char* what() const noexcept override { return "window closed"; }
};

}  // namespace platform
