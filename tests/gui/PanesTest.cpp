// The monitor, the breakdown and the address map in a test window with a
// document, driven by the events the engine and the user cause.
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <fstream>
#include <regex>
#include <sstream>

#include "GuiTestSupport.h"
#include "document/VantelDoc.h"
#include "engine/MasterPackets.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "resources/ResourceIds.h"
#include "ui/UiMessages.h"
#include "ui/WindowAddressMap.h"
#include "ui/WindowBreakdown.h"
#include "ui/WindowMonitor.h"

namespace {

// What the panes tell the main window.
class Recorder : public NotifyTarget {
  public:
    explicit Recorder(Notifier& notifier) : notifier_(notifier) {}
    ~Recorder() { notifier_.Unregister(this); }
    std::vector<std::pair<uint32_t, uintptr_t>> sent;

    bool Post(uint32_t, uintptr_t) override { return true; }
    bool PostPacket(uint32_t, PacketPtr&) override { return false; }
    void Send(uint32_t event, uintptr_t wParam) override { sent.emplace_back(event, wParam); }
    int Count(uint32_t event) const {
        int n = 0;
        for (const auto& [e, w] : sent) n += e == event;
        return n;
    }

  private:
    Notifier& notifier_;
};

class Host : public Window {
  public:
    DWORD Make() {
        DWORD error = Create(nullptr, L"KestromPaneHost", L"Panes", WS_OVERLAPPEDWINDOW, 0);
        if (!error) ::SetWindowPos(Handle(), nullptr, 0, 0, 1000, 700, SWP_NOZORDER | SWP_SHOWWINDOW);
        return error;
    }
};

struct Panes : testing::Test {
    VantelDoc doc;
    Host host;
    WindowMonitor monitor{doc};
    WindowAddressMap map{doc};
    WindowBreakdown breakdown{doc};
    Recorder recorder{doc};

    void SetUp() override {
        ASSERT_EQ(host.Make(), 0u);
        ASSERT_EQ(map.Create(&host), 0u);
        ASSERT_EQ(monitor.Create(&host), 0u);
        ASSERT_EQ(breakdown.Create(&host), 0u);
        ::MoveWindow(map.Handle(), 0, 0, 300, 650, TRUE);
        ::MoveWindow(monitor.Handle(), 310, 0, 680, 320, TRUE);
        ::MoveWindow(breakdown.Handle(), 310, 330, 680, 320, TRUE);
        for (uint32_t event : {EventCommandState, EventPacketSelected, EventItemChanged,
                               EventDocumentChanged})
            doc.Register(&recorder, event);
    }
    void TearDown() override { doc.StopRun(); }

