#pragma once

#include <cstdint>

#include "engine/PacketPtr.h"

// Something the Notifier delivers events to: a window (PostMessageW and
// SendMessageW) or a thread-safe queue (tests and the command-line program).
class NotifyTarget {
  public:
    // Queues the event for the target's own thread and never waits for it.
    // False when the target could not take it (gone, or its queue is full).
    virtual bool Post(uint32_t event, uintptr_t wParam) = 0;
    // As Post, with wParam the packet; the target takes the packet only when it
    // returns true, otherwise the caller still owns it.
    virtual bool PostPacket(uint32_t event, PacketPtr& packet) = 0;
    // Delivers the event before returning; only on the user-interface thread.
    virtual void Send(uint32_t event, uintptr_t wParam) = 0;

  protected:
    ~NotifyTarget() = default;
};
