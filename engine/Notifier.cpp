#include "engine/Notifier.h"

#include <mutex>
#include <vector>

void Notifier::Register(NotifyTarget* target, uint32_t event) {
    std::lock_guard guard(lock_);
    registrations_[event].push_back(target);
}

void Notifier::Unregister(NotifyTarget* target) {
    std::lock_guard guard(lock_);
    for (auto& [event, targets] : registrations_) std::erase(targets, target);
}

void Notifier::Post(uint32_t event, uintptr_t wParam) {
    std::lock_guard guard(lock_);
    auto found = registrations_.find(event);
    if (found == registrations_.end()) return;
    // A target that cannot take the event has nobody to tell; the others still
    // hear of it.
    for (NotifyTarget* target : found->second) target->Post(event, wParam);
}

void Notifier::PostPacket(uint32_t event, PacketPtr packet) {
    std::lock_guard guard(lock_);
    auto found = registrations_.find(event);
    if (found == registrations_.end()) return;
    for (NotifyTarget* target : found->second) {
        if (target->PostPacket(event, packet)) return;
    }
}

void Notifier::Send(NotifyTarget* except, uint32_t event, uintptr_t wParam) {
    std::lock_guard guard(lock_);
    auto found = registrations_.find(event);
    if (found == registrations_.end()) return;
    // By index: a handler may register more targets while it is being told.
    const std::vector<NotifyTarget*>& targets = found->second;
    for (size_t i = 0; i < targets.size(); ++i) {
        if (targets[i] != except) targets[i]->Send(event, wParam);
    }
}
