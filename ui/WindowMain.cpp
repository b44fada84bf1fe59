#include "ui/WindowMain.h"

#include <commctrl.h>

#include <algorithm>

#include "document/dialogs/DialogAddAddresses.h"
#include "document/dialogs/DialogConnection.h"
#include "document/dialogs/DialogPoll.h"
#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "resources/ResourceIds.h"
#include "ui/DialogAbout.h"
#include "ui/FileDialogs.h"
#include "ui/ModuleInstance.h"
#include "ui/ResourceStrings.h"
#include "ui/ShowError.h"
#include "ui/UiMessages.h"

namespace {

constexpr wchar_t kTitle[] = L"Kestrom Master";
// The maker's web address, which the about box shows and opens when clicked.
constexpr wchar_t kHomepage[] = L"https://www.kestrom.com";
constexpr int kStatusRightWidth = 150;

const ResourceStrings& Strings() {
    static const ResourceStrings strings;
    return strings;
}

}  // namespace

WindowMain::WindowMain(SettingsFile settings)
    : status_({kStatusRightWidth}, Strings().Get(IDS_WELCOME), true),
      menu_(IDM_MAIN),
      pollPopup_(IDM_POLL_POPUP),
      map_(document_),
      monitor_(document_),
      breakdown_(document_),
      splitter_(MessageSplitterLayout, 500),
      settings_(std::move(settings)),
      web_(document_),
      dde_(document_),
      target_(document_) {
    toolbar_.AddButton(ID_COMMS_PARAMETERS, Strings().Get(IDS_TOOL_CONNECTION), IDI_CONNECTION);
    toolbar_.AddButton(ID_RUN, Strings().Get(IDS_TOOL_RUN), IDI_RUN);
    for (WindowExt* extension : std::initializer_list<WindowExt*>{&menu_, &toolbar_, &splitter_, &status_})
        AddExtension(extension);
    polls_.AddExtension(&pollPopup_);
}

WindowMain::~WindowMain() {
    // The workers and the web server stop while the panes they tell still
    // exist.
    document_.StopRun();
    web_.StopWeb();
    document_.SetRecentFileView(nullptr);
}

