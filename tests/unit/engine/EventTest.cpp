#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/Event.h"

namespace {

TEST(Event, ManualResetStaysSetUntilResetAutoResetReleasesOneWait) {
    Event manual(Event::ManualReset);
    ASSERT_TRUE(manual.IsValid());
    EXPECT_FALSE(manual.Wait(0)) << "created non-signalled";
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0)) << "a manual-reset event is not consumed by a wait";
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));
    Event automatic(Event::AutoReset, true);
    EXPECT_TRUE(automatic.Wait(0)) << "created signalled";
    EXPECT_FALSE(automatic.Wait(0)) << "the first wait consumed the signal";
    automatic.Set();
    automatic.Set();
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(0)) << "two sets before a wait are one signal";
}

TEST(WaitForAny, ReportsTheLowestReadyIndexConsumesOnlyThatAndWakesForALaterSet) {
    Event stop(Event::ManualReset);
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
}

}  // namespace
