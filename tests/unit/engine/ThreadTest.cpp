#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/Event.h"
#include "engine/Thread.h"

namespace {

using Clock = std::chrono::steady_clock;

// A worker whose run either waits for its stop event (up to a limit, so a
// broken stop cannot hang the suite) or returns at once.
class Worker : public Thread {
  public:
    explicit Worker(bool quick = false, uint32_t limitMs = 5000)
        : quick_(quick), limitMs_(limitMs) {}
    ~Worker() { Stop(true); }

    std::atomic<int> runs{0};
    std::atomic<int> stoppedByEvent{0};

  protected:
    void Run() override {
        ++runs;
        if (quick_) return;
        if (StopEvent().Wait(limitMs_)) ++stoppedByEvent;
    }

  private:
    const bool quick_;
    const uint32_t limitMs_;
};

bool EventuallyNotRunning(const Thread& thread) {
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (thread.IsRunning()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(Thread, RunsUntilStoppedAndRefusesASecondStartMeanwhile) {
    Worker worker;
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start());
    worker.Stop(true);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.runs.load(), 1) << "the refused Start created no thread";
    EXPECT_EQ(worker.stoppedByEvent.load(), 1) << "the run ended because of the stop event";
}

TEST(Thread, StopWithoutWaitReturnsAtOnceAndTheWorkerEndsSoonAfter) {
    Worker worker;
    ASSERT_TRUE(worker.Start());
    Clock::time_point start = Clock::now();
    worker.Stop(false);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000)) << "waited for the worker";
    EXPECT_TRUE(worker.WaitForEnd(2000));
    EXPECT_FALSE(worker.IsRunning());
}

TEST(Thread, StartsAgainRightAfterAWorkerThatEndedWithinMicroseconds) {
    // The worker returns before Start may even have stored its handle; every
    // later Start must still succeed.
    Worker worker(true);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(worker.Start()) << "run " << i;
        ASSERT_TRUE(EventuallyNotRunning(worker)) << "run " << i;
    }
    worker.Stop(true);
    EXPECT_EQ(worker.runs.load(), 50);
}

TEST(Thread, ANewRunIsNotEndedByTheStopOfThePreviousOne) {
    Worker worker(false, 200);
    ASSERT_TRUE(worker.Start());
    worker.Stop(true);
    ASSERT_TRUE(worker.Start());
    EXPECT_FALSE(worker.WaitForEnd(20)) << "the old stop signal was cleared by Start";
    EXPECT_TRUE(worker.WaitForEnd(2000));
    EXPECT_EQ(worker.stoppedByEvent.load(), 1) << "the second run ran out its 200 ms";
}

TEST(Thread, AnnouncesTheEndOfEveryRunOnceItIsRestartable) {
    Worker worker(true);
    Event ended(Event::AutoReset);
    std::atomic<int> endsSeenRunning{0};
    worker.SetRunEnded([&] {
        if (worker.IsRunning()) ++endsSeenRunning;
        ended.Set();
    });
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(ended.Wait(2000)) << "a run that ended by itself is announced";
    EXPECT_TRUE(worker.Start()) << "restartable as soon as the end is announced";
    EXPECT_TRUE(ended.Wait(2000));
    EXPECT_EQ(endsSeenRunning.load(), 0);
    worker.Stop(true);
}

TEST(Thread, CanBeRestartedFromItsOwnEndAnnouncement) {
    Worker worker(true);
    std::atomic<int> restarts{0};
    Event done(Event::ManualReset);
    worker.SetRunEnded([&] {
        if (restarts < 3) {
            ++restarts;
            worker.Start();
        } else {
            done.Set();
        }
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(done.Wait(2000));
    worker.Stop(true);
    EXPECT_EQ(worker.runs.load(), 4);
    EXPECT_TRUE(worker.WaitForEnd(2000)) << "the tail of an earlier run did not hide the last one";
}

}  // namespace
