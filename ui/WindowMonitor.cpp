#include "ui/WindowMonitor.h"

#include <commctrl.h>

#include "document/FileHandler.h"
#include "document/VantelDoc.h"
#include "document/dialogs/DialogAddAddresses.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "protocol/PollLimits.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceStrings.h"
#include "ui/UiMessages.h"

namespace {

std::wstring LogFilePath() {
    std::wstring path;
    MakeDataPath(SpecialFolder::Documents, L"Kestrom Master", L"log", nullptr, path);
    return path;
}

// A packet whose addresses can be added to the address map: its function
// carries both a start and a count in this direction (requests of 1 to 4,
// 15, 16 and 65 to 68, replies of 15 and 16).
bool Addable(const ModbusPacket* packet) {
    if (!packet) return false;
    const ModbusFunction* function = FindFunction(packet->function);
    if (!function) return false;
    const auto& fields = packet->isRequest ? function->requestFields : function->replyFields;
    bool start = false, count = false;
    for (PacketField field : fields) {
        start |= field == PacketField::start;
        count |= field == PacketField::count;
    }
    return start && count;
}

// The layout of the packet's items: its preset's when it has one (a serial
// reply's step and type are left unset by the parser, its preset is not),
// else what a new poll of its function would take.
const FormatPreset* LayoutOf(const ModbusPacket& packet) {
    if (packet.preset) return packet.preset;
    return FindPreset(PresetAfterFunctionChange(packet.function, PresetId::Bit));
}

}  // namespace

WindowMonitor::WindowMonitor(VantelDoc& document)
    : document_(document), target_(document), popup_(IDM_MONITOR_POPUP), log_(LogFilePath()) {
    AddExtension(&popup_);
}

WindowMonitor::~WindowMonitor() = default;

void WindowMonitor::LoadWords() {
    const ResourceStrings strings;
    words_.poll = strings.Get(IDS_POLL);
    words_.reply = strings.Get(IDS_REPLY);
    words_.with = strings.Get(IDS_WITH);
    words_.ofData = strings.Get(IDS_OF_DATA);
    words_.to = strings.Get(IDS_TO);
    words_.unknown = strings.Get(IDS_UNKNOWN);
    words_.attemptingToConnect = strings.Get(IDS_ATTEMPTING);
    words_.connected = strings.Get(IDS_CONNECTED);
    words_.connectionLost = strings.Get(IDS_CONNECTION_LOST);
    words_.connectionFailed = strings.Get(IDS_CONNECTION_FAILED);
    words_.connectionClosed = strings.Get(IDS_CONNECTION_CLOSED);
    words_.timeoutRetrying = strings.Get(IDS_TIMEOUT_RETRY);
    words_.timeoutGivingUp = strings.Get(IDS_TIMEOUT_GIVE_UP);
}

DWORD WindowMonitor::Create(Window* parent) {
    LoadWords();
    if (const DWORD error = ListView::Create(parent, LVS_SHOWSELALWAYS | LVS_OWNERDATA))
        return error;
    const ResourceStrings strings;
    const std::pair<UINT, int> columns[] = {
        {IDS_COL_TIME, 120}, {IDS_COL_DIR, 30}, {IDS_COL_DESCRIPTION, 300}, {IDS_COL_CONTENT, 500}};
    for (int i = 0; i < 4; ++i) InsertColumn(i, strings.Get(columns[i].first), columns[i].second);
    RefreshPopup();
    target_.SetWindow(Handle());
    for (uint32_t event : {EventConnectionState, EventPacketSent, EventPacketReceived,
                           EventTimeoutRetry, EventTimeoutGiveUp})
        target_.Register(event);
    return 0;
}

void WindowMonitor::SetTrackLatest(bool on) {
    trackLatest_ = on;
    if (on && Handle() && !rows_.empty()) {
        programChange_ = true;
        EnsureVisible(static_cast<int>(rows_.size()) - 1);
        programChange_ = false;
    }
}

const ModbusPacket* WindowMonitor::PacketAt(size_t row) const {
    return row < rows_.size() ? rows_[row].packet.get() : nullptr;
}

