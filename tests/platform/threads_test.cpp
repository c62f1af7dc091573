#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace {

std::atomic<bool> release{false};

std::uint32_t waitsForRelease(void*) {
  while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return 7;
}

TEST(PlatformThreads, BoundedWaitThenExitCode) {
  release = false;
  platform::ThreadHandle thread = platform::startThread(waitsForRelease, nullptr, 256 << 10);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(platform::waitForThread(thread, 50), platform::WaitResult::kTimedOut);
  std::uint32_t code = 0;
  EXPECT_FALSE(platform::threadExitCode(thread, code));
  release = true;
  EXPECT_EQ(platform::waitForThread(thread, 5000), platform::WaitResult::kEnded);
  ASSERT_TRUE(platform::threadExitCode(thread, code));
  EXPECT_EQ(code, 7u);
  platform::closeThread(thread);
  EXPECT_EQ(platform::waitForThread(nullptr, 0), platform::WaitResult::kFailed);
}

// True as soon as `condition` holds, false when it still does not after five seconds.
template <typename Condition>
bool eventually(Condition condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct Closed {
  std::atomic<bool> release{false};
  std::atomic<platform::ThreadId> id{0};
  std::atomic<bool> finished{false};
};

std::uint32_t registersThenWaits(void* argument) {
  auto* closed = static_cast<Closed*>(argument);
  closed->id = platform::currentThreadId();  // gives the thread its queue
  while (!closed->release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  closed->finished = true;
  return 0;
}

TEST(PlatformThreads, AClosedRunningThreadRunsToItsEndAndCleansUpAfterItself) {
  Closed closed;
  platform::ThreadHandle thread = platform::startThread(registersThenWaits, &closed, 256 << 10);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(eventually([&] { return closed.id != 0; }));
  platform::closeThread(thread);
  // Closing the handle neither stops the thread nor takes its queue away.
  EXPECT_TRUE(platform::postThreadMessage(closed.id, 0x0400));
  EXPECT_FALSE(closed.finished);
  closed.release = true;
  EXPECT_TRUE(eventually([&] { return closed.finished.load(); }));
  // Once it has ended, its queue is gone with it.
  EXPECT_TRUE(eventually([&] { return !platform::postThreadMessage(closed.id, 0x0400); }));
}

struct Posted {
  platform::ThreadId target;
  std::atomic<platform::ThreadId> ownId{0};
};

std::uint32_t postsThree(void* argument) {
  auto* posted = static_cast<Posted*>(argument);
  posted->ownId = platform::currentThreadId();
  platform::postThreadMessage(posted->target, 0x0400, 1, 2);
  platform::postThreadMessage(posted->target, 0x0401, 3, 4);
  platform::postThreadMessage(posted->target, platform::kQuitMessage);
  return 0;
}

TEST(PlatformThreads, MessagesArriveInOrderUntilTheQuitMessage) {
  Posted posted;
  posted.target = platform::currentThreadId();
  EXPECT_NE(posted.target, 0u);
  platform::ThreadHandle thread = platform::startThread(postsThree, &posted, 256 << 10);
  ASSERT_NE(thread, nullptr);
  std::vector<std::uint32_t> seen;
  platform::ThreadMessage message;
  while (platform::getMessage(message)) {
    seen.push_back(message.message);
    EXPECT_EQ(message.second, message.first + 1);
  }
  EXPECT_EQ(message.message, platform::kQuitMessage);
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{0x0400, 0x0401}));
  ASSERT_EQ(platform::waitForThread(thread, 5000), platform::WaitResult::kEnded);
  platform::closeThread(thread);

  EXPECT_NE(posted.ownId.load(), posted.target);
  // The poster has ended: its queue goes with it, and there is none for an id never handed out.
  EXPECT_TRUE(eventually(
      [&] { return !platform::postThreadMessage(posted.ownId, platform::kQuitMessage); }));
  EXPECT_FALSE(platform::postThreadMessage(0xFFFFFFF0u, platform::kQuitMessage));
}

}  // namespace

// A thread confined to one processor (as taskset confines a whole process) counts one; the
// unconfined test thread counts what it may use, at most the machine's processors.
TEST(PlatformThreads, ProcessorsAreTheOnesThisThreadMayRunOn) {
  unsigned all = platform::usableProcessorCount();
  EXPECT_GE(all, 1u);
  EXPECT_LE(all, std::thread::hardware_concurrency());
  unsigned confined = 0;
  std::thread([&] {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    int first = 0;
    while (!CPU_ISSET(first, &allowed)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    confined = platform::usableProcessorCount();
  }).join();
  EXPECT_EQ(confined, 1u);
}
