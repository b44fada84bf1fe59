#include "engine/ThreadHandle.h"

#include <utility>

ThreadHandle::~ThreadHandle() { Detach(); }

ThreadHandle& ThreadHandle::operator=(ThreadHandle&& other) noexcept {
    if (this != &other) {
        Detach();
        native_ = std::exchange(other.native_, nullptr);
    }
    return *this;
}
