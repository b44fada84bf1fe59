#include "ui/CommonControls/StatusBar.h"

#include <commctrl.h>

#include <numeric>

namespace CommonControls {

DWORD StatusBar::Create(Window* parent, std::vector<int> widths) {
    widths_ = std::move(widths);
    const DWORD error =
        CreateControl(parent, STATUSCLASSNAMEW, WS_VISIBLE | SBARS_SIZEGRIP, 0);
    if (!error) SetParts();
    return error;
}

std::vector<int> StatusBar::PartEdges() const {
    RECT client{};
    if (Owner() && Owner()->Handle()) ::GetClientRect(Owner()->Handle(), &client);
    const int fixed = std::accumulate(widths_.begin(), widths_.end(), 0);
    std::vector<int> edges;
    int edge = std::max(0, static_cast<int>(client.right) - fixed);
    edges.push_back(edge);
    for (size_t i = 0; i < widths_.size(); ++i) {
        edge += widths_[i];
        edges.push_back(i + 1 == widths_.size() ? -1 : edge);
    }
    return edges;
}

void StatusBar::SetParts() {
    std::vector<int> edges = PartEdges();
    ::SendMessageW(Handle(), SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void StatusBar::SetText(int part, const std::wstring& text) {
    ::SendMessageW(Handle(), SB_SETTEXTW, part, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring StatusBar::Text(int part) const {
    const LRESULT info = ::SendMessageW(Handle(), SB_GETTEXTLENGTHW, part, 0);
    std::wstring text(LOWORD(info) + 1, L'\0');
    ::SendMessageW(Handle(), SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
    text.resize(LOWORD(info));
    return text;
}

int StatusBar::Height() const {
    RECT rect{};
    ::GetWindowRect(Handle(), &rect);
    return rect.bottom - rect.top;
}

LRESULT StatusBar::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SIZE) SetParts();
    return CommonControl::WindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace CommonControls