TrafficRow WindowMonitor::TextsOf(const Row& row) const {
    switch (row.kind) {
        case Kind::Sent:
            return SentRow(*row.packet, words_);
        case Kind::Received:
            return ReceivedRow(*row.packet, words_);
        case Kind::State:
            return TrafficRow{L"", ConnectionStateText(row.state, words_).value_or(L""), L""};
        case Kind::Retry:
            return TimeoutRetryRow(words_);
        case Kind::GiveUp:
            return TimeoutGiveUpRow(words_);
    }
    return TrafficRow{};
}

std::wstring WindowMonitor::CellText(size_t index, int column) const {
    if (index >= rows_.size()) return std::wstring();
    const Row& row = rows_[index];
    if (column == 0)
        return TimeText(row.time.wHour, row.time.wMinute, row.time.wSecond, row.time.wMilliseconds);
    const TrafficRow texts = TextsOf(row);
    switch (column) {
        case 1:
            return texts.dir;
        case 2:
            return texts.description;
        case 3:
            return texts.content;
        default:
            return std::wstring();
    }
}

void WindowMonitor::AddRow(Kind kind, uint32_t state, PacketPtr packet) {
    Row row{{}, kind, state, std::move(packet)};
    ::GetLocalTime(&row.time);
    if (logging_) {
        const TrafficRow texts = TextsOf(row);
        const std::wstring time = TimeText(row.time.wHour, row.time.wMinute, row.time.wSecond,
                                           row.time.wMilliseconds);
        // A log that cannot be written costs its line, never the row.
        log_.Append(LogLine(time, texts));
    }
    rows_.push_back(std::move(row));
    ++rowsAdded_;
    if (rows_.size() > kRowLimit) {
        rows_.pop_front();
        ++dropped_;
    }
    RequestFlush();
}

void WindowMonitor::RequestFlush() {
    if (flushPending_ || !Handle()) return;
    flushPending_ = ::PostMessageW(Handle(), MessagePaneFlush, 0, 0) != FALSE;
    // A full queue: the next event asks again.
}

