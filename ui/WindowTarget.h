#pragma once

#include <windows.h>

#include <atomic>
#include <bitset>
#include <cstdint>
#include <deque>
#include <mutex>

#include "engine/Notifier.h"
#include "engine/NotifyTarget.h"

// A window as a receiver of the notifier's events. Sent events are sent
// messages, handled before Send returns. Posted events are gathered here
// and handed to the window in batches: the first event of a batch posts one
// wake-up message, and when it arrives Deliver sends the window every event
// gathered so far, in order. A worker that posts tens of thousands of events
// a second thus costs the window's queue one message per batch, the window
// keeps painting and answering the user, and the queue never fills.
//
// While the window lags, a value changed twice is told once (the window
// reads the newest value anyway), and past kMaxWaiting waiting events the
// oldest are dropped, their packets freed: memory stays bounded and the
// newest events are the ones shown.
//
// It registers the window for the events it names and unregisters it when
// it goes, so no thread can post to a window object that is gone.
class WindowTarget final : public NotifyTarget {
  public:
    static constexpr size_t kMaxWaiting = 20000;

    explicit WindowTarget(Notifier& notifier) : notifier_(notifier) {}
    ~WindowTarget();
    WindowTarget(const WindowTarget&) = delete;
    WindowTarget& operator=(const WindowTarget&) = delete;

    // The window the events go to; null while there is none (the events
    // still waiting are then dropped).
    void SetWindow(HWND hwnd);
    void Register(uint32_t event) { notifier_.Register(this, event); }

    bool Post(uint32_t event, uintptr_t wParam) override;
    bool PostPacket(uint32_t event, PacketPtr& packet) override;
    void Send(uint32_t event, uintptr_t wParam) override;

    // The window calls it for the wake-up message (MessageTargetWake): it
    // sends the window every event waiting, in the order they came.
    void Deliver();
    // Events dropped because the window lagged too far behind.
    uint64_t Dropped() const { return dropped_.load(); }

  private:
    struct Waiting {
        uint32_t event;
        uintptr_t wParam;
        PacketPtr packet;
    };
    // Takes the packet (when one is given) only when it returns true.
    bool Enqueue(uint32_t event, uintptr_t wParam, PacketPtr* packet);
    void DropAll();

    Notifier& notifier_;
    // Read by the workers as they post.
    std::atomic<HWND> hwnd_{nullptr};
    std::mutex lock_;
    std::deque<Waiting> waiting_;
    // The addresses whose EventItemChanged waits, so a second one is not
    // queued again.
    std::bitset<65536> changed_;
    bool wakePosted_ = false;
    std::atomic<uint64_t> dropped_{0};
};
