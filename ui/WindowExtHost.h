#pragma once

#include <vector>

#include "ui/WindowExt.h"

// The ordered list of extensions a window carries. The list does not own
// them: they are members of the window's class.
class WindowExtHost {
  public:
    void AddExtension(WindowExt* extension) { extensions_.push_back(extension); }
    const std::vector<WindowExt*>& Extensions() const { return extensions_; }

  protected:
    WindowExtHost() = default;
    ~WindowExtHost() = default;

  private:
    std::vector<WindowExt*> extensions_;
};
