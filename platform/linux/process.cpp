#include "platform/process.h"

#include <spawn.h>
#include <sys/types.h>

extern char** environ;

namespace platform {

void StartProgram(const std::string& path) noexcept {
  std::string program = path;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return;
  // Its own session: the program lives on after the updater has ended.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
}

}  // namespace platform
