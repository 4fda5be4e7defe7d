#pragma once
#include <string>
#include <string_view>

namespace platform {

// Conversions between the program's text (UTF-8) and the system's ANSI code
// page, which is what the update server publishes its texts in and what the
// main application reads from its marker file. On Linux that code page is
// 936 (GBK), the one of Simplified Chinese systems.

// Bytes that do not decode become U+FFFD; nothing is dropped silently.
std::string FromAnsiCodePage(std::string_view bytes);
// Characters the code page cannot hold become "?".
std::string ToAnsiCodePage(std::string_view text);

}  // namespace platform
