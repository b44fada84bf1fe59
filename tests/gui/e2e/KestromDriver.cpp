// kestrom_driver: drives a running KestromMaster.exe from outside, as
// another program on the desktop would, for the end-to-end tests. One
// command per run; the answer goes to standard output.
//
//   launch EXE [COMMAND LINE]   starts the program with exactly that command line
//   wait [SECONDS]              until the main window is shown
//   command ID                  a menu command, posted as the menu would
//   close                       WM_CLOSE, as the title bar's X
//   rows PANE                   the number of rows (poll, map, monitor, breakdown)
//   text PANE ROW COLUMN        the text of a cell
//   select PANE ROW...          selects exactly these rows
//   menu ID                     "enabled"/"grayed" and "checked"/"unchecked" and the item's text
//   tool ID                     the tool bar button: "enabled"/"grayed" "pressed"/"released"
//   status PART                 the status bar's text
//   rect PANE                   LEFT TOP RIGHT BOTTOM of the pane in the main window's client area
//   dialog TITLE [SECONDS]      until a window titled TITLE is shown; its controls' texts
//   answer TITLE ID             presses button ID (1 OK, 2 Cancel, 6 Yes, 7 No) in that window
//   settext TITLE ID TEXT       types TEXT into control ID of that window
//   framed TITLE                LEFT TOP RIGHT BOTTOM of that window on the screen
//   alive                       "yes" while the main window exists
//   dde ITEM [VALUE]            the DDE server's answer to a request for ITEM, or
//                               with VALUE a poke of it ("ok" when accepted)
//   window                      LEFT TOP RIGHT BOTTOM of the main window on the screen
//   resize WIDTH HEIGHT         gives the main window that outer size
//   toolpoint ID                X Y on the screen: the middle of a tool bar button
//   rowpoint PANE ROW           X Y on the screen: the middle of a row's first cell
#include <windows.h>
// commctrl.h and ddeml.h need the types of windows.h.
#include <commctrl.h>
#include <ddeml.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kMainClass[] = L"Kestrom Master";

HWND MainWindow() { return ::FindWindowW(kMainClass, nullptr); }

// Memory in the program's own process, for messages that carry pointers.
class RemoteBuffer {
  public:
    RemoteBuffer(HWND window, size_t size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) ::CloseHandle(process_);
    }
    bool Valid() const { return address_ != nullptr; }
    char* At(size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const {
        return ::WriteProcessMemory(process_, At(offset), data, size, nullptr) != 0;
    }
    bool Read(size_t offset, void* data, size_t size) const {
        return ::ReadProcessMemory(process_, At(offset), data, size, nullptr) != 0;
    }

  private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[1024] = {};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                          5000, nullptr);
    return text;
}

constexpr int kTextRoom = 1024;

// Asks for a text the program writes into its own memory: item (a header
// or list view item) goes over with its text pointer aimed just past it.
template <typename Item>
std::wstring RemoteText(HWND window, UINT message, WPARAM wParam, Item item) {
    RemoteBuffer remote(window, sizeof item + kTextRoom * sizeof(wchar_t));
    if (!remote.Valid()) return L"";
    item.pszText = reinterpret_cast<wchar_t*>(remote.At(sizeof item));
    item.cchTextMax = kTextRoom - 1;
    remote.Write(0, &item, sizeof item);
    ::SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(remote.At(0)));
    wchar_t text[kTextRoom] = {};
    remote.Read(sizeof item, text, sizeof text - sizeof(wchar_t));
    return text;
}

// The heading of a list view's first column names the pane.
std::wstring FirstHeading(HWND list) {
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    HDITEMW item{};
    item.mask = HDI_TEXT;
    return header ? RemoteText(header, HDM_GETITEMW, 0, item) : L"";
}

struct PaneSearch {
    std::wstring heading;
    HWND found = nullptr;
};

