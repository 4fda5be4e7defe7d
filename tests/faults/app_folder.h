#pragma once
// An application folder as a user has it before an update, and the checks
// that nothing in it was lost, whatever went wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace testsupport {

inline constexpr char kBuildPath[] = "/soft/tarnwick/tarnwick.jpg";
inline constexpr char kVersionPath[] = "/soft/tarnwick/s_ver.txt";
inline const std::string kOldMain = "the old main application, as it was";
inline const std::string kOldBak = "an earlier download";
// The marker file: the main application's bytes around the version field.
inline const std::string kMarkerHead = "TARNWICK\x01";
inline const std::string kMarkerTail("\x00\xff the rest of the file", 22);
inline constexpr unsigned kMainMode = 0750;

inline std::string Marker(const std::string& field) { return kMarkerHead + field + kMarkerTail; }

class AppFolder {
 public:
  explicit AppFolder(const std::string& path) : path_(path) {
    WriteFile(At("Tarnwick.exe"), kOldMain);
    std::filesystem::permissions(PathOf(At("Tarnwick.exe")), std::filesystem::perms(kMainMode));
    WriteFile(At("bak.exe"), kOldBak);
    WriteFile(At("tarn.dat"), Marker("1.0   "));
  }

  const std::string& Path() const { return path_; }
  std::string At(const std::string& name) const { return Utf8Of(PathOf(path_) / PathOf(name)); }

  // The three files are each either as they were or as the installation
  // leaves them, byte for byte; no temporary file is left.
  void Expect(const std::string& main, const std::string& bak, const std::string& field) const {
    EXPECT_EQ(ReadFile(At("Tarnwick.exe")), main);
#ifndef _WIN32
    EXPECT_EQ(ModeOf(At("Tarnwick.exe")), kMainMode);
#endif
    EXPECT_EQ(ReadFile(At("bak.exe")), bak);
    EXPECT_EQ(ReadFile(At("tarn.dat")), Marker(field));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Tarnwick.exe", "bak.exe", "tarn.dat"}));
  }
  void ExpectAsBefore() const { Expect(kOldMain, kOldBak, "1.0   "); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PathOf(path_)))
      names.push_back(Utf8Of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

}  // namespace testsupport
