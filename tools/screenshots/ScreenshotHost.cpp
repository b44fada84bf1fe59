// Shows one scene of the Windows program for scripts/screenshots.sh: a
// dialog filled as a user would have it, or the panes polling a slave. When
// the scene stands it prints "ready LEFT TOP WIDTH HEIGHT" (the window on
// the screen) and waits to be stopped.
//
//   screenshot_host SCENE [PROJECT HOST PORT]
//   scenes: connection, poll, add-addresses, value, about, panes
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document/VantelDoc.h"
#include "document/dialogs/DialogAddAddresses.h"
#include "document/dialogs/DialogConnection.h"
#include "document/dialogs/DialogGetDataItem.h"
#include "document/dialogs/DialogPoll.h"
#include "engine/SerialPort.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "resources/ResourceIds.h"
#include "ui/DialogAbout.h"
#include "ui/WindowAddressMap.h"
#include "ui/WindowBreakdown.h"
#include "ui/WindowMonitor.h"

namespace {

void Pump(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - start < milliseconds) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

void Ready(HWND hwnd) {
    Pump(500);
    RECT rect;
    ::GetWindowRect(hwnd, &rect);
    std::printf("ready %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    std::fflush(stdout);
    Pump(60000);
}

void Choose(HWND dialog, int id, const wchar_t* text) {
    HWND list = ::GetDlgItem(dialog, id);
    const LRESULT index =
        ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    ::SendMessageW(list, CB_SETCURSEL, index, 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

int ShowDialogs(const std::string& scene) {
    VantelDoc document;
    if (scene == "connection") {
        document.EthernetMaster().host = "192.168.10.21";
        std::vector<std::wstring> ports;
        EnumerateSerialPorts(ports);
        DialogConnection dialog(ConnectionForm::FromDocument(document), ports);
        if (dialog.CreateModeless(nullptr, IDD_CONNECTION)) return 1;
        // An unfinished field shows in light red.
        ::SetWindowTextW(::GetDlgItem(dialog.Handle(), IDC_CONN_TIMEOUT), L"10x");
        Ready(dialog.Handle());
    } else if (scene == "poll") {
        Poll poll;
        MakePoll(4, 200, 2, PresetId::LongUint, poll);
        DialogPoll dialog{PollForm::ForPoll(poll)};
        if (dialog.CreateModeless(nullptr, IDD_POLL)) return 1;
        Choose(dialog.Handle(), IDC_POLL_FUNCTION, L"03: Read Input Registers");
        Ready(dialog.Handle());
    } else if (scene == "add-addresses") {
        DialogAddAddresses dialog{AddressRangeForm::ForRange(300, 303, 1, DataItem::Float)};
        if (dialog.CreateModeless(nullptr, IDD_ADD_ADDRESSES)) return 1;
        Ready(dialog.Handle());
    } else if (scene == "value") {
        DialogGetDataItem dialog(DataItem::Float, L"Address 300:", L"1.5");
        if (!dialog.Build() || dialog.CreateTemplateModeless(nullptr)) return 1;
        ::SetWindowTextW(::GetDlgItem(dialog.Handle(), DialogGetDataItem::kEditId), L"1.5e");
        Ready(dialog.Handle());
    } else if (scene == "about") {
        DialogAbout dialog(L"https://www.kestrom.com");
        LinkControl::RegisterClass();
        if (!dialog.Build() || dialog.CreateTemplateModeless(nullptr)) return 1;
        Ready(dialog.Handle());
    } else {
        return 2;
    }
    return 0;
}

class PaneHost : public Window {
  public:
    explicit PaneHost(VantelDoc& document) : map(document), monitor(document), breakdown(document) {}
    WindowAddressMap map;
    WindowMonitor monitor;
    WindowBreakdown breakdown;

    DWORD Make() {
        if (DWORD error = Create(nullptr, L"KestromPanes", L"Kestrom Master panes",
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0))
            return error;
        if (DWORD error = map.Create(this)) return error;
        if (DWORD error = monitor.Create(this)) return error;
        if (DWORD error = breakdown.Create(this)) return error;
        ::SetWindowPos(Handle(), nullptr, 20, 20, 1180, 720, SWP_NOZORDER | SWP_SHOWWINDOW);
        return 0;
    }
    void OnSize(UINT, RECT* client) override {
        const int w = client->right + 1, h = client->bottom + 1, left = 330;
        ::MoveWindow(map.Handle(), 0, 0, left - 4, h, TRUE);
        ::MoveWindow(monitor.Handle(), left, 0, w - left, h / 2, TRUE);
        ::MoveWindow(breakdown.Handle(), left, h / 2, w - left, h - h / 2, TRUE);
    }
};

int ShowPanes(int argc, char** argv) {
    if (argc < 5) return 2;
    VantelDoc document;
    ProjectLoadResult result;
    std::wstring project(argv[2], argv[2] + std::strlen(argv[2]));
    if (!document.Open(project, result)) return 1;
    document.EthernetMaster().host = argv[3];
    document.EthernetMaster().port = static_cast<uint16_t>(std::atoi(argv[4]));
    document.Settings().pollrate = 200;
    PaneHost host(document);
    if (host.Make()) return 1;
    document.Send(nullptr, EventDocumentChanged, 0);
    if (!document.StartRun()) return 1;
    Pump(4000);
    // The newest reply of the float poll, taken apart in the breakdown.
    for (size_t row = host.monitor.RowsKept(); row-- > 0;) {
        const ModbusPacket* packet = host.monitor.PacketAt(row);
        if (packet && !packet->isRequest && packet->bytes.size() > 7 && packet->bytes[7] == 65) {
            host.monitor.SetTrackLatest(false);
            host.monitor.Select(static_cast<int>(row), true);
            host.monitor.EnsureVisible(static_cast<int>(row));
            break;
        }
    }
    document.StopRun();
    Ready(host.Handle());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    if (argc < 2) return 2;
    const std::string scene = argv[1];
    if (scene == "panes") return ShowPanes(argc, argv);
    return ShowDialogs(scene);
}