void WindowMonitor::KeepSelectionOnDrop(size_t dropped) {
    // The list's rows all moved up by the rows dropped: the selection and the
    // focus follow the rows they were on, and leave with the dropped ones.
    std::vector<int> selected = SelectedRows();
    const int focus = static_cast<int>(
        ::SendMessageW(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (selected.empty() && focus < 0) return;
    programChange_ = true;
    Select(-1, false);
    for (int row : selected) {
        if (row >= static_cast<int>(dropped)) Select(row - static_cast<int>(dropped), true);
    }
    if (focus >= static_cast<int>(dropped)) {
        LVITEMW item{};
        item.stateMask = LVIS_FOCUSED;
        item.state = LVIS_FOCUSED;
        ::SendMessageW(Handle(), LVM_SETITEMSTATE, focus - dropped, reinterpret_cast<LPARAM>(&item));
    }
    programChange_ = false;
}

void WindowMonitor::Flush() {
    flushPending_ = false;
    if (!Handle()) return;
    const size_t dropped = dropped_;
    dropped_ = 0;
    if (dropped > 0) KeepSelectionOnDrop(std::min(dropped, kRowLimit));
    // Rows dropped from the top change every row's text; rows only added
    // leave the shown ones alone.
    ::SendMessageW(Handle(), LVM_SETITEMCOUNT, rows_.size(),
                   LVSICF_NOSCROLL | (dropped ? 0 : LVSICF_NOINVALIDATEALL));
    if (dropped) ::InvalidateRect(Handle(), nullptr, FALSE);
    if (trackLatest_ && !rows_.empty()) {
        programChange_ = true;
        EnsureVisible(static_cast<int>(rows_.size()) - 1);
        programChange_ = false;
    }
}

void WindowMonitor::ScrolledByUser() {
    if (programChange_ || !trackLatest_) return;
    trackLatest_ = false;
    document_.Send(&target_, EventCommandState, 0);
}

void WindowMonitor::Selected(int row) {
    const ModbusPacket* packet = row >= 0 ? PacketAt(static_cast<size_t>(row)) : nullptr;
    document_.Send(&target_, EventPacketSelected, reinterpret_cast<uintptr_t>(packet));
    RefreshPopup();
}

void WindowMonitor::RefreshPopup() {
    const int row = FirstSelected();
    const ModbusPacket* packet = row >= 0 ? PacketAt(static_cast<size_t>(row)) : nullptr;
    // Not while a master runs: the data map must keep its shape under it.
    popup_.Enable(ID_ADD_POLLED_ADDRESSES, Addable(packet) && !document_.IsPolling());
}

LRESULT WindowMonitor::OnReflectedNotify(UINT code, NMHDR* header) {
    switch (code) {
        case LVN_GETDISPINFOW:
            AnswerTextRequest(header,
                              [this](size_t row, int column) { return CellText(row, column); });
            return 1;
        case LVN_ITEMCHANGED: {
            auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            const bool nowSelected = (change->uNewState & LVIS_SELECTED) != 0;
            const bool wasSelected = (change->uOldState & LVIS_SELECTED) != 0;
            if (!programChange_ && (change->uChanged & LVIF_STATE) && nowSelected && !wasSelected)
                Selected(change->iItem);
            return 1;
        }
        case LVN_BEGINSCROLL:
            ScrolledByUser();
            return 1;
        default:
            return 0;
    }
}

bool WindowMonitor::OnCommand(UINT id) {
    if (id != ID_ADD_POLLED_ADDRESSES) return false;
    AddPolledAddresses();
    return true;
}

void WindowMonitor::AddPolledAddresses() {
    // The data map must not change shape under a running worker.
    if (document_.IsPolling()) return;
    // The packets are copied out first: a row may leave while a dialog is
    // open (a run started elsewhere), taking its packet with it.
    struct Range {
        uint16_t first;
        uint32_t last;
        uint16_t step;
        DataItem::Type type;
    };
    std::vector<Range> ranges;
    for (int row : SelectedRows()) {
        const ModbusPacket* packet = PacketAt(static_cast<size_t>(row));
        if (!Addable(packet)) continue;
        const FormatPreset* layout = LayoutOf(*packet);
        const uint16_t step = layout ? layout->step : 1;
        const DataItem::Type type = layout ? TypeForPreset(layout->id) : DataItem::UnsignedShort;
        const uint32_t count = packet->count ? packet->count : 1;
        ranges.push_back(Range{packet->start, packet->start + (count - 1) * step, step, type});
    }
    for (const Range& range : ranges) {
        const uint16_t last = static_cast<uint16_t>(std::min<uint32_t>(range.last, 0xFFFF));
        DialogAddAddresses dialog(AddressRangeForm::ForRange(range.first, last, range.step, range.type));
        if (dialog.Run(this, IDD_ADD_ADDRESSES) != DialogAddAddresses::kOk) continue;
        const AddressRangeForm& form = dialog.Form();
        document_.AddAddresses(form.First(), form.Last(), form.Step(), range.type);
        document_.Send(&target_, EventDocumentChanged, 0);
    }
}

LRESULT WindowMonitor::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (target_.HandleMessage(msg, wParam)) return 1;
    switch (msg) {
        case EventConnectionState:
            if (wParam <= 4) AddRow(Kind::State, static_cast<uint32_t>(wParam), nullptr);
            return 1;
        case EventPacketSent:
        case EventPacketReceived: {
            PacketPtr packet(reinterpret_cast<ModbusPacket*>(wParam));
            if (packet)
                AddRow(msg == EventPacketSent ? Kind::Sent : Kind::Received, 0, std::move(packet));
            return 1;
        }
        case EventTimeoutRetry:
            AddRow(Kind::Retry, 0, nullptr);
            return 1;
        case EventTimeoutGiveUp:
            AddRow(Kind::GiveUp, 0, nullptr);
            return 1;
        case MessagePaneFlush:
            Flush();
            return 1;
        case WM_CONTEXTMENU:
            // A run may have started or ended since the row was selected.
            RefreshPopup();
            break;
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
            // The user moves through the list: whatever the list view tells
            // of it, the newest row is no longer to be kept in view.
            ScrolledByUser();
            break;
        case WM_DESTROY:
            // Events still waiting for the window go, packets included.
            target_.SetWindow(nullptr);
            break;
        default:
            break;
    }
    return ListView::WindowProc(hwnd, msg, wParam, lParam);
}
