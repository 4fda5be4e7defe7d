#include "web/clock_boundaries.h"

#include <gtest/gtest.h>

#include "support/fakes.h"
#include "web/empty_body.h"

namespace {

using testsupport::FakeClock;
using web::BoundaryWait;
using web::ClockBoundaries;
using web::ClockUnit;

constexpr std::int64_t kNoon = testsupport::kHalfPastNoon - 30;  // 12:00:00

TEST(ClockBoundaries, CountsTruncatedUnitsNotElapsedTime) {
  struct Case {
    std::int64_t start, now;
    ClockUnit unit;
    std::int64_t boundaries;
  } const cases[] = {
      {kNoon + 59, kNoon + 60, ClockUnit::Minute, 1},   // one second, one boundary
      {kNoon, kNoon + 59, ClockUnit::Minute, 0},        // 59 seconds, none
      {kNoon + 30, kNoon + 150, ClockUnit::Minute, 2},
      {kNoon + 30, kNoon - 1, ClockUnit::Minute, -1},   // the clock went back
      {kNoon, kNoon + 4, ClockUnit::Second, 4},
      {-61, -59, ClockUnit::Minute, 1},                 // before 1970 alike
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClockBoundaries(c.start, c.now, c.unit), c.boundaries) << c.start << " " << c.now;
}

TEST(BoundaryWait, EndsAtTheLimitOrWhenTheClockStepsBackAcrossABoundary) {
  FakeClock clock(kNoon + 30);
  BoundaryWait minute(clock, ClockUnit::Minute, 1);
  clock.Set(kNoon + 59);
  EXPECT_FALSE(minute.Over());
  clock.Set(kNoon + 60);
  EXPECT_TRUE(minute.Over());

  FakeClock back(kNoon + 30);
  BoundaryWait stepBack(back, ClockUnit::Minute, 1);
  back.Set(kNoon + 5);  // back within the same minute: no boundary
  EXPECT_FALSE(stepBack.Over());
  back.Set(kNoon - 3600);  // DST ends: an hour back
  EXPECT_TRUE(stepBack.Over());

  // Seconds: a step back from the 3rd to the 1st second would otherwise
  // stretch a five-second wait to seven.
  FakeClock seconds(kNoon);
  BoundaryWait five(seconds, ClockUnit::Second, 5);
  seconds.Set(kNoon + 3);
  EXPECT_FALSE(five.Over());
  seconds.Set(kNoon + 1);
  EXPECT_TRUE(five.Over());
}

TEST(EmptyBodyTest, OnlySixteenBitSpacesAreEmpty) {
  struct Case {
    std::string body;
    bool empty;
  } const cases[] = {
      {"", true},
      {std::string("\x20\x00\x20\x00", 4), true},
      {std::string("\x20\x00\x20", 3), true},  // a lone last byte is a unit of its own
      {"  ", false},                           // U+2020, not two spaces
      {std::string("\x20\x00\x21\x00", 4), false},
      {std::string("\x00\x00", 2), false},
  };
  for (const auto& c : cases) {
    web::EmptyBodyTest whole;
    whole.Feed(reinterpret_cast<const std::byte*>(c.body.data()), c.body.size());
    EXPECT_EQ(whole.Empty(), c.empty) << testing::PrintToString(c.body);
    web::EmptyBodyTest bytewise;  // the same when the body arrives in odd pieces
    for (char byte : c.body) bytewise.Feed(reinterpret_cast<const std::byte*>(&byte), 1);
    EXPECT_EQ(bytewise.Empty(), c.empty) << testing::PrintToString(c.body);
  }
}

}  // namespace
