#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/Event.h"

namespace {

// Events as the masters' waits use them: the lowest ready source wins, an
// auto-reset event is consumed by the wait that reports it, a manual-reset one
// stays set until reset.
TEST(WaitForAny, ReportsTheLowestReadyIndexConsumesOnlyThatAndWakesForALaterSet) {
    Event stop(Event::ManualReset);
    ASSERT_TRUE(stop.IsValid());
    Event timer(Event::AutoReset);
    Event link(Event::AutoReset);
    Waitable* sources[] = {&link, &timer, &stop};
    timer.Set();
    stop.Set();
    EXPECT_EQ(WaitForAny(sources, 0), 1) << "timer (1) before stop (2)";
    EXPECT_EQ(WaitForAny(sources, 0), 2) << "the timer's signal was consumed";
    EXPECT_EQ(WaitForAny(sources, 0), 2) << "the manual-reset stop stays set";
    stop.Reset();
    EXPECT_EQ(WaitForAny(sources, 10), kWaitTimeout);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        timer.Set();
    });
    EXPECT_EQ(WaitForAny(sources, 2000), 1);
    setter.join();
    timer.Set();
    timer.Set();
    EXPECT_TRUE(timer.Wait(0));
    EXPECT_FALSE(timer.Wait(0)) << "two sets before a wait are one signal";
}

}  // namespace
