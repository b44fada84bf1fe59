#pragma once

#include <string>
#include <vector>

#include "ui/CommonControls/CommonControl.h"

#include <commctrl.h>

namespace CommonControls {

// A report-style list view: columns, rows with an item datum, and the
// selection.
class ListView : public CommonControl {
  public:
    // A report view with a border, full-row selection and multiple
    // selection; extra style adds e.g. LVS_SHOWSELALWAYS or LVS_OWNERDATA.
    DWORD Create(Window* parent, DWORD extraStyle, uint16_t flags = 0);

    bool InsertColumn(int index, const std::wstring& text, int width);
    // Inserts a row with its first column's text and datum; the row's index
    // or -1.
    int InsertRow(int index, const std::wstring& text, LPARAM data);
    bool SetText(int row, int column, const std::wstring& text);
    std::wstring Text(int row, int column) const;
    LPARAM Data(int row) const;
    bool DeleteRow(int row);
    void DeleteAll();
    int RowCount() const;

    // The rows selected, ascending, and their data in the same order.
    std::vector<int> SelectedRows() const;
    std::vector<LPARAM> SelectedData() const;
    int SelectedCount() const;
    // The first selected row, or -1.
    int FirstSelected() const;
    void Select(int row, bool selected);
    void EnsureVisible(int row);

    // A virtual list (LVS_OWNERDATA) keeps no texts: it asks for each cell
    // as it draws it. Answers such a request with cellText(row, column).
    template <typename CellText>
    static void AnswerTextRequest(NMHDR* header, CellText&& cellText) {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
        if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText) return;
        const std::wstring text =
            cellText(static_cast<size_t>(info->item.iItem), info->item.iSubItem);
        lstrcpynW(info->item.pszText, text.c_str(), info->item.cchTextMax);
    }
};

}  // namespace CommonControls
