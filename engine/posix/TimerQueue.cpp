#include "engine/TimerQueue.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
}

// One thread per queue sleeps until the earliest due entry. The callback runs
// outside the lock; `running` names the entry whose callback is under way, so
// Cancel and the destructor can wait until it has returned.
struct TimerQueue::Native {
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::map<TimerEntry*, Clock::time_point> due;
    TimerEntry* running = nullptr;
    bool quit = false;
    std::thread thread;

    void Loop() {
        std::unique_lock guard(lock);
        while (!quit) {
            if (due.empty()) {
                wake.wait(guard);
                continue;
            }
            auto next = due.begin();
            for (auto it = due.begin(); it != due.end(); ++it) {
                if (it->second < next->second) next = it;
            }
            if (Clock::now() < next->second) {
                // By value: the entry may be cancelled while we sleep.
                const Clock::time_point until = next->second;
                wake.wait_until(guard, until);
                continue;
            }
            TimerEntry* entry = next->first;
            due.erase(next);
            running = entry;
            guard.unlock();
            // Every timer is one-shot, so the callback's "release me" answer
            // needs no action: nothing is left armed after it ran.
            entry->callback(entry->argument, true);
            guard.lock();
            running = nullptr;
            idle.notify_all();
        }
    }

    // Called with the lock held. The timer thread itself (a callback arming or
    // cancelling) must not wait for its own callback.
    void Withdraw(TimerEntry& entry, std::unique_lock<std::mutex>& guard) {
        due.erase(&entry);
        if (std::this_thread::get_id() == thread.get_id()) return;
        idle.wait(guard, [&] { return running != &entry; });
    }
};

TimerQueue::TimerQueue() : native_(new Native) {
    try {
        native_->thread = std::thread([native = native_] { native->Loop(); });
    } catch (const std::system_error&) {
    }
}

TimerQueue::~TimerQueue() {
    {
        std::lock_guard guard(native_->lock);
        native_->due.clear();
        native_->quit = true;
    }
    native_->wake.notify_all();
    // Joining waits for a callback under way, so none can outlive the queue.
    if (native_->thread.joinable()) native_->thread.join();
    delete native_;
}

bool TimerQueue::IsValid() const { return native_->thread.joinable(); }

TimerEntry& TimerQueue::Add(TimerCallback callback, void* argument) {
    std::lock_guard guard(native_->lock);
    return entries_.emplace_back(callback, argument);
}

bool TimerQueue::Arm(TimerEntry& entry, uint32_t dueMilliseconds) {
    if (!IsValid()) return false;
    {
        std::unique_lock guard(native_->lock);
        native_->Withdraw(entry, guard);
        native_->due[&entry] = Clock::now() + std::chrono::milliseconds(dueMilliseconds);
    }
    native_->wake.notify_all();
    return true;
}

void TimerQueue::Cancel(TimerEntry& entry) {
    std::unique_lock guard(native_->lock);
    native_->Withdraw(entry, guard);
}
