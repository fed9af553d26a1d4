#include "platform/system/run_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vorn {
namespace {

using namespace std::chrono_literals;

TEST(RunLoopTest, RunsPostedJobsInOrderOnTheTurningThread) {
  RunLoop loop;
  std::vector<int> ran;
  const auto self = std::this_thread::get_id();
  std::thread other([&] {
    loop.post([&] {
      EXPECT_EQ(std::this_thread::get_id(), self);
      ran.push_back(1);
    });
    loop.post([&] { ran.push_back(2); });
  });
  other.join();
  loop.runOnce(10s);  // jobs are waiting: returns at once
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(RunLoopTest, JobPostedByAJobWaitsForTheNextTurn) {
  RunLoop loop;
  int ran = 0;
  loop.post([&] {
    ++ran;
    loop.post([&] { ++ran; });
  });
  loop.runOnce(0s);
  EXPECT_EQ(ran, 1);
  loop.runOnce(0s);
  EXPECT_EQ(ran, 2);
}

TEST(RunLoopTest, WakesForAJobPostedWhileWaiting) {
  RunLoop loop;
  bool ran = false;
  std::thread other([&] {
    std::this_thread::sleep_for(20ms);
    loop.post([&] { ran = true; });
  });
  // A generous limit: the post, not the limit, must end the wait.
  while (!ran) loop.runOnce(60s);
  other.join();
}

TEST(RunLoopTest, EmptyTurnReturnsAfterItsLimit) {
  RunLoop loop;
  loop.runOnce(1ms);  // nothing posted: must come back by itself
}

TEST(CompletionGroupTest, TestNeverBlocksAndCountsEnterAndLeave) {
  CompletionGroup group;
  EXPECT_TRUE(group.isComplete());
  group.enter();
  group.enter();
  EXPECT_FALSE(group.isComplete());  // outstanding work: answers at once
  group.leave();
  EXPECT_FALSE(group.isComplete());
  std::thread([&] { group.leave(); }).join();
  EXPECT_TRUE(group.isComplete());
}

}  // namespace
}  // namespace vorn
