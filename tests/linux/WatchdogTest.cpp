#include "linux/Watchdog.h"

#include <gtest/gtest.h>

#include <future>

namespace {

using namespace std::chrono_literals;
using proc::Progress;
using proc::Watchdog;

TEST(WatchdogTest, AStuckReadIsGivenUpAndTheRestGoOnWhileALongOneEnds) {
    // Item 1 blocks until released; item 3 takes 400 ms but makes progress.
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    const auto began = std::chrono::steady_clock::now();
    auto outcome = Watchdog<int>::Run(6, 2, 100ms, [released](size_t index, Progress& progress) {
        if (index == 1) released.wait();
        if (index == 3) {
            for (int i = 0; i < 40; ++i) {
                std::this_thread::sleep_for(10ms);
                progress.fetch_add(1);
            }
        }
        return static_cast<int>(index) * 10 + 1;
    });
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(outcome.stalled, std::vector<size_t>{1});
    EXPECT_EQ(outcome.results, (std::vector<int>{1, 0, 21, 31, 41, 51}));
    EXPECT_LT(took, 5s);
    // The reader given up ends later, and its result is dropped.
    release->set_value();
}

TEST(WatchdogTest, AReadThatRunsWithoutReportingIsNotTakenForStuck) {
    // Busy for 400 ms on the processor, never reporting: slow, not stuck,
    // as a read is that only waits for a core.
    auto outcome = Watchdog<int>::Run(1, 1, 100ms, [](size_t, Progress&) {
        const auto until = std::chrono::steady_clock::now() + 400ms;
        volatile unsigned spin = 0;
        while (std::chrono::steady_clock::now() < until) spin = spin + 1;
        return 7;
    });
    EXPECT_TRUE(outcome.stalled.empty());
    EXPECT_EQ(outcome.results, std::vector<int>{7});
}

TEST(WatchdogTest, NothingToReadAndOneThread) {
    EXPECT_TRUE(Watchdog<int>::Run(0, 2, 100ms, [](size_t, Progress&) { return 1; }).results.empty());
    auto outcome = Watchdog<size_t>::Run(100, 1, 100ms, [](size_t index, Progress&) { return index; });
    EXPECT_TRUE(outcome.stalled.empty());
    for (size_t i = 0; i < 100; ++i) EXPECT_EQ(outcome.results[i], i);
}

}  // namespace
