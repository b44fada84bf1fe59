#pragma once

#include <windows.h>

#include <atomic>

#include "engine/Notifier.h"
#include "engine/NotifyTarget.h"

// A window as a receiver of the notifier's events: posted events become
// posted window messages (handled later on the window's thread), sent
// events sent ones. It registers the window for the events it names and
// unregisters it when it goes, so no thread can post to a window object
// that is gone.
class WindowTarget final : public NotifyTarget {
  public:
    explicit WindowTarget(Notifier& notifier) : notifier_(notifier) {}
    ~WindowTarget();
    WindowTarget(const WindowTarget&) = delete;
    WindowTarget& operator=(const WindowTarget&) = delete;

    // The window the events go to; null while there is none.
    void SetWindow(HWND hwnd) { hwnd_.store(hwnd); }
    void Register(uint32_t event) { notifier_.Register(this, event); }

    bool Post(uint32_t event, uintptr_t wParam) override;
    bool PostPacket(uint32_t event, PacketPtr& packet) override;
    void Send(uint32_t event, uintptr_t wParam) override;

  private:
    Notifier& notifier_;
    // Read by the workers as they post.
    std::atomic<HWND> hwnd_{nullptr};
};
