#include "ui/WindowAddressMap.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "document/VantelDoc.h"
#include "document/dialogs/DialogGetDataItem.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceStrings.h"
#include "ui/UiMessages.h"

WindowAddressMap::WindowAddressMap(VantelDoc& document)
    : document_(document), target_(document), popup_(IDM_ADDRESS_POPUP) {
    AddExtension(&popup_);
}

DWORD WindowAddressMap::Create(Window* parent) {
    if (const DWORD error = ListView::Create(parent, LVS_SHOWSELALWAYS | LVS_OWNERDATA))
        return error;
    const ResourceStrings strings;
    const std::pair<UINT, int> columns[] = {
        {IDS_COL_ADDRESS, 100}, {IDS_COL_VALUE, 100}, {IDS_COL_TYPE, 100}};
    for (int i = 0; i < 3; ++i) InsertColumn(i, strings.Get(columns[i].first), columns[i].second);
    target_.SetWindow(Handle());
    for (uint32_t event : {EventDocumentChanged, EventItemChanged, EventRunState})
        target_.Register(event);
    Synchronise();
    RefreshPopup();
    return 0;
}

int WindowAddressMap::RowOf(uint16_t address) const {
    auto found = std::lower_bound(addresses_.begin(), addresses_.end(), address);
    if (found == addresses_.end() || *found != address) return -1;
    return static_cast<int>(found - addresses_.begin());
}

std::vector<uint16_t> WindowAddressMap::SelectedAddresses() const {
    std::vector<uint16_t> selected;
    for (int row : SelectedRows()) {
        if (row >= 0 && static_cast<size_t>(row) < addresses_.size()) selected.push_back(addresses_[row]);
    }
    return selected;
}

void WindowAddressMap::Synchronise() {
    const std::vector<uint16_t> selected = SelectedAddresses();
    const DataMap map = document_.Settings().datamap.Copy();
    addresses_.clear();
    addresses_.reserve(map.size());
    for (const auto& [address, entry] : map.entries()) addresses_.push_back(address);
    programChange_ = true;
    Select(-1, false);
    ::SendMessageW(Handle(), LVM_SETITEMCOUNT, addresses_.size(), LVSICF_NOSCROLL);
    for (uint16_t address : selected) {
        if (const int row = RowOf(address); row >= 0) Select(row, true);
    }
    programChange_ = false;
    ::InvalidateRect(Handle(), nullptr, FALSE);
}

void WindowAddressMap::UpdateRow(uint16_t address) {
    const int row = RowOf(address);
    if (row < 0) return;
    firstChanged_ = firstChanged_ < 0 ? row : std::min(firstChanged_, row);
    lastChanged_ = std::max(lastChanged_, row);
    // A redraw is a trip to the window system; one per burst is enough.
    if (!redrawPending_) redrawPending_ = ::PostMessageW(Handle(), MessagePaneFlush, 0, 0) != FALSE;
    if (!redrawPending_) RedrawChangedRows();
}

void WindowAddressMap::RedrawChangedRows() {
    redrawPending_ = false;
    if (firstChanged_ < 0) return;
    // Rows out of view are drawn with their newest value when they come in.
    const int top = static_cast<int>(::SendMessageW(Handle(), LVM_GETTOPINDEX, 0, 0));
    const int shown = static_cast<int>(::SendMessageW(Handle(), LVM_GETCOUNTPERPAGE, 0, 0));
    const int first = std::max(firstChanged_, top);
    const int last = std::min(lastChanged_, top + shown);
    firstChanged_ = lastChanged_ = -1;
    if (first <= last) ::SendMessageW(Handle(), LVM_REDRAWITEMS, first, last);
}

std::wstring WindowAddressMap::CellText(size_t row, int column) const {
    if (row >= addresses_.size()) return std::wstring();
    const uint16_t address = addresses_[row];
    if (column == 0) return std::to_wstring(address);
    const std::optional<DataItem> item = document_.Settings().datamap.Find(address);
    // An address another action removed keeps its row until the next
    // synchronisation, without a value.
    if (!item) return std::wstring();
    if (column == 1) {
        wchar_t text[256];
        item->FormatText(text, 256);
        return text;
    }
    if (column == 2) return DataItem::TypeName(item->type);
    return std::wstring();
}

bool WindowAddressMap::DeleteSelected() {
    // The data map keeps its shape while a worker polls into it.
    if (document_.IsPolling()) return false;
    const std::vector<uint16_t> selected = SelectedAddresses();
    if (selected.empty()) return false;
    const std::wstring question =
        L"Delete " + std::to_wstring(selected.size()) + L" addresses. Are you sure?";
    if (::MessageBoxW(Handle(), question.c_str(), L"Delete Addresses", MB_YESNO) != IDYES)
        return false;
    for (uint16_t address : selected) {
        if (document_.Settings().datamap.Erase(address)) document_.SetModified(true);
    }
    Synchronise();
    return true;
}

void WindowAddressMap::EnterValue() {
    const int row = FirstSelected();
    if (row < 0 || static_cast<size_t>(row) >= addresses_.size()) return;
    const uint16_t address = addresses_[row];
    SharedDataMap& datamap = document_.Settings().datamap;
    const std::optional<DataItem> current = datamap.Find(address);
    if (!current) return;
    wchar_t prompt[32];
    std::swprintf(prompt, 32, L"Address %d:", static_cast<int>(address));
    // The value in full, as the map shows it: OK without an edit must store
    // the same value again, not a rounded one.
    const std::wstring shown = current->FormatText();
    DialogGetDataItem dialog(current->type, prompt, shown);
    if (dialog.Show(this) != DialogGetDataItem::kOk) return;
    // An untouched text stores nothing: fifteen digits do not give every
    // double back exactly.
    if (dialog.Text() != shown) {
        DataItem entered(current->type);
        if (!entered.SetFromText(dialog.Text())) return;
        if (datamap.UpdateItem(address, entered)) document_.SetModified(true);
    }
    UpdateRow(address);
    document_.Send(&target_, EventItemChanged, address);
}

void WindowAddressMap::RefreshPopup() {
    const bool running = document_.IsPolling();
    popup_.Enable(ID_ADD_ADDRESSES, !running);
    popup_.Enable(ID_DELETE_ADDRESSES, !running && SelectedCount() > 0);
}

LRESULT WindowAddressMap::OnReflectedNotify(UINT code, NMHDR* header) {
    switch (code) {
        case LVN_GETDISPINFOW:
            AnswerTextRequest(header,
                              [this](size_t row, int column) { return CellText(row, column); });
            return 1;
        case LVN_ITEMCHANGED:
            if (!programChange_) RefreshPopup();
            return 1;
        case NM_DBLCLK:
            EnterValue();
            return 1;
        default:
            return 0;
    }
}

LRESULT WindowAddressMap::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (target_.HandleMessage(msg, wParam)) return 1;
    switch (msg) {
        case EventDocumentChanged:
            Synchronise();
            return 1;
        case EventItemChanged:
            UpdateRow(static_cast<uint16_t>(wParam));
            return 1;
        case EventRunState:
        case EventRunEnded:
            RefreshPopup();
            return 1;
        case MessagePaneFlush:
            RedrawChangedRows();
            return 1;
        case WM_CONTEXTMENU:
            // A run may have ended by itself since the state was last shown.
            RefreshPopup();
            break;
        case WM_DESTROY:
            target_.SetWindow(nullptr);
            break;
        default:
            break;
    }
    return ListView::WindowProc(hwnd, msg, wParam, lParam);
}
