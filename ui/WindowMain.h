#pragma once

#include <string>
#include <vector>

#include "document/Doc.h"
#include "document/VantelDoc.h"
#include "publish/WebPublisher.h"
#include "publish/win32/DocumentDde.h"
#include "ui/CommonControls/ListView.h"
#include "ui/CommonControls/StatusBarExt.h"
#include "ui/CommonControls/ToolBarExt.h"
#include "ui/MenuExt.h"
#include "ui/PopupMenuExt.h"
#include "ui/SettingsFile.h"
#include "ui/Splitter.h"
#include "ui/WindowAddressMap.h"
#include "ui/WindowBreakdown.h"
#include "ui/WindowMonitor.h"
#include "ui/WindowTarget.h"

// The program's one top-level window: the poll list and the address map on
// the left of a splitter, the monitor and the breakdown on its right, the
// menu bar, a tool bar (Connection, Run) and a status bar. It owns the
// document and every pane, turns the commands into work on them, and keeps
// the per-machine settings.
//
// Everything that would change the set-up under a running worker (New,
// Open, the connection, the polls, the addresses) is refused and grayed
// while a master runs; a modified document is never dropped without asking.
class WindowMain : public Window, private RecentFileView {
  public:
    explicit WindowMain(SettingsFile settings = SettingsFile());
    ~WindowMain() override;

    // Builds and shows the window; 0 or a Win32 error code.
    DWORD CreateAndShow(const wchar_t* = nullptr, int = 0);

    // Loads a project; a file that cannot be opened is explained in a
    // message box and changes nothing.
    bool OpenFile(const std::wstring& path);

    VantelDoc& Document() { return document_; }
    CommonControls::ListView& PollList() { return polls_; }
    WindowMonitor& Monitor() { return monitor_; }
    WindowAddressMap& AddressMap() { return map_; }
    WindowBreakdown& Breakdown() { return breakdown_; }
    Splitter& Bar() { return splitter_; }
    MenuExt& MenuBar() { return menu_; }
    PopupMenuExt& PollPopup() { return pollPopup_; }
    CommonControls::ToolBarExt& Tools() { return toolbar_; }
    CommonControls::StatusBarExt& Status() { return status_; }
    const SettingsFile& Settings() const { return settings_; }
    // What the web server said at its last start (empty when it listens).
    const std::wstring& WebError() const { return web_.Error(); }

    bool OnCommand(UINT id) override;
    bool OnControlCommand(HWND control, UINT code, UINT id) override;
    LRESULT OnNotify(HWND from, UINT code, NMHDR* header) override;
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    // RecentFileView
    void ShowRecentFile(const std::wstring& path) override;

    DWORD CreatePanes();
    void ReadSettings();
    void Layout(const RECT* panes);

    bool Running() const { return document_.IsPolling(); }
    void RefreshCommandState();
    void RefreshPollList();
    void ShowConnection();
    void ShowWebState();

    void ToggleRun();
    void DoPoll();
    void EditConnection();
    void AddPoll();
    void EditSelectedPoll();
    void DeletePolls();
    void MovePoll(bool up);
    void AddAddresses();
    void AddPolledAddresses(size_t index);
    void NewDocument();
    void Open();
    void OpenRecent();
    bool Save();
    bool SaveAs();
    void About();
    void Close();

    // Asks "Save Changes?" for a modified document: true when the caller may
    // go on (saved, or the user chose No), false to keep everything.
    bool SaveChangesFirst();
    bool SaveOrExplain(const std::wstring& path);
    void StartWebOnDocumentPort();
    std::vector<size_t> SelectedPolls() const;

    VantelDoc document_;
    CommonControls::ToolBarExt toolbar_;
    CommonControls::StatusBarExt status_;
    MenuExt menu_;
    PopupMenuExt pollPopup_;
    CommonControls::ListView polls_;
    WindowAddressMap map_;
    WindowMonitor monitor_;
    WindowBreakdown breakdown_;
    Splitter splitter_;

    SettingsFile settings_;
    WebPublisher web_;
    DocumentDde dde_;
    WindowTarget target_;
};
