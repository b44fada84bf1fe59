#include "engine/Event.h"

#include <windows.h>

// The kernel event holds the whole state; a wait on it already consumes an
// auto-reset signal, so Acquire has nothing left to do.
struct Event::Native {
    HANDLE handle = nullptr;
};

Event::Event(ResetMode mode, bool initiallySet) : native_(new Native), manual_(mode) {
    native_->handle =
        CreateEventW(nullptr, manual_ ? TRUE : FALSE, initiallySet ? TRUE : FALSE, nullptr);
}

Event::~Event() {
    if (native_->handle) CloseHandle(native_->handle);
    delete native_;
}

bool Event::IsValid() const { return native_->handle != nullptr; }

bool Event::Set() { return IsValid() && SetEvent(native_->handle); }

bool Event::Reset() { return IsValid() && ResetEvent(native_->handle); }

bool Event::IsSet() const {
    return IsValid() && WaitForSingleObject(native_->handle, 0) == WAIT_OBJECT_0;
}

bool Event::Wait(uint32_t timeoutMs) {
    Waitable* self = this;
    return WaitForAny({&self, 1}, timeoutMs) == 0;
}

WaitHandle Event::GetWaitHandle() const {
    return {reinterpret_cast<intptr_t>(native_->handle), WaitHandle::Readable};
}

bool Event::Acquire() { return true; }
