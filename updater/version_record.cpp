#include "version_record.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "platform/files.h"
#include "platform/text_encoding.h"

namespace updater {
namespace {

constexpr std::uint64_t kFieldOffset = 9;
constexpr std::size_t kFieldLength = 6;
constexpr std::string_view kWhiteSpace = " \t\r\n";

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

// Reads [+-] digits [. digits] [(e|E) [+-] digits], with at least one digit
// before or after the point. Nothing else: no hex, inf, nan or separators.
bool IsPlainDecimal(std::string_view text) {
  std::size_t at = 0;
  const auto sign = [&] {
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  };
  const auto digits = [&] {
    const std::size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at - start;
  };
  sign();
  std::size_t mantissa = digits();
  if (at < text.size() && text[at] == '.') {
    ++at;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    sign();
    if (digits() == 0) return false;
  }
  return at == text.size();
}

// from_chars reads with "." whatever the locale; it takes no "+" sign.
std::optional<double> ReadNumber(std::string_view published) {
  std::string_view text = Trimmed(published);
  if (!IsPlainDecimal(text)) return std::nullopt;
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Adds one to a string of decimal digits.
void Increment(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

// The pattern "0.0". Rounds the number's shortest decimal form, the digits
// that were published, rather than its binary value: 2.25 gives 2.3 and 0.15
// gives 0.2, as a person reading the number would round it.
std::string FormatOneDecimal(double value) {
  char buffer[400];  // the longest fixed form of a double is 326 characters
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
  const std::string_view decimal(buffer, static_cast<std::size_t>(written.ptr - buffer));
  const auto point = decimal.find('.');
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : decimal.substr(point + 1);

  std::string tenths(decimal.substr(0, point));  // the number times ten, truncated
  tenths += fraction.empty() ? '0' : fraction[0];
  if (fraction.size() > 1 && fraction[1] >= '5') Increment(tenths);

  const bool zero = tenths.find_first_not_of('0') == std::string::npos;
  tenths.insert(tenths.size() - 1, 1, '.');
  // A negative number that rounds to zero is written "0.0", not "-0.0".
  return value < 0 && !zero ? "-" + tenths : tenths;
}

}  // namespace

std::string VersionValue(std::string_view published) {
  const auto number = ReadNumber(published);
  return number ? FormatOneDecimal(*number) : std::string();
}

void WriteVersionField(const std::string& markerPath, std::string_view value) {
  std::string field(value.substr(0, kFieldLength));
  field.resize(kFieldLength, ' ');
  std::string bytes = platform::ToAnsiCodePage(field);
  bytes.resize(kFieldLength, ' ');  // a code page must not carry it past the field
  platform::WriteAt(markerPath, kFieldOffset, bytes);
}

}  // namespace updater
