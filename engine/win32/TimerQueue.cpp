#include "engine/TimerQueue.h"

#include <windows.h>

namespace {

VOID CALLBACK OnTimer(PVOID parameter, BOOLEAN timerOrWaitFired) {
    auto* entry = static_cast<TimerEntry*>(parameter);
    // Every timer is one-shot, so the callback's "release me" answer needs no
    // action here; the fired timer is released by the next Arm or Cancel (a
    // callback must not delete its own timer while waiting for it).
    entry->callback(entry->argument, timerOrWaitFired != FALSE);
}

}  // namespace

struct TimerQueue::Native {
    HANDLE queue = nullptr;
};

TimerQueue::TimerQueue() : native_(new Native) { native_->queue = CreateTimerQueue(); }

TimerQueue::~TimerQueue() {
    for (TimerEntry& entry : entries_) Cancel(entry);
    // INVALID_HANDLE_VALUE: return only when no callback of the queue runs any
    // more, so none can signal an event its worker closes next.
    if (native_->queue) DeleteTimerQueueEx(native_->queue, INVALID_HANDLE_VALUE);
    delete native_;
}

bool TimerQueue::IsValid() const { return native_->queue != nullptr; }

TimerEntry& TimerQueue::Add(TimerCallback callback, void* argument) {
    return entries_.emplace_back(callback, argument);
}

bool TimerQueue::Arm(TimerEntry& entry, uint32_t dueMilliseconds) {
    if (!IsValid()) return false;
    Cancel(entry);
    HANDLE timer = nullptr;
    if (!CreateTimerQueueTimer(&timer, native_->queue, OnTimer, &entry, dueMilliseconds, 0,
                               WT_EXECUTEDEFAULT)) {
        return false;
    }
    entry.timer_ = timer;
    return true;
}

void TimerQueue::Cancel(TimerEntry& entry) {
    if (!entry.timer_) return;
    // Waits for a callback under way: after Cancel no stale tick can follow.
    DeleteTimerQueueTimer(native_->queue, entry.timer_, INVALID_HANDLE_VALUE);
    entry.timer_ = nullptr;
}
