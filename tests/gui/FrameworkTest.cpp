// The window framework driven by messages: command routing through the
// owner chain, context menus, the splitter and the status bar.
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "GuiTestSupport.h"
#include "ui/CommonControls/ListView.h"
#include "ui/CommonControls/StatusBarExt.h"
#include "ui/PopupMenuExt.h"
#include "ui/Splitter.h"
#include "ui/UiMessages.h"
#include "ui/WindowTarget.h"
#include "engine/Notifier.h"

namespace {

constexpr UINT kAddAddresses = 40016;
constexpr UINT kAddPolledAddresses = 40017;

// A top-level window that records what reaches it.
class HostWindow : public Window {
  public:
    std::vector<UINT> commands;
    int contextMenus = 0;
    std::vector<RECT> panes;

    DWORD Make(uint16_t extraFlags = 0) {
        DWORD error = Create(nullptr, L"KestromTestHost", L"Test host",
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             WindowFlags::ExtensionLayout | extraFlags);
        if (!error) ::SetWindowPos(Handle(), nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_SHOWWINDOW);
        return error;
    }
    bool OnCommand(UINT id) override {
        commands.push_back(id);
        return true;
    }
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CONTEXTMENU) ++contextMenus;
        if (msg == MessageSplitterLayout) {
            auto* rects = reinterpret_cast<RECT*>(lParam);
            panes.assign(rects, rects + 2);
        }
        return Window::WindowProc(hwnd, msg, wParam, lParam);
    }
};

// A pane that handles one command of its context menu itself.
class Pane : public CommonControls::ListView {
  public:
    std::vector<UINT> commands;
    bool OnCommand(UINT id) override {
        if (id != kAddPolledAddresses) return false;
        commands.push_back(id);
        return true;
    }
};

// A menu with one sub-menu holding the two address commands, as a context
// menu resource would be.
HMENU MakeContextMenu() {
    HMENU bar = ::CreateMenu();
    HMENU popup = ::CreatePopupMenu();
    ::AppendMenuW(popup, MF_STRING, kAddAddresses, L"Add Addresses");
    ::AppendMenuW(popup, MF_STRING, kAddPolledAddresses, L"Add Polled Addresses");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"Popup");
    return bar;
}

// A context menu extension whose menu is made in code, not loaded.
class TestPopup : public PopupMenuExt {
  public:
    TestPopup() : PopupMenuExt(0) {}
    DWORD Attach(Window*) override {
        Reset(MakeContextMenu(), true);
        return 0;
    }
};

struct PaneFixture : testing::Test {
    HostWindow host;
    Pane pane;
    TestPopup popup;

    void SetUp() override {
        ASSERT_EQ(host.Make(), 0u);
        pane.AddExtension(&popup);
        ASSERT_EQ(pane.Create(&host, 0), 0u);
        ASSERT_EQ(popup.Attach(&pane), 0u);
        ::MoveWindow(pane.Handle(), 10, 10, 300, 200, TRUE);
    }
};

TEST_F(PaneFixture, AContextMenuCommandThePaneDoesNotHandleReachesTheMainWindow) {
    ::SendMessageW(pane.Handle(), WM_COMMAND, MAKEWPARAM(kAddAddresses, 0), 0);
    ::SendMessageW(pane.Handle(), WM_COMMAND, MAKEWPARAM(kAddPolledAddresses, 0), 0);
    EXPECT_EQ(host.commands, std::vector<UINT>{kAddAddresses});
    EXPECT_EQ(pane.commands, std::vector<UINT>{kAddPolledAddresses});
}

BOOL CALLBACK CountVisibleMenus(HWND hwnd, LPARAM count) {
    if (ClassOf(hwnd) == L"#32768" && ::IsWindowVisible(hwnd)) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int VisibleMenus() {
    int count = 0;
    ::EnumWindows(&CountVisibleMenus, reinterpret_cast<LPARAM>(&count));
    return count;
}

int g_menusSeen = 0;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    g_menusSeen = VisibleMenus();
    ::EndMenu();
}

