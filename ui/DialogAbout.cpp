#include "ui/DialogAbout.h"

#include <cwchar>
#include <vector>

#include "resources/ResourceIds.h"
#include "ui/ProgramVersion.h"

std::wstring DialogAbout::Title() {
    const std::optional<ProgramVersion> version = ReadProgramVersion();
    if (!version) return L"Kestrom Master";
    wchar_t text[64];
    std::swprintf(text, 64, L"Kestrom Master v%u.%ur%u", version->major, version->minor,
                  version->build);
    return text;
}

bool DialogAbout::Build() {
    if (!Begin(L"About", RECT{0, 0, 199, 39})) return false;
    AddControl(L"Static", L"#" + std::to_wstring(IDI_PROGRAM), -1, RECT{11, 11, 29, 29},
               SS_ICON);
    AddStatic(Title(), RECT{40, 10, 139, 19}, SS_LEFT | SS_NOPREFIX);
    AddButton(L"OK", IDOK, RECT{145, 8, 194, 19}, true);
    AddControl(LinkControl::kClassName, link_, kLinkId, RECT{40, 20, 140, 30}, WS_TABSTOP);
    return true;
}

INT_PTR DialogAbout::Show(Window* owner) {
    LinkControl::RegisterClass();
    if (!Build()) {
        ::SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    return RunTemplate(owner);
}

DWORD DialogAbout::OnInitDialog() { return linkControl_.Attach(this, kLinkId); }
