#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine/NotificationQueue.h"
#include "engine/NotifyEvents.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(NotificationQueue, PopsInPostingOrder) {
    NotificationQueue queue;
    queue.Post(EventConnectionState, 0);
    queue.Send(EventItemChanged, 100);
    queue.Post(EventConnectionState, 1);
    for (auto [event, wParam] : {std::pair{EventConnectionState, 0u},
                                 {EventItemChanged, 100u},
                                 {EventConnectionState, 1u}}) {
        std::optional<Notification> next = queue.Pop(0);
        ASSERT_TRUE(next);
        EXPECT_EQ(next->event, static_cast<uint32_t>(event));
        EXPECT_EQ(next->wParam, wParam);
        EXPECT_FALSE(next->packet);
    }
    EXPECT_EQ(queue.Size(), 0u);
}

TEST(NotificationQueue, PopWaitsForItsTimeThenReturnsNothing) {
    NotificationQueue queue;
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(queue.Pop(30));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(25));
}

TEST(NotificationQueue, PopWakesForAnEventPostedFromAnotherThread) {
    NotificationQueue queue;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.Post(EventTimeoutRetry, 0);
    });
    std::optional<Notification> next = queue.Pop(2000);
    poster.join();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->event, static_cast<uint32_t>(EventTimeoutRetry));
}

TEST(NotificationQueue, KeepsEachPostersOrderWhenThreadsPostAtOnce) {
    constexpr uintptr_t kPerThread = 2000;
    NotificationQueue queue(2 * kPerThread);
    auto poster = [&](uint32_t event) {
        for (uintptr_t i = 0; i < kPerThread; ++i) queue.Post(event, i);
    };
    std::thread first(poster, EventItemChanged);
    std::thread second(poster, EventConnectionState);
    uintptr_t expected[2] = {0, 0};
    for (uintptr_t received = 0; received < 2 * kPerThread; ++received) {
        std::optional<Notification> next = queue.Pop(2000);
        ASSERT_TRUE(next) << "after " << received << " events";
        uintptr_t& mine = expected[next->event == EventItemChanged ? 0 : 1];
        ASSERT_EQ(next->wParam, mine) << "event " << next->event << " out of order";
        ++mine;
    }
    first.join();
    second.join();
    EXPECT_EQ(queue.Size(), 0u);
}

TEST(NotificationQueue, RefusesPostsWhenFullButNeverASend) {
    NotificationQueue queue(2);
    EXPECT_TRUE(queue.Post(EventItemChanged, 1));
    EXPECT_TRUE(queue.Post(EventItemChanged, 2));
    EXPECT_FALSE(queue.Post(EventItemChanged, 3));
    queue.Send(EventDocumentChanged, 0);
    EXPECT_EQ(queue.Size(), 3u);
}

}  // namespace