TEST_F(PaneFixture, ARightClickShowsTheContextMenuAndADisabledOneShowsNothingAndPassesNothingOn) {
    g_menusSeen = 0;
    ::SetTimer(nullptr, 0, 100, &CloseMenu);
    POINT screen{50, 40};
    ::ClientToScreen(pane.Handle(), &screen);
    // TrackPopupMenu runs its own loop until the timer closes the menu.
    ::SendMessageW(pane.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(pane.Handle()),
                   MAKELPARAM(screen.x, screen.y));
    EXPECT_EQ(g_menusSeen, 1);
    EXPECT_EQ(popup.ClickPoint().x, 50);
    EXPECT_EQ(host.contextMenus, 0);

    popup.SetEnabled(false);
    const LRESULT result = ::SendMessageW(pane.Handle(), WM_CONTEXTMENU,
                                          reinterpret_cast<WPARAM>(pane.Handle()),
                                          MAKELPARAM(screen.x, screen.y));
    EXPECT_NE(result, 0);
    EXPECT_EQ(VisibleMenus(), 0);
    EXPECT_EQ(host.contextMenus, 0) << "a disabled context menu must not pass the click on";
}

struct SplitterFixture : testing::Test {
    HostWindow host;
    Splitter splitter{MessageSplitterLayout, 100};
    RECT client{};

    void SetUp() override {
        host.AddExtension(&splitter);
        ASSERT_EQ(host.Make(), 0u);
        ::GetClientRect(host.Handle(), &client);
    }
    void Mouse(UINT message, int x) {
        ::SendMessageW(host.Handle(), message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                       MAKELPARAM(static_cast<short>(x), 50));
    }
};

TEST_F(SplitterFixture, DraggingPastEitherEdgeStopsAtTheEdge) {
    Mouse(WM_LBUTTONDOWN, 101);
    ASSERT_TRUE(splitter.IsDragging());
    Mouse(WM_MOUSEMOVE, 5000);
    EXPECT_EQ(splitter.Left(), client.right - 2);
    EXPECT_EQ(splitter.Bar().right, splitter.Left() + 3);
    Mouse(WM_MOUSEMOVE, -300);
    EXPECT_EQ(splitter.Left(), 0);
    Mouse(WM_MOUSEMOVE, 201);
    EXPECT_EQ(splitter.Left(), 200);
    Mouse(WM_LBUTTONUP, 201);
    EXPECT_FALSE(splitter.IsDragging());
    Mouse(WM_MOUSEMOVE, 300);
    EXPECT_EQ(splitter.Left(), 200) << "moving without the button must not drag";

    // The layout follows the bar: the panes meet it on either side and
    // take the window's height.
    ASSERT_EQ(host.panes.size(), 2u);
    EXPECT_EQ(host.panes[0].right, 199);
    EXPECT_EQ(host.panes[1].left, 204);
    EXPECT_EQ(host.panes[1].right, client.right - 1);
    EXPECT_EQ(host.panes[0].bottom, client.bottom - 1);
}

