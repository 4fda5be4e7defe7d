#include "platform/process.h"

#include <windows.h>

#include "wide_text.h"

namespace platform {

void StartProgram(const std::string& path) noexcept {
  try {
    const std::wstring program = Wide(path);
    // The program is named outright, and its command line quotes the path, so
    // a folder with spaces cannot make "C:\Program.exe" run instead.
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &started)) {
      ::CloseHandle(started.hThread);
      ::CloseHandle(started.hProcess);
    }
  } catch (...) {
    // Not reported: the caller goes on whether or not the program started.
  }
}

}  // namespace platform
