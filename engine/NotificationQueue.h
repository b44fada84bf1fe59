#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "engine/NotifyTarget.h"
#include "engine/PacketPtr.h"

// One event as a queue target received it. For the packet events `packet` owns
// the packet and wParam is its address; otherwise `packet` is empty.
struct Notification {
    uint32_t event = 0;
    uintptr_t wParam = 0;
    PacketPtr packet;
};

// A thread-safe queue of events: the target the command-line program and the
// tests register instead of a window. Any thread posts; one thread pops, in the
// order the events were posted.
class NotificationQueue final : public NotifyTarget {
  public:
    // As many as a Windows message queue holds by default: a consumer that has
    // stopped popping must not make a worker grow memory without end.
    static constexpr size_t kDefaultCapacity = 10000;

    explicit NotificationQueue(size_t capacity = kDefaultCapacity);
    // Frees the packets still queued.
    ~NotificationQueue() = default;
    NotificationQueue(const NotificationQueue&) = delete;
    NotificationQueue& operator=(const NotificationQueue&) = delete;

    // False when the queue is full. Packets are refused once the queue is
    // nine tenths full: a consumer that falls behind a fast poll then loses
    // traffic rows, but the room left still takes the value changes and link
    // states that come between them, which the web interface's subscribers
    // and the address map must not miss.
    bool Post(uint32_t event, uintptr_t wParam) override;
    bool PostPacket(uint32_t event, PacketPtr& packet) override;
    // Queued like a post but never refused: a send must be delivered.
    void Send(uint32_t event, uintptr_t wParam) override;

    // The oldest event, waiting up to timeoutMs for one; nothing on timeout.
    std::optional<Notification> Pop(uint32_t timeoutMs);
    size_t Size() const;

  private:
    bool Push(Notification notification, bool mayRefuse);

    mutable std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Notification> queue_;
    const size_t capacity_;
};
