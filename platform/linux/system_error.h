#pragma once
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/error.h"

namespace platform {

// The error for a failed system call on `what`, with the system's own words.
inline Error SystemError(const std::string& action, const std::string& what, int err = errno) {
  return Error(action + " " + what + ": " + std::strerror(err));
}

}  // namespace platform
