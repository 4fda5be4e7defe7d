#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "system_error.h"
#include "unique_fd.h"

namespace platform {
namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the rename durable: the folder's entry is written, not only the file.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Starts writing the file out as it grows, a step at a time, without waiting
// for it: the disk works while the network does, so the fsync that ends the
// file has little left to do. Advisory: errors are left to that fsync.
constexpr std::uint64_t kWriteBehindStep = 8 << 20;

void WriteBehind(int fd, std::uint64_t& flushed, std::uint64_t written) {
  while (written - flushed >= kWriteBehindStep) {
    ::sync_file_range(fd, static_cast<off_t>(flushed), static_cast<off_t>(kWriteBehindStep),
                      SYNC_FILE_RANGE_WRITE);
    flushed += kWriteBehindStep;
  }
}

// Removes the temporary files for `target` that an interrupted run left
// behind. A live one is locked by its owner for as long as it exists, so
// only those nobody holds are taken.
void RemoveLeftovers(const std::string& target) {
  const std::string prefix = "." + NameOf(target) + ".part-";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(FolderOf(target), error)) {
    const std::string path = entry.path().string();
    if (!entry.path().filename().string().starts_with(prefix)) continue;
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.Valid() && ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
  }
}

}  // namespace

std::string ApplicationFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw SystemError("cannot read", "/proc/self/exe");
    if (static_cast<std::size_t>(n) < buffer.size()) return FolderOf({buffer.data(), std::size_t(n)});
    buffer.resize(buffer.size() * 2);
  }
}

TempFile::TempFile(const std::string& target) : target_(target) {
  RemoveLeftovers(target);
  std::string pattern = FolderOf(target) + "/." + NameOf(target) + ".part-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throw SystemError("cannot create a file beside", target);
  path_ = pattern;
  handle_ = fd;
  ::flock(fd, LOCK_EX);  // marks it as in use; see RemoveLeftovers
}

TempFile::~TempFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  if (!committed_) ::unlink(path_.c_str());
}

void TempFile::Write(const std::byte* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle_), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SystemError("cannot write", path_);
    data += n;
    size -= static_cast<std::size_t>(n);
    written_ += static_cast<std::uint64_t>(n);
  }
  WriteBehind(static_cast<int>(handle_), flushed_, written_);
}

void TempFile::Clear() {
  if (::ftruncate(static_cast<int>(handle_), 0) != 0 ||
      ::lseek(static_cast<int>(handle_), 0, SEEK_SET) != 0)
    throw SystemError("cannot empty", path_);
  written_ = 0;
  flushed_ = 0;
}

void TempFile::Commit(unsigned mode) {
  const int fd = static_cast<int>(handle_);
  if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) throw SystemError("cannot set the mode of", path_);
  if (::fsync(fd) != 0) throw SystemError("cannot write", path_);
  handle_ = -1;
  if (::close(fd) != 0) throw SystemError("cannot write", path_);
  if (::rename(path_.c_str(), target_.c_str()) != 0) throw SystemError("cannot replace", target_);
  committed_ = true;
  SyncFolder(FolderOf(target_));
}

unsigned FileMode(const std::string& path, unsigned fallback) {
  struct stat info{};
  if (::stat(path.c_str(), &info) != 0) return fallback;
  return info.st_mode & 07777;
}

void WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes) {
  // 0666 less the umask, as any program's new data file.
  UniqueFd file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!file.Valid()) throw SystemError("cannot open", path);
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(file.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SystemError("cannot write", path);
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  if (::fsync(file.Get()) != 0 && errno != EINVAL) throw SystemError("cannot write", path);
  if (!file.Close()) throw SystemError("cannot write", path);
}

}  // namespace platform
