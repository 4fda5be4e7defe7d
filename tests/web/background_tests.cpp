#include "web/background.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/error.h"
#include "support/fakes.h"

namespace {

using namespace std::chrono_literals;

TEST(WhileWindowLives, TheWindowHandlesItsEventsUntilTheStepHasEnded) {
  testsupport::ScriptedPump pump;
  bool ended = false;
  web::WhileWindowLives(pump, [&] {
    std::this_thread::sleep_for(200ms);
    ended = true;
  });
  EXPECT_TRUE(ended);
  EXPECT_GE(pump.passes, 5) << "events handled while the step ran";
}

TEST(WhileWindowLives, TheStepsErrorIsRaisedOnTheWindowsThread) {
  testsupport::ScriptedPump pump;
  EXPECT_THROW(web::WhileWindowLives(pump, [] { throw platform::Error("cannot replace x"); }),
               platform::Error);
}

TEST(WhileWindowLives, AWindowClosedMeanwhileWaitsForTheStepToEnd) {
  testsupport::ScriptedPump pump;
  pump.onPass = [] { throw platform::WindowClosed(); };
  std::atomic<bool> ended = false;
  EXPECT_THROW(web::WhileWindowLives(pump,
                                     [&] {
                                       std::this_thread::sleep_for(200ms);
                                       ended = true;
                                     }),
               platform::WindowClosed);
  EXPECT_TRUE(ended) << "the file step was cut short";
}

}  // namespace
