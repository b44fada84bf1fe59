#include "document/dialogs/DialogGetDataItem.h"

#include "resources/ResourceIds.h"
#include "ui/ResourceStrings.h"

DialogGetDataItem::DialogGetDataItem(DataItem::Type type, std::wstring prompt, std::wstring text)
    : prompt_(std::move(prompt)), text_(std::move(text)), edit_(type) {}

bool DialogGetDataItem::Build() {
    std::wstring title = ResourceStrings().Get(IDS_ENTER_VALUE);
    if (title.empty()) title = L"Enter Value";
    if (!Begin(title, RECT{0, 0, 199, 61})) return false;
    AddStatic(prompt_, RECT{7, 7, 192, 16}, SS_LEFT | SS_NOPREFIX);
    AddControl(L"Edit", L"", kEditId, RECT{7, 19, 192, 32},
               WS_BORDER | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL);
    AddButton(L"OK", IDOK, RECT{88, 40, 137, 53}, true);
    AddButton(L"Cancel", IDCANCEL, RECT{143, 40, 192, 53}, false);
    return true;
}

INT_PTR DialogGetDataItem::Show(Window* owner) {
    if (!Build()) {
        ::SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    return RunTemplate(owner);
}

DWORD DialogGetDataItem::OnInitDialog() {
    edit_.SetText(text_);
    if (const DWORD error = edit_.Attach(this, kEditId)) return error;
    edit_.SetLimit(kMaxCharacters);
    ::SendMessageW(edit_.Handle(), EM_SETSEL, 0, -1);
    EnableOk(edit_.Valid());
    return 0;
}

bool DialogGetDataItem::OnControlCommand(HWND, UINT code, UINT id) {
    if (id == kEditId && code == EN_CHANGE) EnableOk(edit_.Valid());
    return false;
}

void DialogGetDataItem::OnOK() { text_ = edit_.GetText(); }
