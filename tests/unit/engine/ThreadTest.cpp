#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/Event.h"
#include "engine/Thread.h"

namespace {

using Clock = std::chrono::steady_clock;

// A worker whose run either waits for its stop event (up to limitMs, so a
// broken stop cannot hang the suite) or, with limitMs 0, returns at once.
class Worker : public Thread {
  public:
    explicit Worker(std::uint32_t limitMs) : limitMs(limitMs) {}
    ~Worker() { Stop(true); }
    std::atomic<int> runs{0};
    std::atomic<int> stoppedByEvent{0};

  protected:
    void Run() override {
        ++runs;
        if (limitMs != 0 && StopEvent().Wait(limitMs)) ++stoppedByEvent;
    }

  private:
    const std::uint32_t limitMs;
};

TEST(Thread, RunsUntilStoppedRefusesASecondStartMeanwhileAndStartsAfresh) {
    Worker worker(200);
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start());
    worker.Stop(false);
    EXPECT_TRUE(worker.WaitForEnd(2000));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.stoppedByEvent.load(), 1) << "the run ended because of the stop event";
    ASSERT_TRUE(worker.Start());
    EXPECT_FALSE(worker.WaitForEnd(20)) << "the old stop signal was cleared by Start";
    EXPECT_TRUE(worker.WaitForEnd(2000));
    EXPECT_EQ(worker.stoppedByEvent.load(), 1) << "the second run ran out its 200 ms";
    EXPECT_EQ(worker.runs.load(), 2) << "the refused Start created no thread";
}

TEST(Thread, StartsAgainRightAfterAWorkerThatEndedWithinMicroseconds) {
    // The worker returns before Start may even have stored its handle; every
    // later Start must still succeed. Not WaitForEnd: the next Start is to
    // find the old handle and join it.
    Worker worker(0);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(worker.Start()) << "run " << i;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (worker.IsRunning() && Clock::now() < deadline) std::this_thread::yield();
    }
    worker.Stop(true);
    EXPECT_EQ(worker.runs.load(), 50);
}

TEST(Thread, AnnouncesEveryEndOnceRestartableAndMayRestartFromTheAnnouncement) {
    Worker worker(0);
    std::atomic<int> endsSeenRunning{0};
    Event done(Event::ManualReset);
    worker.SetRunEnded([&] {
        endsSeenRunning += worker.IsRunning() ? 1 : 0;
        if (worker.runs == 4) done.Set();
        if (worker.runs < 4) {
            EXPECT_TRUE(worker.Start()) << "restartable once announced";
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
