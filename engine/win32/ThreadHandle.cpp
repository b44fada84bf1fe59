#include "engine/ThreadHandle.h"

#include <process.h>
#include <windows.h>

#include <utility>

namespace {

struct Start {
    ThreadHandle::Entry entry;
    void* argument;
};

unsigned __stdcall Trampoline(void* parameter) {
    Start start = *static_cast<Start*>(parameter);
    delete static_cast<Start*>(parameter);
    start.entry(start.argument);
    return 0;
}

}  // namespace

struct ThreadHandle::Native {
    HANDLE handle = nullptr;
    unsigned id = 0;
};

bool ThreadHandle::Begin(Entry entry, void* argument) {
    Detach();
    auto* native = new Native;
    auto* start = new Start{entry, argument};
    // _beginthreadex rather than CreateThread: the worker uses the C runtime.
    uintptr_t handle = _beginthreadex(nullptr, 0, Trampoline, start, 0, &native->id);
    if (handle == 0) {
        delete start;
        delete native;
        return false;
    }
    native->handle = reinterpret_cast<HANDLE>(handle);
    native_ = native;
    return true;
}

bool ThreadHandle::IsCurrent() const { return native_ && native_->id == GetCurrentThreadId(); }

void ThreadHandle::Join() {
    if (!native_) return;
    WaitForSingleObject(native_->handle, INFINITE);
    CloseHandle(native_->handle);
    delete std::exchange(native_, nullptr);
}

void ThreadHandle::Detach() {
    if (!native_) return;
    CloseHandle(native_->handle);
    delete std::exchange(native_, nullptr);
}