    // A request as the TCP master makes it: function 3 for 10 registers at 0.
    PacketPtr Request(uint16_t transaction, uint8_t function = 3, int32_t preset = PresetId::ShortUint) {
        Poll poll;
        MakePoll(function, 0, 10, preset, poll);
        return BuildRequestPacket(0, transaction, 1, poll, doc.Settings().datamap);
    }
    // Posts the way a worker does and waits until the monitor has shown it.
    void Deliver(uint32_t event, PacketPtr packet) {
        doc.PostPacket(event, std::move(packet));
        PumpMessages(20);
    }
    void DeliverState(uint32_t state) {
        doc.Post(EventConnectionState, state);
        PumpMessages(20);
    }
    int ListRows(const Window& pane) const {
        return static_cast<int>(::SendMessageW(pane.Handle(), LVM_GETITEMCOUNT, 0, 0));
    }
};

TEST_F(Panes, TheMonitorKeepsTheNewest1000RowsAndFreesThePacketOfEachRowItDrops) {
    const long before = ModbusPacket::Live();
    for (uint16_t t = 1; t <= 1001; ++t) doc.PostPacket(EventPacketSent, Request(t));
    PumpMessages(200);
    EXPECT_EQ(monitor.RowsKept(), 1000u);
    EXPECT_EQ(ListRows(monitor), 1000);
    EXPECT_EQ(ModbusPacket::Live() - before, 1000) << "the dropped row's packet is freed";
    ASSERT_NE(monitor.PacketAt(0), nullptr);
    EXPECT_EQ(monitor.PacketAt(0)->transactionId, 2) << "the first row went";
    EXPECT_EQ(monitor.PacketAt(999)->transactionId, 1001);
}

TEST_F(Panes, AMonitorThatFallsBehindShowsTheNewestRowsAndFreesThePacketsItDrops) {
    const long before = ModbusPacket::Live();
    // Posted faster than the window takes them: nothing is handled between.
    const uint16_t posted = WindowTarget::kMaxWaiting + 5000;
    for (uint16_t t = 1; t <= posted; ++t) doc.PostPacket(EventPacketSent, Request(t));
    EXPECT_EQ(ModbusPacket::Live() - before, static_cast<long>(WindowTarget::kMaxWaiting))
        << "the oldest waiting packets were freed";
    // Batches of a few milliseconds' work, between which the window paints.
    for (int i = 0; i < 200 && ModbusPacket::Live() - before > 1000; ++i) PumpMessages(50);
    EXPECT_EQ(monitor.RowsKept(), 1000u);
    EXPECT_EQ(ModbusPacket::Live() - before, 1000);
    EXPECT_EQ(monitor.PacketAt(0)->transactionId, posted - 999) << "the newest rows";
    EXPECT_EQ(monitor.PacketAt(999)->transactionId, posted);
}

TEST_F(Panes, RowsOfEveryEventAndScrollingSwitchesTrackLatestOff) {
    DeliverState(0);
    DeliverState(1);
    DeliverState(7);  // no such state: no row
    Deliver(EventPacketSent, Request(1));
    doc.Post(EventTimeoutRetry, 0);
    doc.Post(EventTimeoutGiveUp, 0);
    DeliverState(4);
    ASSERT_EQ(monitor.RowsKept(), 6u);
    const wchar_t* descriptions[] = {L"Attempting to connect.", L"Connected",
                                     L"Poll 03: Read Input Registers 0 to 9",
                                     L"Timeout. Retrying.", L"Timeout. Giving up.",
                                     L"Connection Closed"};
    for (size_t row = 0; row < 6; ++row) EXPECT_EQ(monitor.CellText(row, 2), descriptions[row]);
    EXPECT_TRUE(std::regex_match(monitor.CellText(0, 0), std::wregex(L"\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d")));

    EXPECT_TRUE(monitor.TrackLatest());
    ::SendMessageW(monitor.Handle(), WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_FALSE(monitor.TrackLatest());
    EXPECT_EQ(recorder.Count(EventCommandState), 1) << "the main window is told";
    ::SendMessageW(monitor.Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(recorder.Count(EventCommandState), 1) << "told once";
}

TEST_F(Panes, SelectingARowShowsItsPacketInTheBreakdownAndDecidesAddPolledAddresses) {
    DeliverState(1);
    Deliver(EventPacketSent, Request(1));
    monitor.Select(1, true);
    ASSERT_EQ(recorder.Count(EventPacketSelected), 1);
    EXPECT_EQ(recorder.sent.back().second, reinterpret_cast<uintptr_t>(monitor.PacketAt(1)));
    EXPECT_TRUE(monitor.Popup().IsEnabled(ID_ADD_POLLED_ADDRESSES));
    ASSERT_EQ(ListRows(breakdown), 7) << "MBAP header, address, function, start, count";
    EXPECT_EQ(breakdown.Text(3, 2), L"1: Our address");
    EXPECT_EQ(breakdown.Text(6, 0), L"Reg Count");
    EXPECT_EQ(breakdown.Text(6, 2), L"10");

    monitor.Select(1, false);
    monitor.Select(0, true);
    EXPECT_EQ(recorder.sent.back(), (std::pair<uint32_t, uintptr_t>{EventPacketSelected, 0}));
    EXPECT_FALSE(monitor.Popup().IsEnabled(ID_ADD_POLLED_ADDRESSES));
    EXPECT_EQ(ListRows(breakdown), 0) << "no packet, no rows";
}

TEST_F(Panes, AddPolledAddressesAddsTheRangeOfEverySelectedRequestInRowOrder) {
    Deliver(EventPacketSent, Request(1, 3, PresetId::LongUint));  // 0..18 step 2
    Deliver(EventPacketSent, Request(2, 1, PresetId::Bit));       // coils 0..9
    monitor.Select(0, true);
    monitor.Select(1, true);
    std::vector<std::wstring> shown;
    std::function<void(HWND)> accept = [&](HWND hwnd) {
        shown.push_back(TextOf(::GetDlgItem(hwnd, IDC_ADDR_FIRST)) + L".." +
                        TextOf(::GetDlgItem(hwnd, IDC_ADDR_LAST)) + L"/" +
                        TextOf(::GetDlgItem(hwnd, IDC_ADDR_STEP)));
        if (shown.size() == 1) WhenDialogAppears(accept);
        ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    };
    WhenDialogAppears(accept);
    ::SendMessageW(monitor.Handle(), WM_COMMAND, ID_ADD_POLLED_ADDRESSES, 0);
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"0..18/2", L"0..9/1"}));
    EXPECT_EQ(map.Addresses().size(), 15u) << "0 to 18 step 2, and 0 to 9";
    EXPECT_EQ(map.CellText(0, 2), L"Unsigned Int") << "the packet's type, whatever the dialog showed";
    EXPECT_TRUE(doc.IsModified());
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + name;
    ::DeleteFileW(path.c_str());
    return path;
}

