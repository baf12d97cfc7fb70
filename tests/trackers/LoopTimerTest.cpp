// The one-shot timer on the event loop.

#include <gtest/gtest.h>

#include "net/PollLoop.h"
#include "trackers/LoopTimer.h"

namespace {

using namespace std::chrono_literals;

TEST(LoopTimer, FiresOnceOnTheLoop) {
  TPollLoop loop;
  TLoopTimer timer(loop);
  int fired = 0;
  timer.Start(1ms, [&] { ++fired; });
  EXPECT_TRUE(timer.Active());
  ASSERT_TRUE(loop.RunUntil([&] { return fired > 0; }, 10s)) << "the timer never fired";
  EXPECT_FALSE(timer.Active());
  loop.RunUntil([] { return false; }, 20ms);
  EXPECT_EQ(fired, 1);
}

TEST(LoopTimer, StoppedOrRestartedTimerDoesNotFireTheOldHandler) {
  TPollLoop loop;
  TLoopTimer timer(loop);
  int first = 0, second = 0;
  timer.Start(1ms, [&] { ++first; });
  timer.Start(1ms, [&] { ++second; });
  ASSERT_TRUE(loop.RunUntil([&] { return second > 0; }, 10s));
  EXPECT_EQ(first, 0);
  timer.Start(1ms, [&] { ++first; });
  timer.Stop();
  loop.RunUntil([] { return false; }, 20ms);
  EXPECT_EQ(first, 0);
}

TEST(LoopTimer, HandlerMayRestartTheTimer) {
  TPollLoop loop;
  TLoopTimer timer(loop);
  int fired = 0;
  std::function<void()> again = [&] {
    if (++fired < 3) timer.Start(1ms, again);
  };
  timer.Start(1ms, again);
  ASSERT_TRUE(loop.RunUntil([&] { return fired == 3; }, 10s));
}

}  // namespace
