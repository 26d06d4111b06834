// The batch's threads: every thread started is joined when its group goes, and one that cannot be
// started is a failure with its reason, not the end of the process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <system_error>

#include "cli/thread_group.h"

namespace {

TEST(ThreadGroup, JoinsWhatItStartedAndReportsAThreadThatCannotStart) {
  std::atomic<int> finished{0};
  auto slow = [&finished] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ++finished;
  };
  std::string why;
  {
    int starts = 0;
    fxaa_cli::ThreadGroup group(2, [&starts](std::function<void()> work) {
      if (++starts == 2)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      return std::thread(std::move(work));
    });
    EXPECT_TRUE(group.Start(slow, &why));
    EXPECT_FALSE(group.Start(slow, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(group.Start(slow, &why));
    EXPECT_FALSE(group.Start(slow, &why)) << "a third thread in a group made for two";
  }
  EXPECT_EQ(finished.load(), 2);
}

// Whatever the starter throws, Start says so and returns: a batch whose reader never started
// must still close the queues its writer waits on, or the group's join waits forever.
TEST(ThreadGroup, AnyThrowFromTheStarterIsAFailureToStart) {
  const std::function<void()> throwers[] = {
      [] { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); },
      [] { throw std::bad_alloc(); },
      [] { throw 7; },
  };
  for (const auto& thrower : throwers) {
    std::string why;
    fxaa_cli::ThreadGroup group(1, [&thrower](std::function<void()>) -> std::thread {
      thrower();
      return std::thread();
    });
    EXPECT_FALSE(group.Start([] {}, &why));
    EXPECT_FALSE(why.empty());
  }
}

}  // namespace
