#pragma once
#include <windows.h>

#include <string>

#include "platform/error.h"
#include "wide_text.h"

namespace platform {

// The system's own description of an error code, in the user's language.
inline std::string SystemMessage(DWORD code, HMODULE source = nullptr) {
  wchar_t* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      (source ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length = ::FormatMessageW(flags, source, code, 0, reinterpret_cast<wchar_t*>(&buffer),
                                        0, nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) return "error " + std::to_string(code);
  return Utf8(text);
}

// The error for a failed system call on `what`, with the system's own words.
inline Error SystemError(const std::string& action, const std::string& what,
                         DWORD code = ::GetLastError()) {
  return Error(action + " " + what + ": " + SystemMessage(code));
}

}  // namespace platform
