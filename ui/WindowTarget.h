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
// and handed to the window in batches, so that a worker that posts tens of
// thousands of events a second never floods the window's queue, whose
// posted messages would come before every click and every repaint:
//
// - The first event after a quiet spell posts one wake-up message, and the
//   window takes the batch at once.
// - While events keep coming, the batches come on a timer instead. A timer
//   message is the lowest of all, after input and painting, so the window
//   stays drawn and answers the user however fast the slave answers, and
//   each batch is cut off after a few milliseconds of work.
// - While the window lags, a value changed twice is told once (the window
//   reads the newest value anyway), and past kMaxWaiting waiting events the
//   oldest are dropped, their packets freed: memory stays bounded and the
//   newest events are the ones shown.
//
// It registers the window for the events it names and unregisters it when
// it goes, so no thread can post to a window object that is gone.
class WindowTarget final : public NotifyTarget {
  public:
    static constexpr size_t kMaxWaiting = 20000;
    // The pace of the batches while events keep coming.
    static constexpr UINT kBatchMilliseconds = 15;
    // The window's timer that paces them.
    static constexpr UINT_PTR kTimerId = 0x4B4D;

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

    // The window passes every message here first: the wake-up message and
    // the batch timer are handled (true), the rest is the window's.
    bool HandleMessage(UINT msg, WPARAM wParam);
    // Sends the window the events waiting, in the order they came, for at
    // most a few milliseconds; the rest wait for the next batch.
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
    // Moves up to count waiting events into batch; false when none waited.
    bool TakeSome(std::deque<Waiting>& batch, size_t count);
    void StartPacing(HWND hwnd);
    void StopPacing(HWND hwnd);

    Notifier& notifier_;
    // Read by the workers as they post.
    std::atomic<HWND> hwnd_{nullptr};
    std::mutex lock_;
    std::deque<Waiting> waiting_;
    // The addresses whose EventItemChanged waits, so a second one is not
    // queued again.
    std::bitset<65536> changed_;
    // A wake-up message is on its way, or the timer paces the batches: the
    // workers post nothing then.
    bool wakePosted_ = false;
    bool pacing_ = false;
    std::atomic<uint64_t> dropped_{0};
};
