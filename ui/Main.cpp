// KestromMaster.exe: the Windows program.
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>
#include <objbase.h>

#include "ui/CommandLinePath.h"
#include "ui/ModuleInstance.h"
#include "ui/ShowError.h"
#include "ui/WindowMain.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    SetModuleInstance(instance);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES |
                                                       ICC_INTERNET_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The shell's file dialogs are COM objects of this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int exitCode = 0;
    {
        WindowMain window;
        if (const DWORD error = window.CreateAndShow()) {
            ShowError(error);
        } else {
            if (const std::wstring path = CommandLinePath(commandLine); !path.empty())
                window.OpenFile(path);
            // No accelerators: the menus are reached through their mnemonics.
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            exitCode = static_cast<int>(msg.wParam);
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
