#include "src/host/live/call_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace quilmark {
namespace {

using namespace std::chrono_literals;

// Polls instead of sleeping a fixed time: the watch's thread may be slow to run on a busy machine.
bool BecomesTrue(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST(CallWatch, ASilentCallExpiresOnceAndAFinishedOneNever) {
  std::atomic<int> expiries = 0;
  CallWatch watch(50ms, [&] { ++expiries; });

  watch.Enter();  // a call that returns at once
  watch.Leave();
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(watch.expired());

  watch.Enter();  // a call the peer never answers
  watch.Enter();  // and one nested in it
  EXPECT_TRUE(BecomesTrue([&] { return watch.expired(); }));
  watch.Leave();
  watch.Leave();
  watch.Enter();  // once expired, the watch stays so and acts no more
  std::this_thread::sleep_for(200ms);
  watch.Leave();
  EXPECT_EQ(expiries, 1);
}

}  // namespace
}  // namespace quilmark