// A window made narrower leaves the bar beyond its edge: the next layout
// pulls it back.
TEST_F(SplitterFixture, ABarBeyondTheWindowIsPulledBackOnResize) {
    splitter.SetLeft(5000);
    ::SendMessageW(host.Handle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    EXPECT_EQ(splitter.Left(), client.right - 2);
}

TEST(StatusBarExt, TheFirstPartTakesWhatTheOthersLeaveAndMenuHelpFallsBackToTheDefaultText) {
    HostWindow host;
    CommonControls::StatusBarExt status({150}, L"Welcome", true);
    host.AddExtension(&status);
    ASSERT_EQ(host.Make(), 0u);
    RECT client;
    ::GetClientRect(host.Handle(), &client);
    int edges[2] = {};
    ASSERT_EQ(::SendMessageW(status.Bar().Handle(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], client.right - 150);
    EXPECT_EQ(edges[1], -1);
    EXPECT_EQ(status.Bar().Text(0), L"Welcome");

    // Resizing lays the parts out again.
    ::SetWindowPos(host.Handle(), nullptr, 0, 0, 500, 400, SWP_NOZORDER | SWP_NOMOVE);
    ::GetClientRect(host.Handle(), &client);
    ::SendMessageW(status.Bar().Handle(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    EXPECT_EQ(edges[0], client.right - 150);

    status.SetText(0, L"something else");
    HMENU menu = MakeContextMenu();
    ::SendMessageW(host.Handle(), WM_MENUSELECT, MAKEWPARAM(kAddAddresses, MF_STRING),
                   reinterpret_cast<LPARAM>(menu));
    EXPECT_EQ(status.Bar().Text(0), L"Welcome") << "a command without a string shows the default";
    status.SetText(0, L"something else");
    // The menu closing.
    ::SendMessageW(host.Handle(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(status.Bar().Text(0), L"Welcome");
    ::DestroyMenu(menu);
}

TEST(Window, AnObjectDestroyedBeforeItsWindowTakesTheWindowWithIt) {
    HWND hwnd = nullptr;
    {
        HostWindow host;
        ASSERT_EQ(host.Make(), 0u);
        hwnd = host.Handle();
        EXPECT_EQ(Window::FromHandle(hwnd), &host);
    }
    EXPECT_FALSE(::IsWindow(hwnd));
}

// A window that writes down the events its target hands it.
class EventWindow : public Window {
  public:
    explicit EventWindow(Notifier& notifier) : target(notifier) {}
    WindowTarget target;
    std::vector<std::pair<UINT, WPARAM>> events;

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (target.HandleMessage(msg, wParam)) return 1;
        if (msg >= EventConnectionState && msg <= EventRunEnded) {
            events.emplace_back(msg, wParam);
            return 1;
        }
        return Window::WindowProc(hwnd, msg, wParam, lParam);
    }
};

TEST(WindowTarget, HandsABurstOverInOrderOnOneWakeUpAndTellsARepeatedChangeOnce) {
    Notifier notifier;
    EventWindow window(notifier);
    ASSERT_EQ(window.Create(nullptr, L"KestromEventWindow", L"", WS_OVERLAPPED, 0), 0u);
    window.target.SetWindow(window.Handle());
    for (uint32_t event : {EventConnectionState, EventItemChanged, EventTimeoutRetry})
        window.target.Register(event);
    notifier.Post(EventConnectionState, 1);
    for (uintptr_t address : {5, 6, 5, 5}) notifier.Post(EventItemChanged, address);
    notifier.Post(EventTimeoutRetry, 0);
    MSG msg;
    int wakes = 0;
    while (::PeekMessageW(&msg, window.Handle(), MessageTargetWake, MessageTargetWake, PM_REMOVE)) {
        ++wakes;
        ::DispatchMessageW(&msg);
    }
    EXPECT_EQ(wakes, 1);
    using E = std::vector<std::pair<UINT, WPARAM>>;
    EXPECT_EQ(window.events, (E{{EventConnectionState, 1}, {EventItemChanged, 5}, {EventItemChanged, 6},
                                {EventTimeoutRetry, 0}}));
    window.events.clear();
    // While events keep coming they come on the batch timer, below input
    // and painting.
    notifier.Post(EventItemChanged, 5);
    EXPECT_FALSE(::PeekMessageW(&msg, window.Handle(), MessageTargetWake, MessageTargetWake, PM_NOREMOVE));
    PumpMessages(100);
    EXPECT_EQ(window.events, (E{{EventItemChanged, 5}})) << "told again after the window caught up";
    // Once quiet, the next event wakes the window at once again.
    window.events.clear();
    PumpMessages(100);
    notifier.Post(EventTimeoutRetry, 0);
    EXPECT_TRUE(::PeekMessageW(&msg, window.Handle(), MessageTargetWake, MessageTargetWake, PM_NOREMOVE));
}

}  // namespace
