#pragma once

#include <string>

#include "ui/CommonControls/CommonControl.h"

namespace CommonControls {

// An edit control.
class Edit : public CommonControl {
  public:
    // The control's text as it stands now.
    std::wstring WindowText(size_t maxCharacters = 1024) const;
    void SetLimit(int characters);
};

}  // namespace CommonControls
