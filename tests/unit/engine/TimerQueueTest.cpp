#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/Event.h"
#include "engine/TimerQueue.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Counts its firings and takes busyMs, so a test can catch it running.
struct Probe {
    std::atomic<int> fired{0};
    std::atomic<bool> inside{false};
    int busyMs = 0;

    static bool Callback(void* argument, bool) {
        auto* probe = static_cast<Probe*>(argument);
        probe->inside = true;
        std::this_thread::sleep_for(milliseconds(probe->busyMs));
        ++probe->fired;
        return false;
    }
    bool WaitInside() const {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
        while (!inside && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
        return inside;
    }
};

TEST(TimerQueue, EachEntryFiresOnceAtItsOwnTimeUnlessCancelled) {
    Event early(Event::AutoReset);
    Event late(Event::AutoReset);
    TimerQueue queue;
    ASSERT_TRUE(queue.IsValid());
    TimerEntry& lateEntry = queue.Add(SignalEvent, &late);
    TimerEntry& earlyEntry = queue.Add(SignalEvent, &early);
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(queue.Arm(lateEntry, 300));
    ASSERT_TRUE(queue.Arm(earlyEntry, 20));
    ASSERT_TRUE(early.Wait(2000));
    EXPECT_GE(Clock::now() - start, milliseconds(15)) << "the early entry fired early";
    EXPECT_LT(Clock::now() - start, milliseconds(250)) << "the early entry waited for the late";
    EXPECT_FALSE(late.Wait(0)) << "the late entry fired with the early one";
    ASSERT_TRUE(late.Wait(2000));
    EXPECT_GE(Clock::now() - start, milliseconds(290)) << "the late entry fired early";
    EXPECT_FALSE(early.Wait(30)) << "a one-shot timer fires only once";
    ASSERT_TRUE(queue.Arm(earlyEntry, 0));
    EXPECT_TRUE(early.Wait(2000)) << "armed again, zero fires at once";
    ASSERT_TRUE(queue.Arm(earlyEntry, 50));
    queue.Cancel(earlyEntry);
    EXPECT_FALSE(early.Wait(100)) << "a cancelled timer fired";
}

TEST(TimerQueue, CancelAndDestructionWaitForACallbackAlreadyRunning) {
    for (const bool cancel : {true, false}) {
        Probe probe;
        probe.busyMs = 30;
        {
            TimerQueue queue;
            TimerEntry& entry = queue.Add(Probe::Callback, &probe);
            ASSERT_TRUE(queue.Arm(entry, 0));
            ASSERT_TRUE(probe.WaitInside());
            if (cancel) {
                queue.Cancel(entry);
                EXPECT_EQ(probe.fired.load(), 1) << "Cancel returned while the callback ran";
            }
        }
        EXPECT_EQ(probe.fired.load(), 1) << "the queue died while its callback still ran";
    }
}

TEST(TimerQueue, EventMayBeClosedRightAfterTheQueueIsDestroyed) {
    // The worker's order at the end of a run: destroy the queue, close the
    // event. Timers due at that very moment must not signal a closed event
    // (ASan sees a late Set on the freed event).
    for (int i = 0; i < 40; ++i) {
        auto tick = std::make_unique<Event>(Event::AutoReset);
        auto queue = std::make_unique<TimerQueue>();
        queue->Arm(queue->Add(SignalEvent, tick.get()), i % 2);
        if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(500));
        queue.reset();
        tick.reset();
    }
}

}  // namespace
