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

// Counts its firings; optionally takes a while, so a test can catch it running.
struct Probe {
    std::atomic<int> fired{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    int busyMs = 0;

    static bool Callback(void* argument, bool) {
        auto* probe = static_cast<Probe*>(argument);
        probe->inside = true;
        if (probe->busyMs) std::this_thread::sleep_for(milliseconds(probe->busyMs));
        ++probe->fired;
        probe->finished = true;
        return false;
    }
};

bool WaitUntil(const std::atomic<bool>& flag) {
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (!flag) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

TEST(TimerQueue, OneShotTimerSignalsItsEventOnceAfterItsTime) {
    Event tick(Event::AutoReset);
    TimerQueue queue;
    ASSERT_TRUE(queue.IsValid());
    TimerEntry& entry = queue.Add(SignalEvent, &tick);
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(queue.Arm(entry, 20));
    ASSERT_TRUE(tick.Wait(2000));
    EXPECT_GE(Clock::now() - start, milliseconds(15)) << "fired early";
    EXPECT_FALSE(tick.Wait(60)) << "a one-shot timer fires only once";
}

TEST(TimerQueue, FiredEntryCanBeArmedAgainAndZeroFiresAtOnce) {
    Event tick(Event::AutoReset);
    TimerQueue queue;
    TimerEntry& entry = queue.Add(SignalEvent, &tick);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(queue.Arm(entry, i == 0 ? 0 : 5)) << "arming " << i;
        EXPECT_TRUE(tick.Wait(2000)) << "firing " << i;
    }
}

TEST(TimerQueue, ArmingAnArmedEntryReplacesItsDueTime) {
    Probe probe;
    TimerQueue queue;
    TimerEntry& entry = queue.Add(Probe::Callback, &probe);
    ASSERT_TRUE(queue.Arm(entry, 20));
    ASSERT_TRUE(queue.Arm(entry, 200));
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(probe.fired.load(), 0) << "the first due time was dropped";
    ASSERT_TRUE(WaitUntil(probe.finished));
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(probe.fired.load(), 1);
}

TEST(TimerQueue, EntriesOfOneQueueFireEachAtItsOwnTime) {
    Event early(Event::AutoReset);
    Event late(Event::AutoReset);
    TimerQueue queue;
    TimerEntry& lateEntry = queue.Add(SignalEvent, &late);
    TimerEntry& earlyEntry = queue.Add(SignalEvent, &early);
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(queue.Arm(lateEntry, 300));
    ASSERT_TRUE(queue.Arm(earlyEntry, 10));
    ASSERT_TRUE(early.Wait(2000)) << "the early entry never fired";
    EXPECT_LT(Clock::now() - start, milliseconds(250)) << "the early entry waited for the late";
    EXPECT_FALSE(late.Wait(0)) << "the late entry fired with the early one";
    ASSERT_TRUE(late.Wait(2000)) << "the late entry never fired";
    EXPECT_GE(Clock::now() - start, milliseconds(290)) << "the late entry fired early";
}

TEST(TimerQueue, CancelledTimerNeverFiresAndCancellingAgainDoesNothing) {
    Event tick(Event::AutoReset);
    TimerQueue queue;
    TimerEntry& entry = queue.Add(SignalEvent, &tick);
    ASSERT_TRUE(queue.Arm(entry, 100));
    queue.Cancel(entry);
    queue.Cancel(entry);
    EXPECT_FALSE(tick.Wait(150));
}

TEST(TimerQueue, CancelWaitsForACallbackAlreadyRunning) {
    Probe probe;
    probe.busyMs = 30;
    TimerQueue queue;
    TimerEntry& entry = queue.Add(Probe::Callback, &probe);
    ASSERT_TRUE(queue.Arm(entry, 0));
    ASSERT_TRUE(WaitUntil(probe.inside));
    queue.Cancel(entry);
    EXPECT_TRUE(probe.finished) << "Cancel returned while the callback still ran";
}

TEST(TimerQueue, DestroyingTheQueueWithAPendingTimerLeavesNoCallbackBehind) {
    Probe probe;
    {
        TimerQueue queue;
        queue.Arm(queue.Add(Probe::Callback, &probe), 100);
    }
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(probe.fired.load(), 0);
}

TEST(TimerQueue, DestroyingTheQueueWaitsForACallbackAlreadyRunning) {
    Probe probe;
    probe.busyMs = 30;
    {
        TimerQueue queue;
        queue.Arm(queue.Add(Probe::Callback, &probe), 0);
        ASSERT_TRUE(WaitUntil(probe.inside));
    }
    EXPECT_TRUE(probe.finished) << "the queue died while its callback still ran";
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
