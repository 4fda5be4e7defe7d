// Code-page conversion through glibc's iconv.
#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <utility>

#include "system_error.h"

namespace platform {
namespace {

constexpr char kAnsiCodePage[] = "CP936";
constexpr char kText[] = "UTF-8";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Owns one iconv conversion descriptor.
class Converter {
 public:
  Converter(const char* to, const char* from)
      : handle_(::iconv_open(to, from)), fromText_(std::string_view(from) == kText) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
      throw SystemError("cannot convert text", std::string(from) + " to " + to);
  }
  ~Converter() { ::iconv_close(handle_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in`; a sequence that does not convert is replaced by
  // `substitute` and skipped (one byte of a code page, one whole character
  // of UTF-8), so the rest still comes through.
  std::string Convert(std::string_view in, std::string_view substitute) {
    std::string out;
    char buffer[1024];
    char* next = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
      char* put = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t done = ::iconv(handle_, &next, &left, &put, &room);
      const int err = errno;
      out.append(buffer, static_cast<std::size_t>(put - buffer));
      if (done != static_cast<std::size_t>(-1) || err == E2BIG) continue;
      // EILSEQ: a byte sequence that is not valid; EINVAL: one cut off at the end.
      out += substitute;
      do {
        ++next;
        --left;
      } while (fromText_ && left > 0 && IsContinuation(*next));
    }
    return out;
  }

 private:
  static bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

  iconv_t handle_;
  bool fromText_;
};

}  // namespace

std::string FromAnsiCodePage(std::string_view bytes) {
  return Converter(kText, kAnsiCodePage).Convert(bytes, kReplacementCharacter);
}

std::string ToAnsiCodePage(std::string_view text) {
  return Converter(kAnsiCodePage, kText).Convert(text, "?");
}

}  // namespace platform
