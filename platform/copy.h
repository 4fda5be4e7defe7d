#pragma once
#include <string>

namespace platform {

// Copies `from` over `to` atomically: through a temporary file in the
// target's folder, renamed over the target only once it is complete. The
// result keeps the old target's permission bits (0755 for a new one). Any
// failure leaves the target as it was and yields false; nothing is thrown.
bool CopyFileReplacing(const std::string& from, const std::string& to) noexcept;

}  // namespace platform
