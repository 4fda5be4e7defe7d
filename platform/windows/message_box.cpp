#include "platform/message_box.h"

#include <windows.h>

#include "wide_text.h"

namespace platform {
namespace {

BOOL CALLBACK TakeProgramWindow(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  const bool dialog = ::lstrcmpW(className, L"#32770") == 0;  // another message box
  if (!::IsWindowVisible(window) || dialog || ::GetWindow(window, GW_OWNER)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The program's visible top-level window, to own the box: the box is then
// modal to it and stays in front of it.
HWND ProgramWindow() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &TakeProgramWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

void DialogMessageBox::Show(const std::string& text, const std::string& title) {
  ::MessageBoxW(ProgramWindow(), Wide(text).c_str(), Wide(title).c_str(), MB_OK);
}

}  // namespace platform
