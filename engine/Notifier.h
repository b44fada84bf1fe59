#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "engine/CriticalSection.h"
#include "engine/NotifyEvents.h"
#include "engine/NotifyTarget.h"
#include "engine/PacketPtr.h"

// The hub through which workers and windows tell windows what happened; the
// engine never calls into a window, it only posts here. Targets register
// while the program builds its windows and stay registered until they go.
//
// Every operation holds the lock for its whole duration: a Send delivery may
// Post or Send again on the same thread, and a worker posting meanwhile waits
// until the delivery is over. So a thread must never wait for a worker to end
// inside a Send delivery.
class Notifier {
  public:
    Notifier() = default;
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // A target registered twice for an event is told twice.
    void Register(NotifyTarget* target, uint32_t event);
    // Forgets every registration of the target. A target that goes before the
    // notifier (a window of the program, while the web server's threads may
    // still post) calls it before it is destroyed; afterwards no thread
    // reaches it.
    void Unregister(NotifyTarget* target);
    // Posts to every target registered for the event, in registration order.
    // Callable from any thread; never waits for a target. An event nobody
    // registered for is dropped.
    void Post(uint32_t event, uintptr_t wParam);
    // Passes the packet's ownership to the first target (in registration order)
    // that takes it. Only one can own it, so later targets are not given a
    // pointer whose lifetime they do not control. A packet that no target takes
    // (none registered, a window gone, a queue full) is freed here.
    void PostPacket(uint32_t event, PacketPtr packet);
    // Delivers to every target registered for the event except `except`, in
    // registration order, before returning. User-interface thread only.
    void Send(NotifyTarget* except, uint32_t event, uintptr_t wParam);

  private:
    CriticalSection lock_;
    std::map<uint32_t, std::vector<NotifyTarget*>> registrations_;
};
