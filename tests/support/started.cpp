// A stand-in main application: writes its build's name to "started" beside
// itself, so that a test sees which build was started.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

int main() {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  const std::wstring folder = self.substr(0, self.find_last_of(L'\\'));
  std::ofstream(std::filesystem::path(folder) / L"started", std::ios::binary) << BUILD_NAME "\n";
}
