#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/CommonControls/ComboBox.h"

namespace CommonControls {

// A drop-down list whose entries each carry an integer. The entries and the
// chosen integer are kept by the object, so a dialog fills them before it
// opens and reads the choice after it has closed. Entries stay in the order
// they were added (the control must not sort them).
class ComboBoxLParam : public ComboBox {
  public:
    // Adds an entry now and whenever the control is (re)attached.
    void AddEntry(const std::wstring& text, LPARAM value);
    void ClearEntries();
    const std::vector<std::pair<std::wstring, LPARAM>>& Entries() const { return entries_; }

    // Selects the entry carrying value; no entry selected when none does.
    void SelectValue(LPARAM value);
    // The value of the selected entry, if one is selected.
    std::optional<LPARAM> Value() const { return value_; }

    LRESULT OnReflectedCommand(UINT code, UINT id) override;

  protected:
    void OnAttached() override;

  private:
    void ShowSelection();

    std::vector<std::pair<std::wstring, LPARAM>> entries_;
    std::optional<LPARAM> value_;
};

}  // namespace CommonControls
