#include "ui/WindowTarget.h"

WindowTarget::~WindowTarget() { notifier_.Unregister(this); }

bool WindowTarget::Post(uint32_t event, uintptr_t wParam) {
    HWND hwnd = hwnd_.load();
    return hwnd && ::PostMessageW(hwnd, event, wParam, 0);
}

bool WindowTarget::PostPacket(uint32_t event, PacketPtr& packet) {
    if (!Post(event, reinterpret_cast<uintptr_t>(packet.get()))) return false;
    // The message carries it now; the window adopts it when it arrives.
    packet.release();
    return true;
}

void WindowTarget::Send(uint32_t event, uintptr_t wParam) {
    if (HWND hwnd = hwnd_.load()) ::SendMessageW(hwnd, event, wParam, 0);
}
