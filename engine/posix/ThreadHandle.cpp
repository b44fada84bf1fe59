#include "engine/ThreadHandle.h"

#include <system_error>
#include <thread>
#include <utility>

struct ThreadHandle::Native {
    std::thread thread;
};

bool ThreadHandle::Begin(Entry entry, void* argument) {
    Detach();
    auto* native = new Native;
    try {
        native->thread = std::thread(entry, argument);
    } catch (const std::system_error&) {
        delete native;
        return false;
    }
    native_ = native;
    return true;
}

bool ThreadHandle::IsCurrent() const {
    return native_ && native_->thread.get_id() == std::this_thread::get_id();
}

void ThreadHandle::Join() {
    if (!native_) return;
    if (native_->thread.joinable()) native_->thread.join();
    delete std::exchange(native_, nullptr);
}

void ThreadHandle::Detach() {
    if (!native_) return;
    if (native_->thread.joinable()) native_->thread.detach();
    delete std::exchange(native_, nullptr);
}
