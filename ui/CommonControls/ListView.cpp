#include "ui/CommonControls/ListView.h"

#include <commctrl.h>

namespace CommonControls {

DWORD ListView::Create(Window* parent, DWORD extraStyle, uint16_t flags) {
    const DWORD error = CreateControl(parent, WC_LISTVIEWW, WS_VISIBLE | WS_BORDER | WS_TABSTOP |
                                                                LVS_REPORT | extraStyle,
                                      flags, 0);
    if (error) return error;
    ListView_SetExtendedListViewStyle(Handle(), LVS_EX_FULLROWSELECT);
    return 0;
}

bool ListView::InsertColumn(int index, const std::wstring& text, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    return ::SendMessageW(Handle(), LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) !=
           -1;
}

int ListView::InsertRow(int index, const std::wstring& text, LPARAM data) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.lParam = data;
    return static_cast<int>(
        ::SendMessageW(Handle(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetText(int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    return ::SendMessageW(Handle(), LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

std::wstring ListView::Text(int row, int column) const {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    ::SendMessageW(Handle(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return buffer;
}

LPARAM ListView::Data(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!::SendMessageW(Handle(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return item.lParam;
}

bool ListView::DeleteRow(int row) { return ::SendMessageW(Handle(), LVM_DELETEITEM, row, 0) != 0; }

void ListView::DeleteAll() { ::SendMessageW(Handle(), LVM_DELETEALLITEMS, 0, 0); }

int ListView::RowCount() const {
    return static_cast<int>(::SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0));
}

std::vector<int> ListView::SelectedRows() const {
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(
                ::SendMessageW(Handle(), LVM_GETNEXTITEM, row, MAKELPARAM(LVNI_SELECTED, 0)))) !=
           -1) {
        rows.push_back(row);
    }
    return rows;
}

std::vector<LPARAM> ListView::SelectedData() const {
    std::vector<LPARAM> data;
    for (int row : SelectedRows()) data.push_back(Data(row));
    return data;
}

int ListView::SelectedCount() const {
    return static_cast<int>(::SendMessageW(Handle(), LVM_GETSELECTEDCOUNT, 0, 0));
}

int ListView::FirstSelected() const {
    return static_cast<int>(
        ::SendMessageW(Handle(), LVM_GETNEXTITEM, -1, MAKELPARAM(LVNI_SELECTED, 0)));
}

void ListView::Select(int row, bool selected) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    ::SendMessageW(Handle(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void ListView::EnsureVisible(int row) { ::SendMessageW(Handle(), LVM_ENSUREVISIBLE, row, FALSE); }

}  // namespace CommonControls
