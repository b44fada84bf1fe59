#pragma once

#include <string>

#include "ui/CommonControls/CommonControl.h"

namespace CommonControls {

// A drop-down list.
class ComboBox : public CommonControl {
  public:
    int AddString(const std::wstring& text);
    void Clear();
    int Count() const;
    int Selection() const;
    void SetSelection(int index);
    std::wstring Text(int index) const;
};

}  // namespace CommonControls
