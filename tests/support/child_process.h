#pragma once
// Another run of the test program itself, which a test can kill outright, as
// a crash or a power cut would end the updater: no handler runs, no file is
// closed or removed by the program.
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "platform/windows/wide_text.h"
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

class ChildProcess {
 public:
  // Starts this same program with `args`.
  explicit ChildProcess(const std::vector<std::string>& args);
  ~ChildProcess() {
    if (!ended_) {
      Kill();
      Wait(std::chrono::seconds(10));
    }
#ifdef _WIN32
    ::CloseHandle(process_);
#endif
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Ends it at once, wherever it is.
  void Kill();
  // Its exit status once it ended within `limit`; -1 if it is still running.
  int Wait(std::chrono::milliseconds limit);

 private:
  bool ended_ = false;
  int status_ = -1;
#ifdef _WIN32
  HANDLE process_ = nullptr;
#else
  pid_t pid_ = -1;
#endif
};

#ifdef _WIN32

inline ChildProcess::ChildProcess(const std::vector<std::string>& args) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\"";
  for (const std::string& arg : args) line += L" \"" + platform::Wide(arg) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
    throw std::runtime_error("cannot start a child process");
  ::CloseHandle(started.hThread);
  process_ = started.hProcess;
}

inline void ChildProcess::Kill() { ::TerminateProcess(process_, 137); }

inline int ChildProcess::Wait(std::chrono::milliseconds limit) {
  if (ended_) return status_;
  if (::WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
    return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  ended_ = true;
  status_ = static_cast<int>(code);
  return status_;
}

#else

inline ChildProcess::ChildProcess(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>("/proc/self/exe")};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot start a child process");
  if (pid_ == 0) {
    ::execv("/proc/self/exe", argv.data());
    ::_exit(127);
  }
}

inline void ChildProcess::Kill() { ::kill(pid_, SIGKILL); }

inline int ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!ended_) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      ended_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (std::chrono::steady_clock::now() >= deadline) {
      return -1;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return status_;
}

#endif

}  // namespace testsupport
