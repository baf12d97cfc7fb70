#include "net/PollLoop.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
constexpr auto Patience = 20s;  // generous: only a broken loop ever waits this long

struct TPipe {
  int Fd[2] = {-1, -1};
  TPipe() { EXPECT_EQ(::pipe(Fd), 0); }
  ~TPipe() {
    for (int fd : Fd)
      if (fd >= 0) ::close(fd);
  }
};

TEST(PollLoop, PostedWorkRunsInOrderAndNestedPumpsKeepIt) {
  TPollLoop loop;
  std::vector<int> order;
  loop.Post([&] {
    order.push_back(1);
    loop.Post([&] { order.push_back(4); });
    // A handler pumping the loop runs what was queued before it, in order.
    while (loop.ProcessPending()) {
    }
    order.push_back(5);
  });
  loop.Post([&] { order.push_back(2); });
  loop.Post([&] { order.push_back(3); });
  ASSERT_TRUE(loop.RunUntil([&] { return order.size() == 5; }, Patience)) << "posted work never ran";
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(PollLoop, PostsFromOtherThreadsWakeABlockedLoop) {
  TPollLoop loop;
  std::vector<int> seen;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) loop.Post([&seen, i] { seen.push_back(i); });
  });
  const bool done = loop.RunUntil([&] { return seen.size() == 100; }, Patience);
  poster.join();
  ASSERT_TRUE(done) << "posts from another thread did not arrive";
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(PollLoop, WatchDeliversReadinessUntilUnwatched) {
  TPollLoop loop;
  TPipe pipe;
  int calls = 0;
  std::string got;
  loop.Watch(pipe.Fd[0], TEventLoop::FdRead, [&](unsigned events) {
    ++calls;
    EXPECT_TRUE(events & TEventLoop::FdRead);
    char buf[16];
    const auto n = ::read(pipe.Fd[0], buf, sizeof buf);
    if (n > 0) got.append(buf, n);
  });
  EXPECT_FALSE(loop.ProcessPending()) << "nothing is ready yet";
  ASSERT_EQ(::write(pipe.Fd[1], "abc", 3), 3);
  ASSERT_TRUE(loop.RunUntil([&] { return got == "abc"; }, Patience)) << "readiness never delivered";
  EXPECT_EQ(calls, 1);
  loop.Unwatch(pipe.Fd[0]);
  ASSERT_EQ(::write(pipe.Fd[1], "d", 1), 1);
  EXPECT_FALSE(loop.ProcessPending());
  EXPECT_EQ(calls, 1);
}

TEST(PollLoop, ReadinessDrainedByAnEarlierHandlerIsNotDelivered) {
  TPollLoop loop;
  TPipe pipe;
  int calls = 0;
  loop.Watch(pipe.Fd[0], TEventLoop::FdRead, [&](unsigned) { ++calls; });
  ASSERT_EQ(::write(pipe.Fd[1], "x", 1), 1);
  // The post is queued before the readiness; it drains the pipe, so the
  // readiness task finds nothing to deliver.
  loop.Post([&] {
    char c;
    EXPECT_EQ(::read(pipe.Fd[0], &c, 1), 1);
  });
  EXPECT_TRUE(loop.ProcessPending());
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(::write(pipe.Fd[1], "y", 1), 1);
  ASSERT_TRUE(loop.RunUntil([&] { return calls == 1; }, Patience)) << "new readiness not delivered";
}

TEST(PollLoop, RunUntilStopsAtTheLimitAndOnQuit) {
  TPollLoop loop;
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 10ms));
  loop.Post([&] { loop.Quit(); });
  EXPECT_FALSE(loop.RunUntil([] { return false; }, Patience));
  EXPECT_TRUE(loop.Quitting());
}

TEST(PollLoop, AnEscapingExceptionIsReportedAndTheLoopGoesOn) {
  TPollLoop loop;
  std::string reported;
  loop.OnHandlerException = [&](const std::string& message) { reported = message; };
  bool after = false;
  loop.Post([] { throw std::runtime_error("boom"); });
  loop.Post([&] { after = true; });
  ASSERT_TRUE(loop.RunUntil([&] { return after; }, Patience));
  EXPECT_EQ(reported, "boom");
}

}  // namespace
