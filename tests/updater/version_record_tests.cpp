#include "updater/version_record.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <vector>

#include "platform/error.h"
#include "support/files.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(VersionValue, PlainDecimalNumbersGetOneDecimalRoundedHalfAwayFromZero) {
  const std::pair<const char*, const char*> cases[] = {
      {"3", "3.0"},          {"2.36", "2.4"},     {"2.25", "2.3"},       {"0.15", "0.2"},
      {"2.24", "2.2"},       {"9.96", "10.0"},    {"-2.25", "-2.3"},     {"-0.04", "0.0"},
      {"12345.67", "12345.7"}, {"+1", "1.0"},     {".5", "0.5"},         {"5.", "5.0"},
      {"1e2", "100.0"},      {"2.5E-1", "0.3"},   {"007", "7.0"},        {" \t2.0\r\n", "2.0"},
      {"1e20", "100000000000000000000.0"},
  };
  for (const auto& [published, value] : cases)
    EXPECT_EQ(updater::VersionValue(published), value) << published;
}

TEST(VersionValue, AnythingElseIsTheEmptyText) {
  for (const char* published :
       {"", " \r\n", "abc", "2.0 beta", "v2", "1,000", "1 000", "$5", "0x10", "inf", "nan", "-",
        ".", "e5", "1e", "1e+", "--1", "1.2.3", "1e999", "２", "\xEF\xBB\xBF" "2.0"})
    EXPECT_EQ(updater::VersionValue(published), "") << published;
}

// A locale whose decimal separator is a comma.
#ifdef _WIN32
constexpr char kCommaLocale[] = "German_Germany.1252";
#else
constexpr char kCommaLocale[] = "de_DE.UTF-8";  // scripts/setup.sh makes it
#endif

TEST(VersionValue, ThePointIsAPointInEveryLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  ASSERT_TRUE(std::setlocale(LC_ALL, kCommaLocale)) << kCommaLocale;
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(updater::VersionValue("2.36"), "2.4");
  EXPECT_EQ(updater::VersionValue("2,36"), "");
  EXPECT_EQ(updater::VersionValue("12345.67"), "12345.7");
  std::setlocale(LC_ALL, before.c_str());
}

// The field as it lands in the marker file, for each published text.
TEST(VersionField, SixBytesLeftAlignedPaddedAndCut) {
  const std::pair<const char*, std::string> cases[] = {
      {"3", "\x33\x2E\x30\x20\x20\x20"},
      {"2.36", "2.4   "},
      {"12345.67", "12345."},
      {"-0.5", "-0.5  "},
      {"abc", "      "},
      {"", "      "},
  };
  testsupport::TempFolder folder;
  for (const auto& [published, field] : cases) {
    const std::string marker = folder / "tarn.dat";
    WriteFile(marker, std::string(15, 'x'));
    updater::WriteVersionField(marker, updater::VersionValue(published));
    EXPECT_EQ(ReadFile(marker), "xxxxxxxxx" + field) << published;
  }
}

TEST(VersionField, EveryByteOutsideTheFieldStaysAndShortFilesGrow) {
  std::string forty(40, '\0');
  for (std::size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<char>(0xF0 - i * 3);
  const std::string fifteen = forty.substr(0, 15);
  struct Case {
    const char* name;
    bool exists;
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"missing", false, "", std::string(9, '\0') + "2.4   "},
      {"3 bytes", true, "abc", "abc" + std::string(6, '\0') + "2.4   "},
      {"exactly 15 bytes", true, fifteen, fifteen.substr(0, 9) + "2.4   "},
      {"40 bytes", true, forty, forty.substr(0, 9) + "2.4   " + forty.substr(15)},
  };
  for (const Case& c : cases) {
    testsupport::TempFolder folder;
    const std::string marker = folder / "tarn.dat";
    if (c.exists) WriteFile(marker, c.before);
    updater::WriteVersionField(marker, "2.4");
    EXPECT_EQ(ReadFile(marker), c.after) << c.name;
  }
}

TEST(VersionField, MarkerThatCannotBeOpenedOrWrittenRaisesTheSystemsError) {
  testsupport::TempFolder folder;
  struct Case {
    std::string marker;
    const char* description;
  };
  std::filesystem::create_directory(folder / "a folder");
  std::vector<Case> cases = {
      {folder / "a folder", "cannot open"},
      {folder / "no such folder/tarn.dat", "cannot open"},
  };
#ifndef _WIN32
  // A write error: the device that is always full.
  std::filesystem::create_symlink("/dev/full", folder / "full disk");
  cases.push_back({folder / "full disk", "cannot write"});
#endif
  for (const Case& c : cases) {
    try {
      updater::WriteVersionField(c.marker, "2.0");
      ADD_FAILURE() << c.marker << " was written";
    } catch (const platform::Error& error) {
      const std::string what = error.what();
      EXPECT_NE(what.find(c.description), std::string::npos) << what;
      EXPECT_NE(what.find(c.marker), std::string::npos) << what;
    }
  }
}

}  // namespace