TEST_F(Panes, WithLoggingOnEachRowIsOneLineAndRowsBeforeItAreNotLogged) {
    const std::wstring path = TempPath(L"kestrom-monitor-test.log");
    monitor.SetLogPath(path);
    Deliver(EventPacketSent, Request(1));
    monitor.SetLogging(true);
    Deliver(EventPacketSent, Request(1));
    DeliverState(1);
    const std::string log = ReadFile(path);
    EXPECT_TRUE(std::regex_match(
        log, std::regex("\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d TX Poll 03: Read Input Registers 0 to 9 "
                        "00 01 00 00 00 06 01 03 00 00 00 0A \r\n"
                        "\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d  Connected \r\n")))
        << log;
    ::DeleteFileW(path.c_str());

    monitor.SetLogPath(L"Z:\\no\\such\\folder\\at\\all\\kestrom.log");
    const size_t rows = monitor.RowsKept();
    Deliver(EventPacketSent, Request(2));
    EXPECT_EQ(monitor.RowsKept(), rows + 1) << "a log that cannot be written loses no row";
}

struct AddressMap : Panes {
    void Map(std::initializer_list<uint16_t> addresses) {
        DataMap replacement;
        for (uint16_t a : addresses) replacement.Insert(a, DataItem::MakeUnsignedShort(a));
        doc.Settings().datamap.Assign(std::move(replacement));
        doc.Send(nullptr, EventDocumentChanged, 0);
    }
    std::vector<uint16_t> Rows() const { return map.Addresses(); }
};

TEST_F(AddressMap, RowsFollowTheDataMapByMerge) {
    using A = std::vector<uint16_t>;
    Map({10, 20});
    EXPECT_EQ(Rows(), (A{10, 20}));
    EXPECT_EQ(ListRows(map), 2);
    Map({30});
    EXPECT_EQ(Rows(), (A{30})) << "10 and 20 replaced by 30";
    Map({10, 30, 50});
    map.Select(1, true);
    Map({10, 20, 30, 40, 50});
    EXPECT_EQ(Rows(), (A{10, 20, 30, 40, 50}));
    EXPECT_EQ(map.SelectedData().size(), 1u);
    EXPECT_EQ(map.FirstSelected(), 2) << "the selection stays on address 30";
    Map({20, 30, 40});
    EXPECT_EQ(Rows(), (A{20, 30, 40})) << "deleted at both ends";
    EXPECT_EQ(map.CellText(0, 0), L"20");
    EXPECT_EQ(map.CellText(0, 1), L"20");
    EXPECT_EQ(map.CellText(0, 2), L"Unsigned Short");

    doc.Settings().datamap.Insert(7, DataItem::MakeByte(7));
    map.Synchronise();
    EXPECT_EQ(map.CellText(0, 0), L"7");
    EXPECT_EQ(map.CellText(0, 2), L"") << "type 7 has no name";
}

