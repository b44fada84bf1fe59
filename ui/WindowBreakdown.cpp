#include "ui/WindowBreakdown.h"

#include <commctrl.h>

#include "document/VantelDoc.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceStrings.h"
#include "ui/UiMessages.h"

WindowBreakdown::WindowBreakdown(VantelDoc& document) : document_(document), target_(document) {}

DWORD WindowBreakdown::Create(Window* parent) {
    const ResourceStrings strings;
    texts_.messageId = strings.Get(IDS_BD_MESSAGE_ID);
    texts_.protocolId = strings.Get(IDS_BD_PROTOCOL_ID);
    texts_.messageLength = strings.Get(IDS_BD_MESSAGE_LENGTH);
    texts_.address = strings.Get(IDS_COL_ADDRESS);
    texts_.function = strings.Get(IDS_COL_FUNCTION);
    texts_.regCount = strings.Get(IDS_BD_REG_COUNT);
    texts_.byteCount = strings.Get(IDS_BD_BYTE_COUNT);
    texts_.itemCount = strings.Get(IDS_COL_ITEM_COUNT);
    texts_.value = strings.Get(IDS_COL_VALUE);
    texts_.data = strings.Get(IDS_BD_DATA);
    texts_.crc = strings.Get(IDS_BD_CRC);
    texts_.ourAddress = strings.Get(IDS_BD_OUR_ADDRESS);
    texts_.expected = strings.Get(IDS_BD_EXPECTED);
    texts_.bytes = strings.Get(IDS_BD_BYTES);
    texts_.got = strings.Get(IDS_BD_GOT);
    texts_.unrecognisedFunction = strings.Get(IDS_BD_UNRECOGNISED);
    texts_.messageTruncated = strings.Get(IDS_BD_TRUNCATED);
    texts_.messageTooLong = strings.Get(IDS_BD_TOO_LONG);
    texts_.error = strings.Get(IDS_BD_ERROR);
    if (const DWORD error = ListView::Create(parent, LVS_SHOWSELALWAYS)) return error;
    const std::pair<UINT, int> columns[] = {
        {IDS_COL_FIELD, 100}, {IDS_COL_DATA_HEX, 200}, {IDS_COL_VALUE, 200}};
    for (int i = 0; i < 3; ++i) InsertColumn(i, strings.Get(columns[i].first), columns[i].second);
    target_.SetWindow(Handle());
    target_.Register(EventPacketSelected);
    return 0;
}

void WindowBreakdown::ShowPacket(const ModbusPacket* packet) {
    ::SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
    DeleteAll();
    if (packet) {
        int row = 0;
        for (const BreakdownRow& fields :
             BreakDownPacket(*packet, document_.Settings().modbusaddress, texts_)) {
            InsertRow(row, fields.field, 0);
            SetText(row, 1, fields.hex);
            SetText(row, 2, fields.value);
            ++row;
        }
    }
    ::SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT WindowBreakdown::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (target_.HandleMessage(msg, wParam)) return 1;
    if (msg == EventPacketSelected) {
        ShowPacket(reinterpret_cast<const ModbusPacket*>(wParam));
        return 1;
    }
    if (msg == WM_DESTROY) target_.SetWindow(nullptr);
    return ListView::WindowProc(hwnd, msg, wParam, lParam);
}
