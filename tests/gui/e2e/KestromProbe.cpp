// kestrom_probe.dll: loaded into KestromMaster.exe by the driver's message
// hook, it reads what only the program's own process can read on Wine (its
// menus) and hands the answer back through shared memory.
#include <windows.h>

#include <cwchar>

namespace {

constexpr wchar_t kQuery[] = L"KestromProbeMenuState";
constexpr wchar_t kMapping[] = L"KestromProbeAnswer";
constexpr wchar_t kReady[] = L"KestromProbeReady";
constexpr size_t kAnswerCharacters = 1024;

void Answer(const wchar_t* text) {
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, kMapping);
    if (!mapping) return;
    if (auto* view = static_cast<wchar_t*>(::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0))) {
        lstrcpynW(view, text, kAnswerCharacters);
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
    if (HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, kReady)) {
        ::SetEvent(ready);
        ::CloseHandle(ready);
    }
}

void AnswerMenuState(HMENU menu, UINT id) {
    const UINT state = menu ? ::GetMenuState(menu, id, MF_BYCOMMAND) : static_cast<UINT>(-1);
    if (state == static_cast<UINT>(-1)) {
        Answer(L"missing");
        return;
    }
    wchar_t text[512] = {};
    ::GetMenuStringW(menu, id, text, 512, MF_BYCOMMAND);
    wchar_t answer[kAnswerCharacters];
    std::swprintf(answer, kAnswerCharacters, L"%ls %ls %ls",
                  (state & (MF_GRAYED | MF_DISABLED)) ? L"grayed" : L"enabled",
                  (state & MF_CHECKED) ? L"checked" : L"unchecked", text);
    Answer(answer);
}

}  // namespace

// The WH_GETMESSAGE hook: a posted query names a command id (wParam) of
// the window's menu bar.
extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT query = ::RegisterWindowMessageW(kQuery);
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg && msg->message == query)
        AnswerMenuState(::GetMenu(msg->hwnd), static_cast<UINT>(msg->wParam));
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
