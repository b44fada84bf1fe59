#include "engine/NotificationQueue.h"

#include <chrono>
#include <utility>

NotificationQueue::NotificationQueue(size_t capacity) : capacity_(capacity) {}

bool NotificationQueue::Post(uint32_t event, uintptr_t wParam) {
    return Push({event, wParam, nullptr}, true);
}

bool NotificationQueue::PostPacket(uint32_t event, PacketPtr& packet) {
    {
        std::lock_guard guard(lock_);
        if (queue_.size() >= capacity_ - capacity_ / 10) return false;
        auto wParam = reinterpret_cast<uintptr_t>(packet.get());
        queue_.push_back({event, wParam, std::move(packet)});
    }
    arrived_.notify_one();
    return true;
}

void NotificationQueue::Send(uint32_t event, uintptr_t wParam) {
    Push({event, wParam, nullptr}, false);
}

bool NotificationQueue::Push(Notification notification, bool mayRefuse) {
    {
        std::lock_guard guard(lock_);
        if (mayRefuse && queue_.size() >= capacity_) return false;
        queue_.push_back(std::move(notification));
    }
    // Woken after the lock is released, so the consumer does not wake only to
    // block on the lock the poster still holds (two more system calls per
    // event). A poster outlives nothing here: the queue is destroyed only
    // once the workers that post to it have stopped.
    arrived_.notify_one();
    return true;
}

std::optional<Notification> NotificationQueue::Pop(uint32_t timeoutMs) {
    std::unique_lock guard(lock_);
    if (!arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                           [this] { return !queue_.empty(); })) {
        return std::nullopt;
    }
    Notification front = std::move(queue_.front());
    queue_.pop_front();
    return front;
}

size_t NotificationQueue::Size() const {
    std::lock_guard guard(lock_);
    return queue_.size();
}
