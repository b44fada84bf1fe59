#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::function<void(HWND)> g_pending;
UINT_PTR g_timer = 0;

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM found) {
    if (::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770") {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK LookForDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog || !g_pending) return;
    ::KillTimer(nullptr, g_timer);
    g_timer = 0;
    auto action = std::move(g_pending);
    g_pending = nullptr;
    action(dialog);
}

// Every GUI test needs the X display the test run starts.
class DisplayCheck : public testing::Environment {
  public:
    void SetUp() override {
        HWND probe = ::CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       nullptr, nullptr);
        ASSERT_NE(probe, nullptr) << "these tests need an X display (DISPLAY) under Wine";
        ::DestroyWindow(probe);
    }
};
const auto* g_display = testing::AddGlobalTestEnvironment(new DisplayCheck);

}  // namespace

void WhenDialogAppears(std::function<void(HWND)> action) {
    g_pending = std::move(action);
    if (!g_timer) g_timer = ::SetTimer(nullptr, 0, 20, &LookForDialog);
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    do {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < milliseconds);
}

std::wstring TextOf(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(hwnd, text.data(), length + 1);
    return text.data();
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}
