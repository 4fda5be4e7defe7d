#include "platform/files.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <utility>

#include "system_error.h"
#include "unique_handle.h"
#include "wide_text.h"

namespace platform {
namespace {

constexpr int kTempNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  // A drive's root keeps its separator: "C:\".
  if (slash > 0 && path[slash - 1] == ':') return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder of `target`, ending in a separator, for names beside it.
std::string FolderBeside(const std::string& target) {
  std::string folder = FolderOf(target);
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A name no other file in the folder has yet: the process, the time and a
// counter, tried until CREATE_NEW succeeds.
std::string TempName(const std::string& target, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".part-%lx%llx%x", ::GetCurrentProcessId(),
                static_cast<unsigned long long>(::GetTickCount64()), counter++ + attempt);
  return FolderBeside(target) + "." + NameOf(target) + suffix;
}

void WriteAll(HANDLE file, const std::byte* data, std::size_t size, OVERLAPPED* at,
              const std::string& path) {
  while (size > 0) {
    const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, piece, &written, at)) throw SystemError("cannot write", path);
    data += written;
    size -= written;
    if (at) {
      ULARGE_INTEGER offset{{at->Offset, at->OffsetHigh}};
      offset.QuadPart += written;
      at->Offset = offset.LowPart;
      at->OffsetHigh = offset.HighPart;
    }
  }
}

// Owns a FindFirstFileW search.
class FileSearch {
 public:
  explicit FileSearch(const std::wstring& pattern)
      : handle_(::FindFirstFileW(pattern.c_str(), &found_)) {}
  ~FileSearch() {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;

  // The next name found, or nothing once all were seen.
  const wchar_t* Next() {
    if (handle_ == INVALID_HANDLE_VALUE) return nullptr;
    if (!first_ && !::FindNextFileW(handle_, &found_)) return nullptr;
    first_ = false;
    return found_.cFileName;
  }

 private:
  WIN32_FIND_DATAW found_{};
  HANDLE handle_;
  bool first_ = true;
};

// Removes the temporary files for `target` that an interrupted run left
// behind. A live one is open without delete sharing, so the system refuses
// to remove it and only those nobody holds go.
void RemoveLeftovers(const std::string& target) {
  const std::wstring prefix = Wide(FolderBeside(target));
  FileSearch search(prefix + Wide("." + NameOf(target) + ".part-*"));
  while (const wchar_t* name = search.Next()) ::DeleteFileW((prefix + name).c_str());
}

}  // namespace

std::string ApplicationFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) throw SystemError("cannot read", "the program's own path");
    if (n < buffer.size()) return FolderOf(Utf8(std::wstring_view(buffer.data(), n)));
    buffer.resize(buffer.size() * 2);
  }
}

TempFile::TempFile(const std::string& target) : target_(target) {
  RemoveLeftovers(target);
  for (unsigned attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    std::string path = TempName(target, attempt);
    HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      path_ = std::move(path);
      handle_ = reinterpret_cast<std::intptr_t>(file);
      return;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS) throw SystemError("cannot create a file beside", target, error);
  }
  throw SystemError("cannot create a file beside", target, ERROR_FILE_EXISTS);
}

TempFile::~TempFile() {
  if (handle_ != -1) ::CloseHandle(Handle(handle_));
  if (!committed_ && !path_.empty()) ::DeleteFileW(Wide(path_).c_str());
}

void TempFile::Write(const std::byte* data, std::size_t size) {
  WriteAll(Handle(handle_), data, size, nullptr, path_);
}

void TempFile::Clear() {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(Handle(handle_), start, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(Handle(handle_)))
    throw SystemError("cannot empty", path_);
}

// Windows files have no permission bits; the replacement takes the place of
// the target in one step.
void TempFile::Commit(unsigned) {
  if (!::FlushFileBuffers(Handle(handle_))) throw SystemError("cannot write", path_);
  const HANDLE file = Handle(std::exchange(handle_, -1));
  if (!::CloseHandle(file)) throw SystemError("cannot write", path_);
  if (!::MoveFileExW(Wide(path_).c_str(), Wide(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw SystemError("cannot replace", target_);
  committed_ = true;
}

unsigned FileMode(const std::string&, unsigned fallback) { return fallback; }

void WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes) {
  UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) throw SystemError("cannot open", path);
  // A positioned write: nothing before or after it changes, and a file
  // shorter than the offset grows with zeros.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  WriteAll(file.Get(), reinterpret_cast<const std::byte*>(bytes.data()), bytes.size(), &at, path);
  if (!::FlushFileBuffers(file.Get())) throw SystemError("cannot write", path);
  if (!file.Close()) throw SystemError("cannot write", path);
}

}  // namespace platform
