// Times a program from exec to its first top-level window being mapped on
// the X display: the moment the user sees it. Prints milliseconds.
// Usage: startup_probe PROGRAM
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

// Waits for a window to be mapped on the root, at most 10 s.
bool WaitForMap(Display* display) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  const int fd = ConnectionNumber(display);
  while (std::chrono::steady_clock::now() < end) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify) return true;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval slice{0, 1000};
    select(fd + 1, &readable, nullptr, nullptr, &slice);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: startup_probe PROGRAM\n", stderr);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fputs("startup_probe: no display\n", stderr);
    return 2;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execl(argv[1], argv[1], static_cast<char*>(nullptr));
    _exit(127);
  }
  const bool mapped = WaitForMap(display);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  XCloseDisplay(display);
  if (!mapped) return 1;
  std::printf("%.1f\n", took.count());
  return 0;
}
