// A stand-in main application: writes its build's name to "started" beside
// itself, so that a test sees which build was started. Given any argument,
// it then stays running until it is ended, as the main application in use.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char**) {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  const std::filesystem::path folder = std::filesystem::path(self).parent_path();
  std::ofstream(folder / L"started", std::ios::binary) << BUILD_NAME "\n";
  if (argc > 1) ::Sleep(INFINITE);
}
