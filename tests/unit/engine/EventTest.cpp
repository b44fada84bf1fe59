#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/Event.h"

namespace {

TEST(Event, ManualResetStaysSetForEveryWaiterUntilReset) {
    Event event(Event::ManualReset);
    ASSERT_TRUE(event.IsValid());
    EXPECT_FALSE(event.Wait(0)) << "created non-signalled";
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0)) << "a manual-reset event is not consumed by a wait";
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, AutoResetReleasesOneWaitAndClearsItself) {
    Event event(Event::AutoReset, true);
    EXPECT_TRUE(event.Wait(0)) << "created signalled";
    EXPECT_FALSE(event.Wait(0)) << "the first wait consumed the signal";
    event.Set();
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0)) << "two sets before a wait are one signal";
}

TEST(Event, AutoResetSignalReachesExactlyOneOfTwoWaiters) {
    Event event(Event::AutoReset);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            if (event.Wait(200)) ++woken;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(WaitForAny, ReportsTheLowestReadyIndexAndConsumesOnlyThat) {
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
}

TEST(WaitForAny, WakesWhenALaterSourceIsSetFromAnotherThread) {
    Event first(Event::AutoReset);
    Event second(Event::AutoReset);
    Waitable* sources[] = {&first, &second};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        second.Set();
    });
    EXPECT_EQ(WaitForAny(sources, 2000), 1);
    setter.join();
}

}  // namespace
