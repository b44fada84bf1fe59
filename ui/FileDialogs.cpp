#include "ui/FileDialogs.h"

#include <windows.h>
// The shell's interfaces need the types of windows.h.
#include <shobjidl.h>

#include "ui/Window.h"

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
class Com {
  public:
    ~Com() {
        if (p) p->Release();
    }
    T* p = nullptr;
};

std::optional<std::wstring> Ask(REFCLSID kind, Window* owner, bool save) {
    Com<IFileDialog> dialog;
    if (FAILED(::CoCreateInstance(kind, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.p))))
        return std::nullopt;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.p->GetOptions(&options);
    dialog.p->SetOptions(options | FOS_FORCEFILESYSTEM);
    const COMDLG_FILTERSPEC types[] = {{L"Kestrom Master Files", L"*.xmb"},
                                       {L"All Files", L"*.*"}};
    dialog.p->SetFileTypes(2, types);
    dialog.p->SetFileTypeIndex(1);
    if (save) dialog.p->SetDefaultExtension(L"xmb");
    HWND parent = owner ? owner->Handle() : nullptr;
    if (FAILED(dialog.p->Show(parent))) return std::nullopt;
    Com<IShellItem> item;
    if (FAILED(dialog.p->GetResult(&item.p))) return std::nullopt;
    wchar_t* path = nullptr;
    if (FAILED(item.p->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return std::nullopt;
    std::wstring result = path;
    ::CoTaskMemFree(path);
    return result;
}

}  // namespace

std::optional<std::wstring> AskOpenPath(Window* owner) {
    return Ask(CLSID_FileOpenDialog, owner, false);
}

std::optional<std::wstring> AskSavePath(Window* owner) {
    return Ask(CLSID_FileSaveDialog, owner, true);
}
