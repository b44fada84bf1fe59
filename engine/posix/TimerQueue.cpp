#include "engine/TimerQueue.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

// Every entry owns a timerfd, and one thread per queue waits on all of them
// (and on a wake-up eventfd for the end) with epoll. Arming or cancelling is
// then a single timerfd_settime: the timer thread is woken only when a timer
// really expires, not on every Arm, which on a fast link is once per poll.
//
// Setting a timerfd again discards an expiry it has not yet handed out, so a
// timer that expired just before a Cancel or re-Arm is never reported: the
// timer thread reads the expiry under the lock before it runs the callback,
// and Arm and Cancel change the timerfd under the same lock. `running` names
// the entry whose callback is under way, so Cancel, Arm and the destructor can
// wait until it has returned.
struct TimerQueue::Native {
    std::mutex lock;
    std::condition_variable idle;
    TimerEntry* running = nullptr;
    bool quit = false;
    int poller = -1;
    int wake = -1;
    std::thread thread;

    ~Native() {
        if (poller >= 0) close(poller);
        if (wake >= 0) close(wake);
    }

    void Loop() {
        constexpr int MaxEvents = 16;
        epoll_event ready[MaxEvents];
        for (;;) {
            const int count = epoll_wait(poller, ready, MaxEvents, -1);
            if (count < 0) {
                if (errno == EINTR) continue;
                return;
            }
            for (int i = 0; i < count; ++i) {
                auto* entry = static_cast<TimerEntry*>(ready[i].data.ptr);
                if (entry == nullptr || !Fire(*entry)) return;
            }
        }
    }

    // Runs the entry's callback when its timer is still expired, outside the
    // lock. False once the queue is being destroyed.
    bool Fire(TimerEntry& entry) {
        {
            std::lock_guard guard(lock);
            if (quit) return false;
            std::uint64_t expirations = 0;
            // Nothing to read: an Arm or Cancel reset the timer after it
            // expired, and that expiry must not be reported.
            if (read(entry.descriptor_, &expirations, sizeof expirations) != sizeof expirations) {
                return true;
            }
            entry.armed_ = false;
            running = &entry;
        }
        // Every timer is one-shot, so the callback's "release me" answer
        // needs no action: nothing is left armed after it ran.
        entry.callback(entry.argument, true);
        {
            std::lock_guard guard(lock);
            running = nullptr;
        }
        idle.notify_all();
        return true;
    }

    // Called with the lock held. The timer thread itself (a callback arming or
    // cancelling) must not wait for its own callback.
    void WaitUntilIdle(TimerEntry& entry, std::unique_lock<std::mutex>& guard) {
        if (running != &entry) return;
        if (std::this_thread::get_id() == thread.get_id()) return;
        idle.wait(guard, [&] { return running != &entry; });
    }

    static bool SetTimer(TimerEntry& entry, uint32_t dueMilliseconds) {
        itimerspec due{};
        // A zero it_value disarms: "at once" is the shortest time instead.
        due.it_value.tv_sec = static_cast<time_t>(dueMilliseconds / 1000);
        due.it_value.tv_nsec = static_cast<long>(dueMilliseconds % 1000) * 1000000L;
        if (dueMilliseconds == 0) due.it_value.tv_nsec = 1;
        return timerfd_settime(entry.descriptor_, 0, &due, nullptr) == 0;
    }

    static void ClearTimer(TimerEntry& entry) {
        const itimerspec never{};
        timerfd_settime(entry.descriptor_, 0, &never, nullptr);
    }
};

TimerQueue::TimerQueue() : native_(new Native) {
    native_->poller = epoll_create1(EPOLL_CLOEXEC);
    native_->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (native_->poller < 0 || native_->wake < 0) return;
    // A null entry in the wait stands for the wake-up at the end.
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;
    if (epoll_ctl(native_->poller, EPOLL_CTL_ADD, native_->wake, &event) != 0) return;
    try {
        native_->thread = std::thread([native = native_] { native->Loop(); });
    } catch (const std::system_error&) {
    }
}

TimerQueue::~TimerQueue() {
    {
        std::lock_guard guard(native_->lock);
        native_->quit = true;
    }
    if (native_->thread.joinable()) {
        const std::uint64_t one = 1;
        // The eventfd starts at zero and is written once: this cannot fail.
        [[maybe_unused]] const ssize_t written = write(native_->wake, &one, sizeof one);
        // Joining waits for a callback under way, so none can outlive the
        // queue; the quit flag keeps any later expiry from running one.
        native_->thread.join();
    }
    for (TimerEntry& entry : entries_) {
        if (entry.descriptor_ >= 0) close(entry.descriptor_);
    }
    delete native_;
}

bool TimerQueue::IsValid() const { return native_->thread.joinable(); }

TimerEntry& TimerQueue::Add(TimerCallback callback, void* argument) {
    std::lock_guard guard(native_->lock);
    TimerEntry& entry = entries_.emplace_back(callback, argument);
    entry.descriptor_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (entry.descriptor_ < 0) return entry;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = &entry;
    if (native_->poller < 0 ||
        epoll_ctl(native_->poller, EPOLL_CTL_ADD, entry.descriptor_, &event) != 0) {
        // An entry its thread cannot watch would never fire: refuse its Arm.
        close(entry.descriptor_);
        entry.descriptor_ = -1;
    }
    return entry;
}

bool TimerQueue::Arm(TimerEntry& entry, uint32_t dueMilliseconds) {
    if (!IsValid() || entry.descriptor_ < 0) return false;
    std::unique_lock guard(native_->lock);
    native_->WaitUntilIdle(entry, guard);
    // Setting the timer replaces an earlier due time and drops an expiry not
    // yet handed out, so only this Arm fires.
    entry.armed_ = Native::SetTimer(entry, dueMilliseconds);
    return entry.armed_;
}

void TimerQueue::Cancel(TimerEntry& entry) {
    if (entry.descriptor_ < 0) return;
    std::unique_lock guard(native_->lock);
    native_->WaitUntilIdle(entry, guard);
    if (!entry.armed_) return;
    Native::ClearTimer(entry);
    entry.armed_ = false;
}
