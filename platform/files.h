#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The folder that holds the running executable, without a trailing separator
// unless it is the root.
std::string ApplicationFolder();

// A new, exclusively created file beside a target path. It becomes the target
// only by Commit, which renames it over the target in one step; otherwise it
// is removed when the object goes away, so an interrupted write never leaves
// a partial file at the target. Creating one also removes the temporary
// files for the same target that a killed run left behind, never one that a
// live process still holds.
class TempFile {
 public:
  explicit TempFile(const std::string& target);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(const std::byte* data, std::size_t size);
  // Discards what was written so far.
  void Clear();
  // Gives the file the permission bits `mode` (ignored where there are none),
  // flushes it to disk and renames it over the target.
  void Commit(unsigned mode);
  const std::string& Path() const { return path_; }

 private:
  std::string target_;
  std::string path_;
  std::intptr_t handle_ = -1;
  bool committed_ = false;
  std::uint64_t written_ = 0;  // bytes written so far
  std::uint64_t flushed_ = 0;  // of which the system was told to write out
};

// The permission bits of an existing file, or `fallback` when it does not exist.
unsigned FileMode(const std::string& path, unsigned fallback);

// Writes `bytes` into the file at `path` at byte `offset`, creating the file
// when it is missing. Nothing else in the file changes and it is never
// shortened; a file shorter than `offset` grows, the gap reading as zeros.
// Throws platform::Error with the system's description when the file cannot
// be opened or written.
void WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes);

}  // namespace platform
