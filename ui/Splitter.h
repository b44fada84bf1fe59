#pragma once

#include "ui/WindowExt.h"

// A vertical bar between a left and a right pane that the user drags. On
// every resize (and while dragging) it sends its host the layout message
// with the two pane rectangles; the host places its panes there.
class Splitter : public WindowExt {
  public:
    // The bar is four pixels wide; left is its left edge.
    static constexpr int kWidth = 4;

    Splitter(UINT message, int left) : message_(message) { SetLeft(left); }

    DWORD Attach(Window* host) override;
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    int Left() const { return bar_.left; }
    // Moves the bar; the caller lays the host out again.
    void SetLeft(int left);
    bool IsDragging() const { return dragOffset_ >= 0; }
    const RECT& Bar() const { return bar_; }

  private:
    void OnSize(HWND hwnd, WPARAM type, LPARAM size);
    void Paint(HWND hwnd);
    bool OnBar(POINT point) const;
    int MaxLeft(HWND hwnd) const;

    UINT message_;
    Window* host_ = nullptr;
    RECT bar_{};
    int dragOffset_ = -1;
};
