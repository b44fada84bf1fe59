#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/Event.h"
#include "engine/Thread.h"

namespace {

// A worker whose run either waits for its stop event (up to a limit, so a
// broken stop cannot hang the suite) or returns at once.
class Worker : public Thread {
  public:
    explicit Worker(bool quick, std::uint32_t limitMs = 5000) : quick(quick), limitMs(limitMs) {}
    ~Worker() { Stop(true); }

    std::atomic<int> runs{0};
    std::atomic<int> stoppedByEvent{0};

  protected:
    void Run() override {
        ++runs;
        if (!quick && StopEvent().Wait(limitMs)) ++stoppedByEvent;
    }

  private:
    const bool quick;
    const std::uint32_t limitMs;
};

TEST(Thread, RunsUntilStoppedAndRefusesASecondStartMeanwhile) {
    Worker worker(false);
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start());
    const auto start = std::chrono::steady_clock::now();
    worker.Stop(false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1))
        << "Stop(false) waited for the worker";
    EXPECT_TRUE(worker.WaitForEnd(2000));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.runs.load(), 1) << "the refused Start created no thread";
    EXPECT_EQ(worker.stoppedByEvent.load(), 1) << "the run ended because of the stop event";
}

TEST(Thread, StartsAgainRightAfterAWorkerThatEndedWithinMicroseconds) {
    // The worker returns before Start may even have stored its handle; every
    // later Start must still succeed.
    Worker worker(true);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(worker.Start()) << "run " << i;
        // Not WaitForEnd: the next Start is to find the old handle and join it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (worker.IsRunning() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_FALSE(worker.IsRunning()) << "run " << i;
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

TEST(Thread, AnnouncesEveryEndOnceRestartableAndMayRestartFromTheAnnouncement) {
    Worker worker(true);
    std::atomic<int> endsSeenRunning{0};
    Event done(Event::ManualReset);
    worker.SetRunEnded([&] {
        if (worker.IsRunning()) ++endsSeenRunning;
        if (worker.runs < 4) {
            EXPECT_TRUE(worker.Start()) << "restartable as soon as the end is announced";
        } else {
            done.Set();
        }
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(done.Wait(2000)) << "a run that ended by itself is announced";
    worker.Stop(true);
    EXPECT_EQ(worker.runs.load(), 4);
    EXPECT_EQ(endsSeenRunning.load(), 0);
    EXPECT_TRUE(worker.WaitForEnd(2000)) << "the tail of an earlier run did not hide the last one";
}

}  // namespace
