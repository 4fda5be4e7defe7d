#include "platform/copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "platform/files.h"
#include "unique_fd.h"

namespace platform {
namespace {

constexpr unsigned kNewProgramMode = 0755;

// Copies every byte of `source` into `out`; false on a read error.
bool CopyContents(int source, TempFile& out) {
  std::array<std::byte, 256 * 1024> buffer;
  for (;;) {
    const ssize_t n = ::read(source, buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    out.Write(buffer.data(), static_cast<std::size_t>(n));
  }
}

}  // namespace

bool CopyFileReplacing(const std::string& from, const std::string& to) noexcept {
  try {
    const UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.Valid()) return false;
    TempFile copy(to);
    if (!CopyContents(source.Get(), copy)) return false;
    copy.Commit(FileMode(to, kNewProgramMode));
    return true;
  } catch (...) {
    // A failed copy is an outcome the caller handles; the temporary file
    // has removed itself and the target is untouched.
    return false;
  }
}

}  // namespace platform