TEST_F(AddressMap, DeletingAsksFirstAndNoKeepsEverything) {
    Map({1, 2, 3, 4});
    for (int row : {0, 1, 3}) map.Select(row, true);
    std::wstring question;
    WhenDialogAppears([&](HWND box) {
        question = TextOf(::GetDlgItem(box, 0xFFFF));
        EXPECT_EQ(TextOf(box), L"Delete Addresses");
        ::PostMessageW(box, WM_COMMAND, IDNO, 0);
    });
    EXPECT_FALSE(map.DeleteSelected());
    EXPECT_EQ(question, L"Delete 3 addresses. Are you sure?");
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_FALSE(doc.IsModified());

    WhenDialogAppears([](HWND box) { ::PostMessageW(box, WM_COMMAND, IDYES, 0); });
    EXPECT_TRUE(map.DeleteSelected());
    EXPECT_EQ(Rows(), (std::vector<uint16_t>{3}));
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(AddressMap, AValueEnteredIsStoredByTheOneRuleAndAnnouncedEvenWhenUnchanged) {
    DataMap replacement;
    replacement.Insert(300, DataItem::MakeFloat(1e-7f));
    doc.Settings().datamap.Assign(std::move(replacement));
    map.Synchronise();
    map.Select(0, true);
    std::wstring offered;
    WhenDialogAppears([&](HWND hwnd) {
        offered = TextOf(::GetWindow(::GetWindow(hwnd, GW_CHILD), GW_HWNDNEXT));
        ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    });
    map.EnterValue();
    EXPECT_EQ(offered, DataItem::MakeFloat(1e-7f).FormatText()) << "the value in full";
    EXPECT_NE(offered, L"0.000000");
    EXPECT_EQ(doc.Settings().datamap.Find(300)->AsFloat(), 1e-7f) << "OK alone changes nothing";
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(recorder.Count(EventItemChanged), 1) << "announced all the same";

    // OK follows whether the text is a value of the item's type.
    WhenDialogAppears([](HWND hwnd) {
        HWND edit = ::GetWindow(::GetWindow(hwnd, GW_CHILD), GW_HWNDNEXT);
        HWND ok = ::GetDlgItem(hwnd, IDOK);
        EXPECT_EQ(TextOf(hwnd), L"Enter Value");
        ::SetWindowTextW(edit, L"abc");
        EXPECT_FALSE(::IsWindowEnabled(ok)) << "abc is no float";
        ::SetWindowTextW(edit, L"2.5");
        EXPECT_TRUE(::IsWindowEnabled(ok));
        ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    });
    map.EnterValue();
    EXPECT_EQ(doc.Settings().datamap.Find(300)->AsFloat(), 2.5f);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(recorder.Count(EventItemChanged), 2);
}

TEST_F(AddressMap, AChangeFromElsewhereRedrawsItsRow) {
    Map({5, 6});
    ::UpdateWindow(map.Handle());
    doc.Settings().datamap.UpdateItem(6, DataItem::MakeUnsignedShort(66));
    doc.Post(EventItemChanged, 6);  // as a web write announces it
    // The event, then the redraw it asks for; not yet the painting.
    for (UINT step : {static_cast<UINT>(MessageTargetWake), static_cast<UINT>(MessagePaneFlush)}) {
        MSG msg;
        ASSERT_TRUE(::PeekMessageW(&msg, map.Handle(), step, step, PM_REMOVE));
        ::DispatchMessageW(&msg);
    }
    RECT dirty{};
    EXPECT_TRUE(::GetUpdateRect(map.Handle(), &dirty, FALSE)) << "row 6 waits to be drawn";
    EXPECT_EQ(map.CellText(1, 1), L"66");
}

TEST_F(AddressMap, AddressCommandsAreGrayedWhileAMasterRuns) {
    Map({1});
    map.RefreshPopup();
    EXPECT_TRUE(map.Popup().IsEnabled(ID_ADD_ADDRESSES));
    EXPECT_FALSE(map.Popup().IsEnabled(ID_DELETE_ADDRESSES)) << "nothing selected";
    map.Select(0, true);
    EXPECT_TRUE(map.Popup().IsEnabled(ID_DELETE_ADDRESSES));

    doc.EthernetMaster().host = "127.0.0.1";
    doc.EthernetMaster().port = 1;  // refused: the master keeps trying
    doc.Settings().retries = 0;
    ASSERT_TRUE(doc.AddPoll(3, 0, 1, PresetId::ShortUint));
    Deliver(EventPacketSent, Request(1));
    monitor.Select(0, true);
    ASSERT_TRUE(doc.StartRun());
    doc.Send(nullptr, EventRunState, 1);
    EXPECT_FALSE(map.Popup().IsEnabled(ID_ADD_ADDRESSES));
    EXPECT_FALSE(map.Popup().IsEnabled(ID_DELETE_ADDRESSES));
    EXPECT_FALSE(map.DeleteSelected()) << "refused while running";
    monitor.RefreshPopup();
    EXPECT_FALSE(monitor.Popup().IsEnabled(ID_ADD_POLLED_ADDRESSES));
    doc.StopRun();
}

}  // namespace
