// The timer thread of this backend runs one callback at a time, so a timer can
// expire while another entry's callback holds the thread. Such an expiry is
// not yet handed out, and a Cancel or a new Arm in that window must drop it:
// the master's timeout of a request that was just answered would otherwise
// count as a timeout of the next one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/Event.h"
#include "engine/TimerQueue.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool WaitUntil(const std::atomic<bool>& flag) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (!flag && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
    return flag;
}

// Holds the timer thread inside its callback until released.
struct Gate {
    std::atomic<bool> inside{false};
    std::atomic<bool> open{false};

    static bool Callback(void* argument, bool) {
        auto* gate = static_cast<Gate*>(argument);
        gate->inside = true;
        WaitUntil(gate->open);
        return false;
    }
};

// A timeout entry whose 1 ms expiry falls while a gate holds the timer thread.
class TimerExpiry : public ::testing::Test {
  protected:
    void ExpireWhileHeld() {
        ASSERT_TRUE(queue.Arm(holder, 0));
        ASSERT_TRUE(WaitUntil(gate.inside)) << "the holding callback never ran";
        ASSERT_TRUE(queue.Arm(timeout, 1));
        std::this_thread::sleep_for(milliseconds(20));
    }

    Gate gate;
    Gate second;
    Event tick{Event::AutoReset};
    TimerQueue queue;
    TimerEntry& holder = queue.Add(Gate::Callback, &gate);
    TimerEntry& timeout = queue.Add(SignalEvent, &tick);
};

TEST_F(TimerExpiry, AnExpiryNotYetHandedOutIsDroppedByCancel) {
    ExpireWhileHeld();
    queue.Cancel(timeout);
    gate.open = true;
    EXPECT_FALSE(tick.Wait(100)) << "a cancelled timer fired after all";
}

TEST_F(TimerExpiry, ReArmingDropsAnExpiryNotYetHandedOut) {
    ExpireWhileHeld();
    const Clock::time_point rearmed = Clock::now();
    ASSERT_TRUE(queue.Arm(timeout, 150));
    gate.open = true;
    ASSERT_TRUE(tick.Wait(2000)) << "the new due time never fired";
    EXPECT_GE(Clock::now() - rearmed, milliseconds(140)) << "the old expiry fired";
    EXPECT_FALSE(tick.Wait(60)) << "fired twice for one Arm";
}

TEST_F(TimerExpiry, AnExpirySeenWithAnotherButNotYetHandedOutIsDroppedByCancel) {
    // The thread finds a second holder and the timeout expired in one wait,
    // the holder first; the timeout is cancelled while that holder runs.
    TimerEntry& secondHolder = queue.Add(Gate::Callback, &second);
    ASSERT_TRUE(queue.Arm(holder, 0));
    ASSERT_TRUE(WaitUntil(gate.inside));
    ASSERT_TRUE(queue.Arm(secondHolder, 1));
    std::this_thread::sleep_for(milliseconds(10));
    ASSERT_TRUE(queue.Arm(timeout, 1));
    std::this_thread::sleep_for(milliseconds(10));
    gate.open = true;
    ASSERT_TRUE(WaitUntil(second.inside)) << "the second holding callback never ran";
    queue.Cancel(timeout);
    second.open = true;
    EXPECT_FALSE(tick.Wait(100)) << "a cancelled timer fired after all";
}

}  // namespace
