#include "ui/DialogTemplate.h"

#include "ui/ModuleInstance.h"

namespace {

// Atoms of the system's predefined window classes in a dialog template.
constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kStaticAtom = 0x0082;

constexpr DWORD kDialogStyle = WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

}  // namespace

void DialogTemplate::Align(size_t boundary) {
    while (bytes_.size() % boundary) bytes_.push_back(0);
}

void DialogTemplate::Put16(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

void DialogTemplate::Put32(uint32_t value) {
    Put16(static_cast<uint16_t>(value));
    Put16(static_cast<uint16_t>(value >> 16));
}

void DialogTemplate::PutText(const std::wstring& text) {
    for (wchar_t c : text) Put16(static_cast<uint16_t>(c));
    Put16(0);
}

void DialogTemplate::PutClassAtom(uint16_t atom) {
    Put16(0xFFFF);
    Put16(atom);
}

bool DialogTemplate::Begin(const std::wstring& title, RECT frame) {
    bytes_.clear();
    count_ = 0;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return false;
    const LOGFONTW& font = metrics.lfMessageFont;
    int points = font.lfHeight;
    if (points < 0) {
        HDC screen = ::GetDC(nullptr);
        points = -::MulDiv(font.lfHeight, 72, ::GetDeviceCaps(screen, LOGPIXELSY));
        ::ReleaseDC(nullptr, screen);
    }
    fontFace_ = font.lfFaceName;
    fontPoints_ = points;

    Put16(1);       // dlgVer
    Put16(0xFFFF);  // signature: an extended template
    Put32(0);       // helpID
    Put32(0);       // exStyle
    Put32(kDialogStyle);
    countAt_ = bytes_.size();
    Put16(0);  // cDlgItems, counted as controls are added
    Put16(static_cast<uint16_t>(frame.left));
    Put16(static_cast<uint16_t>(frame.top));
    Put16(static_cast<uint16_t>(frame.right - frame.left + 1));
    Put16(static_cast<uint16_t>(frame.bottom - frame.top + 1));
    Put16(0);  // no menu
    Put16(0);  // the default dialog class
    PutText(title);
    Put16(static_cast<uint16_t>(points));
    Put16(static_cast<uint16_t>(font.lfWeight));
    bytes_.push_back(font.lfItalic);
    bytes_.push_back(font.lfCharSet);
    PutText(fontFace_);
    return true;
}

void DialogTemplate::AddControl(const std::wstring& className, const std::wstring& text, int id,
                                RECT place, DWORD style) {
    if (bytes_.empty()) return;
    Align(4);
    Put32(0);  // helpID
    Put32(0);  // exStyle
    Put32(style | WS_CHILD | WS_VISIBLE);
    Put16(static_cast<uint16_t>(place.left));
    Put16(static_cast<uint16_t>(place.top));
    Put16(static_cast<uint16_t>(place.right - place.left + 1));
    Put16(static_cast<uint16_t>(place.bottom - place.top + 1));
    Put32(static_cast<uint32_t>(id));
    if (className == L"Button")
        PutClassAtom(kButtonAtom);
    else if (className == L"Static")
        PutClassAtom(kStaticAtom);
    else
        PutText(className);
    PutText(text);
    Put16(0);  // no creation data
    ++count_;
    bytes_[countAt_] = static_cast<uint8_t>(count_);
    bytes_[countAt_ + 1] = static_cast<uint8_t>(count_ >> 8);
}

void DialogTemplate::AddButton(const std::wstring& text, int id, RECT place, bool isDefault) {
    AddControl(L"Button", text, id, place,
               WS_GROUP | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON));
}

void DialogTemplate::AddStatic(const std::wstring& text, RECT place, DWORD style) {
    AddControl(L"Static", text, -1, place, style);
}

INT_PTR DialogTemplate::RunTemplate(Window* owner) {
    if (bytes_.empty()) {
        ::SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    PrepareRun(owner, true);
    HWND ownerHandle = owner ? owner->Handle() : nullptr;
    return ::DialogBoxIndirectParamW(
        ModuleInstance(), reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()), ownerHandle,
        &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

DWORD DialogTemplate::CreateTemplateModeless(Window* owner) {
    if (bytes_.empty()) return ERROR_INVALID_DATA;
    PrepareRun(owner, false);
    HWND ownerHandle = owner ? owner->Handle() : nullptr;
    HWND hwnd = ::CreateDialogIndirectParamW(
        ModuleInstance(), reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()), ownerHandle,
        &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd) return ::GetLastError() ? ::GetLastError() : ERROR_CANNOT_MAKE;
    ::ShowWindow(hwnd, SW_SHOW);
    return 0;
}
