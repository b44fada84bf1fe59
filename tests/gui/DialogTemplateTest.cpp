// Dialogs built in memory: header, font, controls, and how they end.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "ui/DialogTemplate.h"

namespace {

constexpr int kEditId = 100;

class PromptDialog : public DialogTemplate {
  public:
    PromptDialog() {
        Begin(L"Enter Value", RECT{0, 0, 186, 55});
        AddStatic(L"Address 7:", RECT{7, 7, 179, 15});
        AddControl(L"Edit", L"", kEditId, RECT{7, 18, 179, 31}, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL);
        AddButton(L"OK", IDOK, RECT{75, 36, 124, 49}, true);
        AddButton(L"Cancel", IDCANCEL, RECT{130, 36, 179, 49}, false);
    }
    int oks = 0;
    int cancels = 0;

  protected:
    void OnOK() override { ++oks; }
    void OnCancel() override { ++cancels; }
};

// Where a control of the dialog sits, in dialog units.
RECT PlaceOf(HWND dialog, HWND control) {
    RECT rect;
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    RECT unit{0, 0, 4, 8};
    ::MapDialogRect(dialog, &unit);
    return RECT{::MulDiv(rect.left, 4, unit.right), ::MulDiv(rect.top, 8, unit.bottom),
                ::MulDiv(rect.right, 4, unit.right) - 1, ::MulDiv(rect.bottom, 8, unit.bottom) - 1};
}

TEST(DialogTemplate, OpensWithItsTitleControlsAndTheMessageFontAndEndsWithOkOrCancel) {
    PromptDialog dialog;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));

    bool checked = false;
    WhenDialogAppears([&](HWND hwnd) {
        checked = true;
        EXPECT_EQ(TextOf(hwnd), L"Enter Value");
        HWND edit = ::GetDlgItem(hwnd, kEditId);
        HWND ok = ::GetDlgItem(hwnd, IDOK);
        HWND cancel = ::GetDlgItem(hwnd, IDCANCEL);
        ASSERT_TRUE(edit && ok && cancel);
        EXPECT_EQ(ClassOf(edit), L"Edit");
        EXPECT_EQ(TextOf(ok), L"OK");
        EXPECT_EQ(TextOf(cancel), L"Cancel");
        EXPECT_TRUE(::GetWindowLongW(ok, GWL_STYLE) & BS_DEFPUSHBUTTON);
        const RECT place = PlaceOf(hwnd, ok);
        EXPECT_NEAR(place.left, 75, 1);
        EXPECT_NEAR(place.top, 36, 1);
        EXPECT_NEAR(place.right, 124, 1);
        EXPECT_NEAR(place.bottom, 49, 1);
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, metrics.lfMessageFont.lfFaceName);
        ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    });
    EXPECT_EQ(dialog.RunTemplate(nullptr), 1);
    EXPECT_TRUE(checked);
    EXPECT_EQ(dialog.oks, 1);

    WhenDialogAppears([](HWND hwnd) { ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(dialog.RunTemplate(nullptr), 2);
    EXPECT_EQ(dialog.cancels, 1);
}

TEST(Dialog, EnterDoesNotPressADisabledOk) {
    PromptDialog dialog;
    WhenDialogAppears([&](HWND hwnd) {
        dialog.EnableOk(false);
        ::SendMessageW(hwnd, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(::IsWindowVisible(hwnd)) << "the dialog must stay open";
        EXPECT_EQ(dialog.oks, 0);
        ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(dialog.RunTemplate(nullptr), 2);
}

}  // namespace
