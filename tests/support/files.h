#pragma once
// Real files in a temporary folder, removed with everything in it.
//
// Paths are UTF-8 std::strings on every platform. On Windows a std::string
// given to std::filesystem or a file stream means the ANSI code page, so every
// conversion goes through PathOf and Utf8Of.
#if !defined(_WIN32)
#include <stdlib.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// The path named by a UTF-8 string.
inline std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 string naming a path.
inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

// A new, empty folder "tarn-XXXXXX" in the system's temporary folder.
inline std::filesystem::path MakeUniqueFolder() {
  const std::filesystem::path temp = std::filesystem::temp_directory_path();
#if defined(_WIN32)
  // No mkdtemp here: try random names until one is new; create_directory
  // reports an existing folder instead of reusing it.
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "tarn-";
    for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
    if (std::filesystem::create_directory(temp / name)) return temp / name;
  }
  throw std::runtime_error("cannot create a unique folder in " + Utf8Of(temp));
#else
  std::string pattern = (temp / "tarn-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
#endif
}

class TempFolder {
 public:
  explicit TempFolder(const std::string& name = "updater test")
      : root_(MakeUniqueFolder()), path_(root_ / PathOf(name)) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path() const { return Utf8Of(path_); }
  std::string operator/(const std::string& name) const { return Utf8Of(path_ / PathOf(name)); }
  // Names of the files in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(Utf8Of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path root_;
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(PathOf(path), std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(PathOf(path)); }

// POSIX permission bits; on Windows, whatever std::filesystem derives from the
// read-only attribute.
inline unsigned ModeOf(const std::string& path) {
  return static_cast<unsigned>(std::filesystem::status(PathOf(path)).permissions()) & 07777u;
}

}  // namespace testsupport
