// The window tests need a display: the test runs them under a private Xvfb.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/window.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!platform::InitWindowSystem()) {
    std::fputs("no display: run these tests under xvfb-run\n", stderr);
    return 1;
  }
  return RUN_ALL_TESTS();
}