BOOL CALLBACK FindPane(HWND hwnd, LPARAM parameter) {
    auto* search = reinterpret_cast<PaneSearch*>(parameter);
    if (ClassOf(hwnd) == WC_LISTVIEWW && FirstHeading(hwnd) == search->heading) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Pane(const std::string& name) {
    PaneSearch search;
    if (name == "poll") search.heading = L"Function";
    if (name == "map") search.heading = L"Address";
    if (name == "monitor") search.heading = L"Time";
    if (name == "breakdown") search.heading = L"Field";
    ::EnumChildWindows(MainWindow(), &FindPane, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ChildOfClass(HWND parent, const wchar_t* className) {
    return ::FindWindowExW(parent, nullptr, className, nullptr);
}

void Print(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
}

std::wstring Wide(const char* text) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

std::wstring CellText(HWND list, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    return RemoteText(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), item);
}

// Screen coordinates, one line: a rectangle's edges or its middle.
void PrintRect(const RECT& rect) {
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
}

void PrintMiddle(HWND window, const RECT& rect) {
    POINT middle{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ::ClientToScreen(window, &middle);
    std::printf("%ld %ld\n", middle.x, middle.y);
}

// The rectangle a message writes into the program's memory, from start.
RECT RemoteRect(HWND window, UINT message, WPARAM wParam, RECT start = {}) {
    RemoteBuffer remote(window, sizeof(RECT));
    remote.Write(0, &start, sizeof start);
    ::SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(remote.At(0)));
    RECT rect{};
    remote.Read(0, &rect, sizeof rect);
    return rect;
}

void SetRowState(HWND list, int row, UINT state, UINT mask) {
    RemoteBuffer remote(list, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    remote.Write(0, &item, sizeof item);
    ::SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.At(0)));
}

// A menu lives in its program's process (on Wine it cannot be read from
// another one), so the question goes in with the probe: a message hook
// loads it into the program, which answers through shared memory.
std::wstring MenuState(HWND main, UINT id) {
    HMODULE probe = ::LoadLibraryW(L"kestrom_probe.dll");
    // Through void*: FARPROC and HOOKPROC have different signatures.
    auto hook = probe ? reinterpret_cast<HOOKPROC>(
                            reinterpret_cast<void*>(::GetProcAddress(probe, "ProbeHook")))
                      : nullptr;
    if (!hook) return L"no probe";
    HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                          L"KestromProbeAnswer");
    HANDLE ready = ::CreateEventW(nullptr, FALSE, FALSE, L"KestromProbeReady");
    const DWORD thread = ::GetWindowThreadProcessId(main, nullptr);
    HHOOK installed = ::SetWindowsHookExW(WH_GETMESSAGE, hook, probe, thread);
    std::wstring answer = L"no answer";
    if (installed && mapping && ready) {
        const UINT query = ::RegisterWindowMessageW(L"KestromProbeMenuState");
        ::PostMessageW(main, query, id, 0);
        if (::WaitForSingleObject(ready, 5000) == WAIT_OBJECT_0) {
            if (auto* view = static_cast<const wchar_t*>(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
                answer = view;
                ::UnmapViewOfFile(view);
            }
        }
    }
    if (installed) ::UnhookWindowsHookEx(installed);
    if (ready) ::CloseHandle(ready);
    if (mapping) ::CloseHandle(mapping);
    return answer;
}

struct TitleSearch {
    std::wstring title;
    HWND found = nullptr;
};

// Dialog boxes only (message boxes included): the main window's title is
// the same as its message boxes' caption.
// The caption is read without a message: a window of a program that hangs
// (or is ending) must not hold the search up.
BOOL CALLBACK FindTitled(HWND hwnd, LPARAM parameter) {
    auto* search = reinterpret_cast<TitleSearch*>(parameter);
    wchar_t caption[256] = {};
    ::GetWindowTextW(hwnd, caption, 256);
    if (::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" && search->title == caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Titled(const std::wstring& title, double seconds) {
    const DWORD start = ::GetTickCount();
    do {
        TitleSearch search{title};
        ::EnumWindows(&FindTitled, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(50);
    } while (::GetTickCount() - start < seconds * 1000);
    return nullptr;
}

BOOL CALLBACK PrintControl(HWND hwnd, LPARAM) {
    Print(std::to_wstring(::GetDlgCtrlID(hwnd)) + L" " + ClassOf(hwnd) + L" " +
          (::IsWindowEnabled(hwnd) ? L"enabled " : L"grayed ") + WindowText(hwnd));
    return TRUE;
}

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

int DdeRequest(const std::wstring& item, const std::wstring* poke) {
    DWORD instance = 0;
    if (::DdeInitializeW(&instance, &DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return 1;
    HSZ service = ::DdeCreateStringHandleW(instance, L"Kestrom Master", CP_WINUNICODE);
    HSZ topic = ::DdeCreateStringHandleW(instance, L"Master", CP_WINUNICODE);
    HSZ name = ::DdeCreateStringHandleW(instance, item.c_str(), CP_WINUNICODE);
    int status = 1;
    if (HCONV conversation = ::DdeConnect(instance, service, topic, nullptr); conversation && poke) {
        const DWORD bytes = static_cast<DWORD>((poke->size() + 1) * sizeof(wchar_t));
        HDDEDATA done = ::DdeClientTransaction(
            reinterpret_cast<BYTE*>(const_cast<wchar_t*>(poke->c_str())), bytes, conversation, name,
            CF_UNICODETEXT, XTYP_POKE, 5000, nullptr);
        Print(done ? L"ok" : L"refused");
        status = done ? 0 : 1;
        ::DdeDisconnect(conversation);
    } else if (conversation) {
        HDDEDATA data = ::DdeClientTransaction(nullptr, 0, conversation, name, CF_UNICODETEXT,
                                               XTYP_REQUEST, 5000, nullptr);
        if (data) {
            wchar_t text[1024] = {};
            ::DdeGetData(data, reinterpret_cast<BYTE*>(text), sizeof text - sizeof(wchar_t), 0);
            Print(text);
            ::DdeFreeDataHandle(data);
            status = 0;
        }
        ::DdeDisconnect(conversation);
    }
    ::DdeFreeStringHandle(instance, name);
    ::DdeFreeStringHandle(instance, topic);
    ::DdeFreeStringHandle(instance, service);
    ::DdeUninitialize(instance);
    return status;
}

int Run(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    auto arg = [&](int i) { return i < argc ? std::atoi(argv[i]) : 0; };
    if (verb == "launch" && argc > 2) {
        // The program's own command line is what follows its name.
        std::wstring line = L"\"" + Wide(argv[2]) + L"\"";
        if (argc > 3) line += L" " + Wide(argv[3]);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process))
            return 1;
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return 0;
    }
    if (verb == "wait") {
        // Shown: the window is made before it is set up, and shown last.
        const DWORD limit = static_cast<DWORD>((argc > 2 ? std::atof(argv[2]) : 20) * 1000);
        const DWORD start = ::GetTickCount();
        auto shown = [] { return MainWindow() && ::IsWindowVisible(MainWindow()); };
        while (!shown() && ::GetTickCount() - start < limit) ::Sleep(50);
        return shown() ? 0 : 1;
    }
    if (verb == "alive") {
        Print(MainWindow() ? L"yes" : L"no");
        return 0;
    }
    if (verb == "dde" && argc > 2) {
        const std::wstring value = argc > 3 ? Wide(argv[3]) : L"";
        return DdeRequest(Wide(argv[2]), argc > 3 ? &value : nullptr);
    }
    if (verb == "dialog" || verb == "answer" || verb == "settext" || verb == "framed") {
        if (argc < 3) return 2;
        HWND window = Titled(Wide(argv[2]), verb == "dialog" && argc > 3 ? std::atof(argv[3]) : 10);
        if (!window) return 1;
        if (verb == "dialog") {
            ::EnumChildWindows(window, &PrintControl, 0);
        } else if (verb == "framed") {
            RECT rect;
            ::GetWindowRect(window, &rect);
            PrintRect(rect);
        } else if (verb == "answer") {
            ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(arg(3), BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(window, arg(3))));
        } else {
            if (argc < 5) return 2;
            const std::wstring text = Wide(argv[4]);
            ::SendMessageW(::GetDlgItem(window, arg(3)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        return 0;
    }
    HWND main = MainWindow();
    if (!main) return 1;
    if (verb == "command") return ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(arg(2), 0), 0) ? 0 : 1;
    if (verb == "close") return ::PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
    if (verb == "menu") {
        Print(MenuState(main, static_cast<UINT>(arg(2))));
        return 0;
    }
    if (verb == "tool") {
        HWND tools = ChildOfClass(main, TOOLBARCLASSNAMEW);
        const WPARAM id = static_cast<WPARAM>(arg(2));
        std::wstring state = ::SendMessageW(tools, TB_ISBUTTONENABLED, id, 0) ? L"enabled" : L"grayed";
        state += ::SendMessageW(tools, TB_ISBUTTONCHECKED, id, 0) ? L" pressed" : L" released";
        Print(state);
        return 0;
    }
    if (verb == "window") {
        RECT rect;
        ::GetWindowRect(main, &rect);
        PrintRect(rect);
        return 0;
    }
    if (verb == "resize") {
        return ::SetWindowPos(main, nullptr, 0, 0, arg(2), arg(3), SWP_NOMOVE | SWP_NOZORDER) ? 0 : 1;
    }
    if (verb == "toolpoint") {
        HWND tools = ChildOfClass(main, TOOLBARCLASSNAMEW);
        const LRESULT index = ::SendMessageW(tools, TB_COMMANDTOINDEX, arg(2), 0);
        PrintMiddle(tools, RemoteRect(tools, TB_GETITEMRECT, static_cast<WPARAM>(index)));
        return 0;
    }
    if (verb == "status") {
        HWND status = ChildOfClass(main, STATUSCLASSNAMEW);
        RemoteBuffer remote(status, 2048);
        ::SendMessageW(status, SB_GETTEXTW, arg(2), reinterpret_cast<LPARAM>(remote.At(0)));
        wchar_t text[1024] = {};
        remote.Read(0, text, sizeof text - sizeof(wchar_t));
        Print(text);
        return 0;
    }
    if (argc < 3) return 2;
    HWND pane = Pane(argv[2]);
    if (!pane) return 1;
    if (verb == "rows") {
        Print(std::to_wstring(::SendMessageW(pane, LVM_GETITEMCOUNT, 0, 0)));
        return 0;
    }
    if (verb == "text") {
        Print(CellText(pane, arg(3), arg(4)));
        return 0;
    }
    if (verb == "select") {
        SetRowState(pane, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (int i = 3; i < argc; ++i) SetRowState(pane, std::atoi(argv[i]), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        return 0;
    }
    if (verb == "rowpoint") {
        PrintMiddle(pane, RemoteRect(pane, LVM_GETITEMRECT, static_cast<WPARAM>(arg(3)),
                                     RECT{LVIR_LABEL, 0, 0, 0}));
        return 0;
    }
    if (verb == "rect") {
        RECT rect;
        ::GetWindowRect(pane, &rect);
        ::MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
        PrintRect(rect);
        return 0;
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = Run(argc, argv);
    std::fflush(stdout);
    return status;
}
