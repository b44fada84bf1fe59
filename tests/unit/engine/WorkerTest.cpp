// Thread, TimerQueue, Event and Notifier together, in the shape the masters
// use them: a run that waits on its stop and timer events, posts what happens
// and is announced when it ends.
#include <gtest/gtest.h>

#include <vector>

#include "engine/Event.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "engine/Thread.h"
#include "engine/TimerQueue.h"

namespace {

// Ticks every 10 ms and posts EventTimeoutRetry per tick; after `ticks` ticks
// it closes and ends by itself, or earlier when stopped.
class TickingWorker : public Thread {
  public:
    TickingWorker(Notifier& notifier, int ticks) : notifier_(notifier), ticks_(ticks) {
        SetRunEnded([this] { notifier_.Post(EventRunEnded, 0); });
    }
    ~TickingWorker() { Stop(true); }

  protected:
    void Run() override {
        Event timerEvent(Event::AutoReset);
        {
            TimerQueue timers;
            TimerEntry& poll = timers.Add(SignalEvent, &timerEvent);
            Waitable* sources[] = {&timerEvent, &StopEvent()};
            timers.Arm(poll, 10);
            for (int done = 0; done < ticks_;) {
                if (WaitForAny(sources, 5000) != 0) break;
                notifier_.Post(EventTimeoutRetry, ++done);
                timers.Arm(poll, 10);
            }
            notifier_.Post(EventConnectionState, static_cast<uintptr_t>(ConnectionState::Closed));
        }
        // The queue is gone before the event it signals.
    }

  private:
    Notifier& notifier_;
    const int ticks_;
};

std::vector<std::pair<uint32_t, uintptr_t>> Drain(NotificationQueue& queue, uint32_t untilEvent) {
    std::vector<std::pair<uint32_t, uintptr_t>> seen;
    while (std::optional<Notification> next = queue.Pop(2000)) {
        seen.emplace_back(next->event, next->wParam);
        if (next->event == untilEvent) break;
    }
    return seen;
}

using Events = std::vector<std::pair<uint32_t, uintptr_t>>;
constexpr uintptr_t kClosed = static_cast<uintptr_t>(ConnectionState::Closed);

TEST(Worker, PostsItsTicksInOrderAndAnnouncesTheEndOfARunThatEndedByItself) {
    NotificationQueue queue;
    Notifier notifier;
    for (uint32_t event : {EventTimeoutRetry, EventConnectionState, EventRunEnded}) {
        notifier.Register(&queue, event);
    }
    TickingWorker worker(notifier, 3);
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(worker.Start()) << "run " << run;
        EXPECT_EQ(Drain(queue, EventRunEnded), (Events{{EventTimeoutRetry, 1},
                                                       {EventTimeoutRetry, 2},
                                                       {EventTimeoutRetry, 3},
                                                       {EventConnectionState, kClosed},
                                                       {EventRunEnded, 0}}))
            << "run " << run;
        EXPECT_FALSE(worker.IsRunning()) << "announced only once the run is over";
    }
}

TEST(Worker, AStoppedRunClosesAndIsAnnouncedToo) {
    NotificationQueue queue;
    Notifier notifier;
    notifier.Register(&queue, EventConnectionState);
    notifier.Register(&queue, EventRunEnded);
    TickingWorker worker(notifier, 1000);
    ASSERT_TRUE(worker.Start());
    worker.Stop(true);
    EXPECT_EQ(Drain(queue, EventRunEnded),
              (Events{{EventConnectionState, kClosed}, {EventRunEnded, 0}}));
}

}  // namespace
