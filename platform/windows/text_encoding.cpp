// Code-page conversion through the system's ANSI code page (CP_ACP): 936 on a
// Simplified Chinese system.
#include "platform/text_encoding.h"

#include <windows.h>

#include "wide_text.h"

namespace platform {
namespace {

constexpr wchar_t kReplacementCharacter = 0xFFFD;

// Converts `bytes` strictly; false when some sequence does not decode.
bool Decode(std::string_view bytes, std::wstring& out) {
  const int size = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, 0);
  if (size == 0) return false;
  out.resize(static_cast<std::size_t>(size));
  ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                        out.data(), size);
  return true;
}

// Character by character, for text with invalid sequences in it: each one
// becomes U+FFFD and is skipped one byte at a time, so the rest comes through.
std::wstring DecodeReplacing(std::string_view bytes) {
  std::wstring text;
  while (!bytes.empty()) {
    const bool lead = ::IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(bytes[0])) && bytes.size() > 1;
    std::wstring one;
    if (Decode(bytes.substr(0, lead ? 2 : 1), one)) {
      text += one;
      bytes.remove_prefix(lead ? 2 : 1);
    } else {
      text += kReplacementCharacter;
      bytes.remove_prefix(1);
    }
  }
  return text;
}

}  // namespace

std::string FromAnsiCodePage(std::string_view bytes) {
  if (bytes.empty()) return {};
  std::wstring text;
  if (!Decode(bytes, text)) text = DecodeReplacing(bytes);
  return Utf8(text);
}

std::string ToAnsiCodePage(std::string_view text) {
  const std::wstring wide = Wide(text);
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  // A system whose ANSI code page is UTF-8 holds every character and takes no
  // substitute (the call fails when given one).
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* substitute = utf8 ? nullptr : "?";
  const int size = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0,
                                         substitute, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, flags, wide.data(), length, bytes.data(), size, substitute,
                        nullptr);
  return bytes;
}

}  // namespace platform
