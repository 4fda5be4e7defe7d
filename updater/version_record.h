#pragma once
#include <string>
#include <string_view>

namespace updater {

// The version value of the text the update server publishes: when the text
// reads as a plain decimal number (optional sign, digits with an optional
// point, optional exponent, surrounding white space ignored), that number
// with exactly one decimal, rounded half away from zero; otherwise the empty
// text. The decimal separator is always ".", whatever the user's locale.
std::string VersionValue(std::string_view published);

// Writes the value into the marker file's six-byte version field (offset 9,
// left-aligned, padded with spaces, cut to six characters). Every other byte
// of the file stays as it was; a missing or short file is extended.
// Throws platform::Error when the file cannot be opened or written.
void WriteVersionField(const std::string& markerPath, std::string_view value);

}  // namespace updater