DWORD WindowMain::CreateAndShow(const wchar_t*, int) {
    const DWORD error = Create(
        nullptr, kTitle, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
        WindowFlags::Paint | WindowFlags::ExtensionLayout | WindowFlags::QuitOnDestroy,
        [](WNDCLASSEXW& wc) {
            wc.hIcon = ::LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(IDI_PROGRAM));
            wc.hIconSm = static_cast<HICON>(::LoadImageW(
                ModuleInstance(), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
        });
    if (error) return error;
    if (const DWORD paneError = CreatePanes()) return paneError;
    target_.SetWindow(Handle());
    for (uint32_t event : {EventItemChanged, EventConnectionState, EventCommandState, EventRunEnded})
        target_.Register(event);
    document_.SetRecentFileView(this);
    ReadSettings();
    dde_.Start();
    StartWebOnDocumentPort();
    RefreshCommandState();
    ::ShowWindow(Handle(), SW_SHOW);
    // The first layout, now that the settings placed the splitter.
    RECT client;
    ::GetClientRect(Handle(), &client);
    ::SendMessageW(Handle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    return 0;
}

DWORD WindowMain::CreatePanes() {
    if (const DWORD error = polls_.Create(this, 0)) return error;
    const std::pair<UINT, int> columns[] = {{IDS_COL_FUNCTION, 200},
                                            {IDS_COL_ADDRESS_START, 100},
                                            {IDS_COL_ITEM_COUNT, 100},
                                            {IDS_COL_NUMBER_FORMAT, 200}};
    for (int i = 0; i < 4; ++i) polls_.InsertColumn(i, Strings().Get(columns[i].first), columns[i].second);
    if (const DWORD error = map_.Create(this)) return error;
    map_.RefreshPopup();
    if (const DWORD error = monitor_.Create(this)) return error;
    if (const DWORD error = breakdown_.Create(this)) return error;
    return 0;
}

void WindowMain::ReadSettings() {
    // A port from the settings file is the machine's choice, not an edit of
    // the project: it does not mark the document modified.
    if (const std::optional<int> port = settings_.WebPort()) document_.SetWebPort(*port);
    document_.SetRecentFile(settings_.RecentFile());
    RECT window;
    ::GetWindowRect(Handle(), &window);
    const int widest = std::max(0, static_cast<int>(window.right - window.left) - 2);
    splitter_.SetLeft(std::min(std::max(0, settings_.Splitter()), widest));
}

void WindowMain::ShowRecentFile(const std::wstring& path) {
    const std::wstring text = path.empty() ? L"<recent file>" : path;
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(text.c_str());
    ::SetMenuItemInfoW(menu_.Handle(), ID_RECENT_FILE, FALSE, &item);
    menu_.Enable(ID_RECENT_FILE, !path.empty() && !Running());
    if (Handle()) ::DrawMenuBar(Handle());
}

void WindowMain::Layout(const RECT* panes) {
    const RECT& left = panes[0];
    const RECT& right = panes[1];
    const int leftWidth = left.right - left.left + 1;
    const int height = left.bottom - left.top + 1;
    const int rightWidth = right.right - right.left + 1;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    ::SetWindowPos(polls_.Handle(), nullptr, left.left, left.top, leftWidth, height / 3, flags);
    ::SetWindowPos(map_.Handle(), nullptr, left.left, left.top + height / 3, leftWidth,
                   height - height / 3, flags);
    ::SetWindowPos(monitor_.Handle(), nullptr, right.left, right.top, rightWidth, height / 2, flags);
    ::SetWindowPos(breakdown_.Handle(), nullptr, right.left, right.top + height / 2, rightWidth,
                   height - height / 2, flags);
}

// ---- State shown in menus, tool bar and status bar

std::vector<size_t> WindowMain::SelectedPolls() const {
    std::vector<size_t> indices;
    for (LPARAM data : polls_.SelectedData()) indices.push_back(static_cast<size_t>(data));
    return indices;
}

void WindowMain::RefreshCommandState() {
    const bool r = Running();
    const std::vector<int> selected = polls_.SelectedRows();
    const size_t n = selected.size();
    const int rows = polls_.RowCount();
    const bool first = n == 1 && selected[0] == 0;
    const bool last = n == 1 && selected[0] == rows - 1;
    const bool usable = document_.IsSerial()
                            ? document_.SerialLine().comport >= 1
                            : !document_.EthernetMaster().host.empty() && document_.EthernetMaster().port != 0;

    menu_.Enable(ID_COMMS_PARAMETERS, !r);
    menu_.Enable(ID_ADD_POLL, !r);
    menu_.Enable(ID_DELETE_POLL, !r && n >= 1);
    menu_.Check(ID_RUN, r);
    menu_.Enable(ID_RUN, usable);
    menu_.Enable(ID_EDIT_POLL, !r && n >= 1);
    menu_.Check(ID_TRACK_LATEST, monitor_.TrackLatest());
    menu_.Enable(ID_ADD_ADDRESSES, !r);
    menu_.Enable(ID_MOVE_POLL_UP, !r && n == 1 && !first);
    menu_.Enable(ID_MOVE_POLL_DOWN, !r && n == 1 && !last);
    menu_.Check(ID_LOG_TO_FILE, monitor_.Logging());
    // They would swap the poll list and the data map under the worker.
    menu_.Enable(ID_NEW, !r);
    menu_.Enable(ID_OPEN, !r);
    menu_.Enable(ID_RECENT_FILE, !r && !document_.RecentFile().empty());

    pollPopup_.Enable(ID_ADD_POLL, !r);
    pollPopup_.Enable(ID_DELETE_POLL, !r && n >= 1);
    pollPopup_.Enable(ID_EDIT_POLL, !r && n == 1);
    pollPopup_.Enable(ID_ADD_POLLED_ADDRESSES, !r && n == 1);
    pollPopup_.Enable(ID_MOVE_POLL_UP, !r && n == 1 && !first);
    pollPopup_.Enable(ID_MOVE_POLL_DOWN, !r && n == 1 && !last);
    pollPopup_.Enable(ID_DO_POLL, !r && n == 1);

    toolbar_.CheckButton(ID_RUN, r);
    toolbar_.EnableButton(ID_RUN, usable);
    toolbar_.EnableButton(ID_COMMS_PARAMETERS, !r);
    ShowConnection();
    if (Handle()) ::DrawMenuBar(Handle());
}

void WindowMain::ShowConnection() {
    UINT text = IDS_NOT_CONNECTED;
    if (document_.Settings().connected)
        text = IDS_CONNECTED;
    else if (Running())
        text = IDS_CONNECTING;
    status_.SetText(1, Strings().Get(text));
}

void WindowMain::ShowWebState() {
    // A port that cannot be taken is said where the user looks, not lost.
    if (!web_.Error().empty()) status_.SetText(0, web_.Error());
}

void WindowMain::StartWebOnDocumentPort() {
    web_.RestartWeb();
    ShowWebState();
}

void WindowMain::RefreshPollList() {
    polls_.DeleteAll();
    const std::vector<Poll>& polls = document_.Settings().polls;
    for (size_t i = 0; i < polls.size(); ++i) {
        const Poll& poll = polls[i];
        const int row = static_cast<int>(i);
        polls_.InsertRow(row, poll.function ? poll.function->name : L"", static_cast<LPARAM>(i));
        polls_.SetText(row, 1, std::to_wstring(poll.start));
        const bool counted = poll.function && poll.function->RequestHas(PacketField::count);
        polls_.SetText(row, 2, counted ? std::to_wstring(poll.size) : L"");
        const FormatPreset* preset = FindPreset(poll.formatpreset);
        polls_.SetText(row, 3, preset ? preset->name : L"");
    }
    RefreshCommandState();
}

// ---- Commands

bool WindowMain::OnCommand(UINT id) {
    switch (id) {
        case ID_EXIT:
            ::SendMessageW(Handle(), WM_CLOSE, 0, 0);
            return true;
        case ID_COMMS_PARAMETERS:
            EditConnection();
            return true;
        case ID_ADD_POLL:
            AddPoll();
            return true;
        case ID_SAVE:
            Save();
            return true;
        case ID_DELETE_POLL:
            DeletePolls();
            return true;
        case ID_RUN:
            ToggleRun();
            return true;
        case ID_EDIT_POLL:
            EditSelectedPoll();
            return true;
        case ID_TRACK_LATEST:
            monitor_.SetTrackLatest(!monitor_.TrackLatest());
            RefreshCommandState();
            return true;
        case ID_OPEN:
            Open();
            return true;
        case ID_NEW:
            NewDocument();
            return true;
        case ID_RECENT_FILE:
            OpenRecent();
            return true;
        case ID_SAVE_AS:
            SaveAs();
            return true;
        case ID_ADD_ADDRESSES:
            AddAddresses();
            return true;
        case ID_ADD_POLLED_ADDRESSES: {
            const std::vector<size_t> selected = SelectedPolls();
            if (!selected.empty()) AddPolledAddresses(selected.front());
            return true;
        }
        case ID_DELETE_ADDRESSES:
            map_.DeleteSelected();
            return true;
        case ID_MOVE_POLL_UP:
            MovePoll(true);
            return true;
        case ID_MOVE_POLL_DOWN:
            MovePoll(false);
            return true;
        case ID_DO_POLL:
            DoPoll();
            return true;
        case ID_ABOUT:
            About();
            return true;
        case ID_LOG_TO_FILE:
            monitor_.SetLogging(!monitor_.Logging());
            RefreshCommandState();
            return true;
        default:
            return false;
    }
}

bool WindowMain::OnControlCommand(HWND control, UINT, UINT id) {
    if (control != toolbar_.Handle()) return false;
    if (id == ID_RUN) {
        ToggleRun();
        return true;
    }
    if (id == ID_COMMS_PARAMETERS) {
        EditConnection();
        return true;
    }
    return false;
}

LRESULT WindowMain::OnNotify(HWND from, UINT code, NMHDR*) {
    if (from != polls_.Handle()) return 0;
    if (code == NM_DBLCLK) EditSelectedPoll();
    if (code == LVN_ITEMCHANGED) RefreshCommandState();
    return 0;
}

void WindowMain::ToggleRun() {
    if (!Running()) {
        if (document_.StartRun()) document_.Post(EventRunState, 1);
    } else {
        document_.StopRun();
        document_.Post(EventRunState, 0);
    }
    RefreshCommandState();
}

void WindowMain::DoPoll() {
    const std::vector<int> selected = polls_.SelectedRows();
    if (Running() || selected.size() != 1) return;
    document_.StartRun(static_cast<int32_t>(SelectedPolls().front()));
    RefreshCommandState();
}

void WindowMain::EditConnection() {
    // The worker reads the connection settings while it runs.
    if (Running()) return;
    if (!DialogConnection::Edit(this, document_)) return;
    RefreshCommandState();
    StartWebOnDocumentPort();
}

void WindowMain::AddPoll() {
    if (Running()) return;
    DialogPoll dialog{PollForm{}};
    if (dialog.Run(this, IDD_POLL) != DialogPoll::kOk) return;
    const PollForm& form = dialog.Form();
    document_.AddPoll(form.Function(), form.Start(), form.Quantity(), form.preset);
    RefreshPollList();
}

void WindowMain::EditSelectedPoll() {
    if (Running()) return;
    const std::vector<size_t> selected = SelectedPolls();
    const std::vector<Poll>& polls = document_.Settings().polls;
    if (selected.empty() || selected.front() >= polls.size()) return;
    const size_t index = selected.front();
    const Poll before = polls[index];
    DialogPoll dialog{PollForm::ForPoll(before)};
    if (dialog.Run(this, IDD_POLL) != DialogPoll::kOk) return;
    const PollForm& form = dialog.Form();
    if (!document_.EditPoll(index, form.Function(), form.Start(), form.Quantity(), form.preset))
        return;
    const Poll& after = document_.Settings().polls[index];
    // An edit is a change of the set-up like any other: it must not be lost
    // on close.
    if (after.function != before.function || after.start != before.start ||
        after.size != before.size || after.formatpreset != before.formatpreset)
        document_.SetModified(true);
    RefreshPollList();
    polls_.Select(static_cast<int>(index), true);
}

void WindowMain::DeletePolls() {
    if (Running()) return;
    if (document_.DeletePolls(SelectedPolls())) RefreshPollList();
}

void WindowMain::MovePoll(bool up) {
    const std::vector<size_t> selected = SelectedPolls();
    if (Running() || selected.size() != 1) return;
    const size_t index = selected.front();
    const bool moved = up ? document_.MovePollUp(index) : document_.MovePollDown(index);
    if (!moved) return;
    RefreshPollList();
    // The poll keeps the selection at its new place.
    polls_.Select(static_cast<int>(up ? index - 1 : index + 1), true);
}

void WindowMain::AddAddresses() {
    if (Running()) return;
    DialogAddAddresses dialog{AddressRangeForm{}};
    if (dialog.Run(this, IDD_ADD_ADDRESSES) != DialogAddAddresses::kOk) return;
    const AddressRangeForm& form = dialog.Form();
    document_.AddAddresses(form.First(), form.Last(), form.Step(), form.type);
    document_.Send(&target_, EventDocumentChanged, 0);
}

void WindowMain::AddPolledAddresses(size_t index) {
    if (Running() || index >= document_.Settings().polls.size()) return;
    const Poll poll = document_.Settings().polls[index];
    const FormatPreset* preset = FindPreset(poll.formatpreset);
    if (!preset) return;
    const uint32_t last = poll.start + (poll.size ? poll.size - 1u : 0u) * preset->step;
    const DataItem::Type type = TypeForPreset(preset->id);
    DialogAddAddresses dialog{AddressRangeForm::ForRange(
        poll.start, static_cast<uint16_t>(std::min<uint32_t>(last, 0xFFFF)), preset->step, type)};
    if (dialog.Run(this, IDD_ADD_ADDRESSES) != DialogAddAddresses::kOk) return;
    const AddressRangeForm& form = dialog.Form();
    // The poll's type, whatever the dialog showed: the values come as the
    // poll decodes them.
    document_.AddAddresses(form.First(), form.Last(), form.Step(), type);
    document_.Send(&target_, EventDocumentChanged, 0);
}

void WindowMain::NewDocument() {
    if (Running() || !SaveChangesFirst()) return;
    document_.New();
    RefreshPollList();
}

bool WindowMain::OpenFile(const std::wstring& path) {
    if (Running()) return false;
    ProjectLoadResult result;
    const int32_t listening = document_.WebPort();
    if (!document_.Open(path, result)) {
        std::wstring text = result.error;
        if (result.line > 0) text += L" (line " + std::to_wstring(result.line) + L")";
        ::MessageBoxW(Handle(), text.c_str(), kTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    settings_.SetRecentFile(path);
    RefreshPollList();
    // A port saved in the project takes effect now, as after the connection
    // dialog.
    if (document_.WebPort() != listening) StartWebOnDocumentPort();
    return true;
}

void WindowMain::Open() {
    if (Running() || !SaveChangesFirst()) return;
    const std::optional<std::wstring> path = AskOpenPath(this);
    if (path) OpenFile(*path);
}

void WindowMain::OpenRecent() {
    if (Running() || document_.RecentFile().empty() || !SaveChangesFirst()) return;
    OpenFile(document_.RecentFile());
}

bool WindowMain::SaveOrExplain(const std::wstring& path) {
    if (document_.Save(path)) return true;
    const std::wstring text = L"Can't save file : " + path;
    ::MessageBoxW(Handle(), text.c_str(), kTitle, MB_OK | MB_ICONERROR);
    return false;
}

bool WindowMain::Save() {
    if (document_.Path().empty()) return SaveAs();
    if (document_.Save(document_.Path())) return true;
    // The old file is still there; choose another place.
    return SaveAs();
}

bool WindowMain::SaveAs() {
    const std::optional<std::wstring> path = AskSavePath(this);
    if (!path) return false;
    return SaveOrExplain(FileHandler(*path, L"xmb").Path());
}

bool WindowMain::SaveChangesFirst() {
    if (!document_.IsModified()) return true;
    const int answer = ::MessageBoxW(Handle(), Strings().Get(IDS_SAVE_CHANGES).c_str(), kTitle,
                                     MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDNO) return true;
    if (answer != IDYES) return false;
    return Save();
}

void WindowMain::About() {
    DialogAbout about(kHomepage);
    about.Show(this);
}

void WindowMain::Close() {
    if (!SaveChangesFirst()) return;
    settings_.SetSplitter(splitter_.Left());
    if (!document_.Path().empty()) settings_.SetRecentFile(document_.Path());
    document_.StopRun();
    web_.StopWeb();
    ::DestroyWindow(Handle());
}

LRESULT WindowMain::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (target_.HandleMessage(msg, wParam)) return 1;
    switch (msg) {
        case EventItemChanged:
            document_.OnValueChanged(static_cast<uint16_t>(wParam));
            return 1;
        case EventConnectionState:
            if (wParam == static_cast<WPARAM>(ConnectionState::Connected)) {
                std::lock_guard<CriticalSection> hold(document_.WebLock());
                document_.Updates() = document_.Subscriptions();
            }
            RefreshCommandState();
            return 1;
        case EventCommandState:
            RefreshCommandState();
            return 1;
        case EventRunEnded:
            // A run that ended by itself (a Do Poll done, a master that gave
            // up): the window is idle and editable again at once.
            RefreshCommandState();
            document_.Send(&target_, EventRunState, 0);
            return 1;
        case MessageSplitterLayout:
            Layout(reinterpret_cast<const RECT*>(lParam));
            return 1;
        case WM_CLOSE:
            Close();
            return 1;
        case WM_DESTROY:
            target_.SetWindow(nullptr);
            break;
        default:
            break;
    }
    return Window::WindowProc(hwnd, msg, wParam, lParam);
}
