#include "engine/Event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <mutex>

// The eventfd is what poll() watches; the flag under the mutex is the event's
// real state. Every change of the flag moves the eventfd with it while the
// mutex is held, so the descriptor is readable exactly while the event is set,
// and the mutex gives the memory ordering a reader of the signalled data needs.
struct Event::Native {
    int fd = -1;
    std::mutex lock;
    bool set = false;

    void Raise() {
        if (set) return;
        uint64_t one = 1;
        if (write(fd, &one, sizeof one) == sizeof one) set = true;
    }
    void Lower() {
        if (!set) return;
        uint64_t count = 0;
        if (read(fd, &count, sizeof count) == sizeof count) set = false;
    }
};

Event::Event(ResetMode mode, bool initiallySet) : native_(new Native), manual_(mode) {
    native_->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (native_->fd >= 0 && initiallySet) native_->Raise();
}

Event::~Event() {
    if (native_->fd >= 0) close(native_->fd);
    delete native_;
}

bool Event::IsValid() const { return native_->fd >= 0; }

bool Event::Set() {
    if (!IsValid()) return false;
    std::lock_guard guard(native_->lock);
    native_->Raise();
    return native_->set;
}

bool Event::Reset() {
    if (!IsValid()) return false;
    std::lock_guard guard(native_->lock);
    native_->Lower();
    return !native_->set;
}

bool Event::IsSet() const {
    std::lock_guard guard(native_->lock);
    return native_->set;
}

bool Event::Wait(uint32_t timeoutMs) {
    Waitable* self = this;
    return WaitForAny({&self, 1}, timeoutMs) == 0;
}

WaitHandle Event::GetWaitHandle() const { return {native_->fd, WaitHandle::Readable}; }

bool Event::Acquire() {
    std::lock_guard guard(native_->lock);
    if (!native_->set) return false;
    if (!manual_) native_->Lower();
    return true;
}
