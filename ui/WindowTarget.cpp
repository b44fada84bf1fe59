#include "ui/WindowTarget.h"

#include <vector>

#include "ui/UiMessages.h"

WindowTarget::~WindowTarget() {
    notifier_.Unregister(this);
    DropAll();
}

void WindowTarget::SetWindow(HWND hwnd) {
    hwnd_.store(hwnd);
    if (!hwnd) DropAll();
}

void WindowTarget::DropAll() {
    std::deque<Waiting> gone;
    {
        std::lock_guard hold(lock_);
        gone.swap(waiting_);
        changed_.reset();
        wakePosted_ = false;
    }
    // The packets go with the entries, outside the lock.
}

bool WindowTarget::Enqueue(uint32_t event, uintptr_t wParam, PacketPtr* packet) {
    HWND hwnd = hwnd_.load();
    if (!hwnd) return false;
    PacketPtr dropped;
    bool wake = false;
    {
        std::lock_guard hold(lock_);
        if (event == EventItemChanged) {
            const size_t address = wParam & 0xFFFF;
            if (changed_.test(address)) return true;
            changed_.set(address);
        }
        if (waiting_.size() >= kMaxWaiting) {
            Waiting& oldest = waiting_.front();
            if (oldest.event == EventItemChanged) changed_.reset(oldest.wParam & 0xFFFF);
            dropped = std::move(oldest.packet);
            waiting_.pop_front();
            dropped_.fetch_add(1);
        }
        waiting_.push_back(Waiting{event, wParam, packet ? std::move(*packet) : PacketPtr()});
        wake = !wakePosted_;
        wakePosted_ = true;
    }
    if (wake && !::PostMessageW(hwnd, MessageTargetWake, 0, 0)) {
        // The window is gone or its queue is full: the next event tries again.
        std::lock_guard hold(lock_);
        wakePosted_ = false;
    }
    return true;
}

bool WindowTarget::Post(uint32_t event, uintptr_t wParam) { return Enqueue(event, wParam, nullptr); }

bool WindowTarget::PostPacket(uint32_t event, PacketPtr& packet) {
    return Enqueue(event, reinterpret_cast<uintptr_t>(packet.get()), &packet);
}

void WindowTarget::Send(uint32_t event, uintptr_t wParam) {
    if (HWND hwnd = hwnd_.load()) ::SendMessageW(hwnd, event, wParam, 0);
}

void WindowTarget::Deliver() {
    std::deque<Waiting> batch;
    {
        std::lock_guard hold(lock_);
        batch.swap(waiting_);
        changed_.reset();
        wakePosted_ = false;
    }
    HWND hwnd = hwnd_.load();
    for (Waiting& waiting : batch) {
        if (!hwnd) break;
        // A packet's ownership goes to the window with the message.
        if (waiting.packet) waiting.packet.release();
        ::SendMessageW(hwnd, waiting.event, waiting.wParam, 0);
    }
    // Whatever was not delivered (the window went) is freed with the batch.
}
