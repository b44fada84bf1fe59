#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>

#include "document/TrafficLog.h"
#include "engine/PacketPtr.h"
#include "protocol/TrafficRow.h"
#include "ui/CommonControls/ListView.h"
#include "ui/PopupMenuExt.h"
#include "ui/WindowTarget.h"

class VantelDoc;

// The traffic monitor: a row for every request sent, reply received,
// timeout and link state, with the time to the millisecond, the direction,
// a description and the bytes. It keeps the newest 1000 rows (each owning
// its packet), can keep the newest in view, can append every row to the
// traffic log, tells the breakdown which packet the user selected, and adds
// the addresses of selected requests to the address map.
//
// Workers can deliver tens of thousands of packets a second, and a posted
// message is handled before any input or painting. So an event only stores
// its row (texts are made when a row is drawn or logged), and the list, a
// virtual list view over the ring of rows, is brought up to date once per
// burst of events.
class WindowMonitor : public CommonControls::ListView {
  public:
    static constexpr size_t kRowLimit = 1000;

    explicit WindowMonitor(VantelDoc& document);
    ~WindowMonitor() override;

    // Creates the list (columns included) as a pane of parent and registers
    // for the engine's events.
    DWORD Create(Window* parent);

    bool TrackLatest() const { return trackLatest_; }
    void SetTrackLatest(bool on);
    bool Logging() const { return logging_; }
    void SetLogging(bool on) { logging_ = on; }
    // "Kestrom Master.log" in the user's documents folder, unless set.
    const std::wstring& LogPath() const { return log_.Path(); }
    void SetLogPath(std::wstring path) { log_ = TrafficLog(std::move(path)); }

    // The rows kept (the list shows them once the burst is over).
    size_t RowsKept() const { return rows_.size(); }
    // Every row added since the monitor was made, dropped ones included.
    uint64_t RowsAdded() const { return rowsAdded_; }
    // Events the monitor never saw: it fell too far behind a fast worker.
    uint64_t DroppedEvents() const { return target_.Dropped(); }
    // The packet of a row (null for a row without one).
    const ModbusPacket* PacketAt(size_t row) const;
    // The texts of a row: 0 time, 1 direction, 2 description, 3 content.
    std::wstring CellText(size_t row, int column) const;
    PopupMenuExt& Popup() { return popup_; }
    // "Add Polled Addresses" is enabled for a selected request (or write
    // reply) while no master runs.
    void RefreshPopup();

    bool OnCommand(UINT id) override;
    LRESULT OnReflectedNotify(UINT code, NMHDR* header) override;
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    enum class Kind : uint8_t { Sent, Received, State, Retry, GiveUp };
    struct Row {
        SYSTEMTIME time;
        Kind kind;
        uint32_t state;
        PacketPtr packet;
    };

    void AddRow(Kind kind, uint32_t state, PacketPtr packet);
    TrafficRow TextsOf(const Row& row) const;
    void RequestFlush();
    void Flush();
    void KeepSelectionOnDrop(size_t dropped);
    void ScrolledByUser();
    void Selected(int row);
    void AddPolledAddresses();
    void LoadWords();

    VantelDoc& document_;
    WindowTarget target_;
    PopupMenuExt popup_;
    std::deque<Row> rows_;
    // Rows dropped from the top since the list was last brought up to date.
    size_t dropped_ = 0;
    bool flushPending_ = false;
    uint64_t rowsAdded_ = 0;
    bool trackLatest_ = true;
    bool logging_ = false;
    // While the program itself scrolls or selects, the list's notifications
    // are not the user's doing.
    bool programChange_ = false;
    TrafficLog log_;
    TrafficWords words_;
};
