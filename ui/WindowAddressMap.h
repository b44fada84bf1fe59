#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/CommonControls/ListView.h"
#include "ui/PopupMenuExt.h"
#include "ui/WindowTarget.h"

class VantelDoc;

// The data map as a table: one row per mapped address in ascending order,
// with its value and type. It follows the document's changes, lets the user
// enter a value for one address and offers adding and deleting addresses.
//
// The rows are a virtual list over the mapped addresses: a changed value
// only redraws its row, whatever the number of addresses, and the texts are
// read from the data map when a row is drawn.
class WindowAddressMap : public CommonControls::ListView {
  public:
    explicit WindowAddressMap(VantelDoc& document);

    // Creates the list (columns included) as a pane of parent and registers
    // for the document's events.
    DWORD Create(Window* parent);

    // The rows become the data map's entries; rows of addresses still mapped
    // stay selected.
    void Synchronise();
    // Redraws the value of the address's row (rows are neither added nor
    // removed here). Rows changed by one burst of events are redrawn
    // together once it is over, and only where they are in view.
    void UpdateRow(uint16_t address);
    // Asks, then removes the selected addresses; true when it did.
    bool DeleteSelected();
    // The value entry for the first selected address.
    void EnterValue();
    // Enables the context menu's commands for the current state.
    void RefreshPopup();

    // The address of each row, top to bottom.
    const std::vector<uint16_t>& Addresses() const { return addresses_; }
    // The texts of a row: 0 address, 1 value, 2 type.
    std::wstring CellText(size_t row, int column) const;
    PopupMenuExt& Popup() { return popup_; }

    LRESULT OnReflectedNotify(UINT code, NMHDR* header) override;
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    int RowOf(uint16_t address) const;
    void RedrawChangedRows();
    std::vector<uint16_t> SelectedAddresses() const;

    VantelDoc& document_;
    WindowTarget target_;
    PopupMenuExt popup_;
    std::vector<uint16_t> addresses_;
    bool programChange_ = false;
    // The rows changed since they were last redrawn (-1: none).
    int firstChanged_ = -1;
    int lastChanged_ = -1;
    bool redrawPending_ = false;
};
