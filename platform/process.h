#pragma once
#include <string>

namespace platform {

// Starts the program at `path` with no arguments and does not wait for it.
// The path is handed over as one argument, never through a shell. Whether the
// start worked is not reported: the caller goes on either way.
void StartProgram(const std::string& path) noexcept;

}  // namespace platform
