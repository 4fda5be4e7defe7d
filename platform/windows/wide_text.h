#pragma once
// The program's text is UTF-8; Windows takes UTF-16. Paths and window texts
// cross that edge here, so that no name is ever squeezed through the ANSI
// code page.
#include <windows.h>
// windows.h names MessageBoxW "MessageBox", which would rename the program's
// own platform::MessageBox wherever both are seen.
#undef MessageBox

#include <string>
#include <string_view>

namespace platform {

inline std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

inline std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
  return text;
}

}  // namespace platform
