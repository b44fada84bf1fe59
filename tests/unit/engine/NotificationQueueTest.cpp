#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine/NotificationQueue.h"
#include "engine/NotifyEvents.h"

namespace {

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

}  // namespace
