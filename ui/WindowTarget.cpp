#include "ui/WindowTarget.h"

#include "ui/UiMessages.h"

namespace {

// A batch's work ends after this long, so input and painting come between.
constexpr DWORD kBatchWorkMilliseconds = 10;
// Events taken from the queue at once, under its lock.
constexpr size_t kChunk = 256;

}  // namespace

WindowTarget::~WindowTarget() {
    notifier_.Unregister(this);
    DropAll();
}

void WindowTarget::SetWindow(HWND hwnd) {
    hwnd_.store(hwnd);
    if (!hwnd) DropAll();
}

void WindowTarget::DropAll() {
    std::deque<Waiting> gone;
    std::lock_guard hold(lock_);
    gone.swap(waiting_);
    changed_.reset();
    wakePosted_ = false;
    pacing_ = false;
    // The packets go with the entries.
}

bool WindowTarget::Enqueue(uint32_t event, uintptr_t wParam, PacketPtr* packet) {
    HWND hwnd = hwnd_.load();
    if (!hwnd) return false;
    PacketPtr dropped;
    bool wake = false;
    {
        std::lock_guard hold(lock_);
        if (event == EventItemChanged) {
            const size_t address = wParam & 0xFFFF;
            if (changed_.test(address)) return true;
            changed_.set(address);
        }
        if (waiting_.size() >= kMaxWaiting) {
            Waiting& oldest = waiting_.front();
            if (oldest.event == EventItemChanged) changed_.reset(oldest.wParam & 0xFFFF);
            dropped = std::move(oldest.packet);
            waiting_.pop_front();
            dropped_.fetch_add(1);
        }
        waiting_.push_back(Waiting{event, wParam, packet ? std::move(*packet) : PacketPtr()});
        wake = !wakePosted_ && !pacing_;
        if (wake) wakePosted_ = true;
    }
    if (wake && !::PostMessageW(hwnd, MessageTargetWake, 0, 0)) {
        // The window is gone or its queue is full: the next event tries again.
        std::lock_guard hold(lock_);
        wakePosted_ = false;
    }
    return true;
}

bool WindowTarget::Post(uint32_t event, uintptr_t wParam) { return Enqueue(event, wParam, nullptr); }

bool WindowTarget::PostPacket(uint32_t event, PacketPtr& packet) {
    return Enqueue(event, reinterpret_cast<uintptr_t>(packet.get()), &packet);
}

void WindowTarget::Send(uint32_t event, uintptr_t wParam) {
    if (HWND hwnd = hwnd_.load()) ::SendMessageW(hwnd, event, wParam, 0);
}

bool WindowTarget::TakeSome(std::deque<Waiting>& batch, size_t count) {
    std::lock_guard hold(lock_);
    for (size_t i = 0; i < count && !waiting_.empty(); ++i) {
        Waiting& next = waiting_.front();
        if (next.event == EventItemChanged) changed_.reset(next.wParam & 0xFFFF);
        batch.push_back(std::move(next));
        waiting_.pop_front();
    }
    return !batch.empty();
}

void WindowTarget::Deliver() {
    HWND hwnd = hwnd_.load();
    const DWORD start = ::GetTickCount();
    std::deque<Waiting> batch;
    while (hwnd && TakeSome(batch, kChunk)) {
        for (Waiting& waiting : batch) {
            // A packet's ownership goes to the window with the message.
            if (waiting.packet) waiting.packet.release();
            ::SendMessageW(hwnd, waiting.event, waiting.wParam, 0);
        }
        batch.clear();
        if (::GetTickCount() - start >= kBatchWorkMilliseconds) break;
    }
}

void WindowTarget::StartPacing(HWND hwnd) {
    {
        std::lock_guard hold(lock_);
        pacing_ = true;
        wakePosted_ = false;
    }
    ::SetTimer(hwnd, kTimerId, kBatchMilliseconds, nullptr);
}

void WindowTarget::StopPacing(HWND hwnd) {
    ::KillTimer(hwnd, kTimerId);
    std::lock_guard hold(lock_);
    pacing_ = false;
    wakePosted_ = false;
    // Events that came since the last batch still need a wake-up.
    if (!waiting_.empty()) wakePosted_ = ::PostMessageW(hwnd, MessageTargetWake, 0, 0) != FALSE;
}

bool WindowTarget::HandleMessage(UINT msg, WPARAM wParam) {
    HWND hwnd = hwnd_.load();
    if (!hwnd) return false;
    if (msg == MessageTargetWake) {
        Deliver();
        // More may follow at once: the next batches come on the timer.
        StartPacing(hwnd);
        return true;
    }
    if (msg == WM_TIMER && wParam == kTimerId) {
        bool idle = false;
        {
            std::lock_guard hold(lock_);
            idle = waiting_.empty();
        }
        if (idle)
            StopPacing(hwnd);
        else
            Deliver();
        return true;
    }
    return false;
}
