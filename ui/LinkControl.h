#pragma once

#include <string>

#include "ui/Window.h"

// A web address shown as a link: blue, underlined, a focus rectangle while
// the mouse is over it; a click opens the address in the user's browser.
class LinkControl : public Window {
  public:
    static constexpr wchar_t kClassName[] = L"KestromLink";
    static constexpr COLORREF kLinkColour = 0xCC0000;

    LinkControl() = default;
    ~LinkControl() override;

    // Registers the window class; done once when the program starts, before
    // any dialog template names the class, and harmless to repeat.
    static DWORD RegisterClass();

    // Takes over a dialog's link item.
    DWORD Attach(Window* dialog, int id);

    bool IsHot() const { return hot_; }
    std::wstring Address() const;

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnPaint(HDC dc) override;

  private:
    void Track(HWND hwnd, LPARAM lParam);
    void Open(HWND hwnd);
    HFONT Font();

    bool hot_ = false;
    HFONT font_ = nullptr;
};
