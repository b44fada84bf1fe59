// The server side of the DDE test: a document with three entries and its DDE
// service. Address 200 counts up every 100 ms, announced as a polled change
// would be. The program ends when the last client has gone, or after 30 s;
// its exit code is 2 when the connection count went below 0 or did not end
// at 0.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "document/VantelDoc.h"
#include "publish/win32/DocumentDde.h"

// Does what the main window does with a changed value: publishes it.
class Publisher : public NotifyTarget {
  public:
    explicit Publisher(VantelDoc& doc) : doc_(doc) { doc_.Register(this, EventItemChanged); }
    ~Publisher() { doc_.Unregister(this); }
    bool Post(uint32_t, uintptr_t) override { return true; }
    bool PostPacket(uint32_t, PacketPtr&) override { return false; }
    void Send(uint32_t event, uintptr_t wParam) override {
        if (event == EventItemChanged) doc_.OnValueChanged(static_cast<uint16_t>(wParam));
    }

  private:
    VantelDoc& doc_;
};

int main() {
    VantelDoc doc;
    Publisher publisher(doc);
    SharedDataMap& datamap = doc.Settings().datamap;
    datamap.Insert(100, DataItem::MakeUnsignedShort(17));
    datamap.Insert(101, DataItem::MakeUnsignedShort(5));
    datamap.Insert(200, DataItem::MakeUnsignedShort(0));
    DocumentDde dde(doc);
    if (!dde.Start()) {
        std::printf("DDE service not registered\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    UINT_PTR timer = ::SetTimer(nullptr, 0, 100, nullptr);
    const DWORD start = ::GetTickCount();
    bool seenClient = false;
    uint16_t counter = 0;
    int lowest = 0;
    int highest = 0;
    MSG msg;
    while (::GetTickCount() - start < 30000) {
        lowest = std::min(lowest, dde.Connections());
        highest = std::max(highest, dde.Connections());
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            continue;
        }
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            datamap.UpdateItem(200, DataItem::MakeUnsignedShort(++counter));
            doc.OnValueChanged(200);
            if (dde.Connections() > 0) seenClient = true;
            if (seenClient && dde.Connections() == 0) break;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::KillTimer(nullptr, timer);
    const int last = dde.Connections();
    dde.End();
    std::printf("server done, link flag of 100: %d, connections: lowest %d, highest %d, last %d\n",
                doc.IsDdeLinked(100) ? 1 : 0, lowest, highest, last);
    return lowest == 0 && last == 0 && highest >= 3 ? 0 : 2;
}
