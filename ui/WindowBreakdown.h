#pragma once

#include "protocol/PacketBreakdown.h"
#include "ui/CommonControls/ListView.h"
#include "ui/WindowTarget.h"

class ModbusPacket;
class VantelDoc;

// The packet the user selected in the monitor, field by field: each field's
// name, bytes and value, then any error rows.
class WindowBreakdown : public CommonControls::ListView {
  public:
    explicit WindowBreakdown(VantelDoc& document);

    // Creates the list (columns included) as a pane of parent and registers
    // for the monitor's selection.
    DWORD Create(Window* parent);

    // Shows the rows of the packet, or nothing for none. The packet is read
    // now and not kept.
    void ShowPacket(const ModbusPacket* packet);

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    VantelDoc& document_;
    WindowTarget target_;
    BreakdownTexts texts_;
};
