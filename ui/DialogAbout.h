#pragma once

#include <string>

#include "ui/DialogTemplate.h"
#include "ui/LinkControl.h"

// The about box: the program's icon, its name and version, and a link.
class DialogAbout : public DialogTemplate {
  public:
    static constexpr int kLinkId = 1001;

    // link: the address the link shows and opens.
    explicit DialogAbout(std::wstring link) : link_(std::move(link)) {}

    // Builds the template and runs it; as Dialog::Run.
    INT_PTR Show(Window* owner);
    // Builds the template without running it.
    bool Build();

    // "Kestrom Master v1.0r0" from the program file's product version, or
    // "Kestrom Master" when it has none.
    static std::wstring Title();

  protected:
    DWORD OnInitDialog() override;

  private:
    std::wstring link_;
    LinkControl linkControl_;
};
