#include "platform/copy.h"

#include <windows.h>

#include <array>

#include "platform/files.h"
#include "unique_handle.h"
#include "wide_text.h"

namespace platform {
namespace {

// Copies every byte of `source` into `out`; false on a read error.
bool CopyContents(HANDLE source, TempFile& out) {
  std::array<std::byte, 256 * 1024> buffer;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return false;
    if (read == 0) return true;
    out.Write(buffer.data(), read);
  }
}

}  // namespace

bool CopyFileReplacing(const std::string& from, const std::string& to) noexcept {
  try {
    const UniqueHandle source(::CreateFileW(Wide(from).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                            nullptr));
    if (!source.Valid()) return false;
    TempFile copy(to);
    if (!CopyContents(source.Get(), copy)) return false;
    // Refused for a running program (the main application in use), a
    // read-only file or a folder: the target stays as it was.
    copy.Commit(0);
    return true;
  } catch (...) {
    // A failed copy is an outcome the caller handles; the temporary file
    // has removed itself and the target is untouched.
    return false;
  }
}

}  // namespace platform
