#pragma once

#include <string>

#include "ui/CommonControls/CommonControl.h"

namespace CommonControls {

// A static text or picture.
class Static : public CommonControl {
  public:
    DWORD Create(Window* parent, DWORD style, const std::wstring& text = L"");
    void SetText(const std::wstring& text);
};

}  // namespace CommonControls
