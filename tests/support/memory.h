#pragma once
// The process's peak resident memory, for tests that a body streams to disk.
#ifdef _WIN32
#include "platform/windows/wide_text.h"
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace testsupport {

inline long PeakResidentKiB() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#endif
}

}  // namespace testsupport
