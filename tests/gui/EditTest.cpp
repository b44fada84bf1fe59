// The validated edits: what text each accepts, and how an invalid text shows.
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "ui/CommonControls/EditDataItem.h"
#include "ui/CommonControls/EditInt.h"
#include "ui/DialogTemplate.h"

using CommonControls::EditDataItem;
using CommonControls::EditInt;

namespace {

struct IntCase {
    const wchar_t* text;
    int64_t minimum;
    int64_t maximum;
    bool hex;
    bool valid;
    int64_t value;
};

const IntCase kIntCases[] = {
    {L"12", 0, 100, false, true, 12},
    {L"12x", 0, 100, false, false, 0},
    {L"+12", 0, 100, false, true, 12},
    {L"-12", -20, 100, false, true, -12},
    {L"-12", 0, 100, false, false, 0},
    {L" 12", 0, 100, false, false, 0},
    {L"12 ", 0, 100, false, false, 0},
    {L"", 0, 100, false, false, 0},
    {L"+", 0, 100, false, false, 0},
    {L"100", 0, 100, false, true, 100},
    {L"101", 0, 100, false, false, 0},
    {L"0", 0, 100, false, true, 0},
    {L"99999999999999999999999", 0, 65535, false, false, 0},
    {L"ff", 0, 255, true, true, 255},
    {L"FF", 0, 255, true, true, 255},
    {L"100", 0, 255, true, false, 0},
    {L"0xff", 0, 255, true, false, 0},
    {L"ff", 0, 255, false, false, 0},
};

TEST(EditInt, AcceptsOneOptionalSignAndDigitsWithinItsRange) {
    for (const IntCase& c : kIntCases) {
        const auto parsed = EditInt::Parse(c.text, c.minimum, c.maximum, c.hex);
        EXPECT_EQ(parsed.has_value(), c.valid) << "\"" << testing::PrintToString(c.text) << "\"";
        if (parsed && c.valid) {
            EXPECT_EQ(*parsed, c.value) << testing::PrintToString(c.text);
        }
        EditInt edit(c.minimum, c.maximum, c.hex);
        EXPECT_EQ(edit.Accepts(c.text), c.valid) << testing::PrintToString(c.text);
    }
}

struct ItemCase {
    DataItem::Type type;
    const wchar_t* text;
    bool valid;
};

// The texts themselves are DataItem's (ValuesTest): here the edit asks the
// item of its own type, so one text passes for one type and fails another.
const ItemCase kItemCases[] = {
    {DataItem::Float, L"abc", false},           {DataItem::Float, L"1.5", true},
    {DataItem::Bit, L"2", false},               {DataItem::UnsignedShort, L"", true},
    {DataItem::UnsignedShort, L"1.5", false},   {DataItem::String, L"any text at all", true},
    {DataItem::Unknown, L"1", false},
};

TEST(EditDataItem, AcceptsWhatAnItemOfItsTypeAccepts) {
    for (const ItemCase& c : kItemCases) {
        EditDataItem edit(c.type);
        EXPECT_EQ(edit.Accepts(c.text), c.valid)
            << "type " << c.type << " text " << testing::PrintToString(c.text);
    }
}

// A dialog with one edit, made from an in-memory template, shown modeless.
class EditDialog : public DialogTemplate {
  public:
    static constexpr int kEditId = 100;
    explicit EditDialog(CommonControls::EditValidator& edit) : edit_(edit) {
        Begin(L"Edit", RECT{0, 0, 150, 60});
        AddStatic(L"Label", RECT{7, 7, 60, 15});
        AddControl(L"Edit", L"", kEditId, RECT{7, 20, 100, 33}, WS_BORDER | ES_AUTOHSCROLL);
        AddButton(L"OK", IDOK, RECT{7, 40, 56, 53}, true);
    }
    DWORD OnInitDialog() override { return edit_.Attach(this, kEditId); }

  private:
    CommonControls::EditValidator& edit_;
};

// The background an edit asks for while the dialog paints it.
struct Colours {
    HBRUSH brush;
    COLORREF dcBrush;
    COLORREF background;
};

Colours AskColours(HWND dialog, HWND control, UINT message) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    ::SetDCBrushColor(dc, RGB(1, 2, 3));
    ::SetBkColor(dc, RGB(4, 5, 6));
    auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(dialog, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
    Colours colours{brush, ::GetDCBrushColor(dc), ::GetBkColor(dc)};
    ::DeleteDC(dc);
    return colours;
}

TEST(EditValidator, AnInvalidEnabledEditPaintsLightRedAndADisabledOneKeepsTheDefaults) {
    EditInt edit(0, 100);
    EditDialog dialog(edit);
    ASSERT_EQ(dialog.CreateTemplateModeless(nullptr), 0u);
    HWND control = ::GetDlgItem(dialog.Handle(), EditDialog::kEditId);

    ::SetWindowTextW(control, L"12x");
    PumpMessages(10);
    EXPECT_FALSE(edit.Valid());
    Colours invalid = AskColours(dialog.Handle(), control, WM_CTLCOLOREDIT);
    EXPECT_EQ(invalid.brush, ::GetStockObject(DC_BRUSH));
    EXPECT_EQ(invalid.dcBrush, 0x7F7FFFu);
    EXPECT_EQ(invalid.background, 0x7F7FFFu);

    ::SetWindowTextW(control, L"+12");
    PumpMessages(10);
    EXPECT_TRUE(edit.Valid());
    EXPECT_EQ(edit.GetText(), L"+12");
    // Valid text keeps the system's colours: the default handling answers.
    Colours valid = AskColours(dialog.Handle(), control, WM_CTLCOLOREDIT);
    EXPECT_NE(valid.brush, ::GetStockObject(DC_BRUSH));
    EXPECT_EQ(valid.dcBrush, RGB(1, 2, 3));
    EXPECT_NE(valid.background, 0x7F7FFFu);

    ::SetWindowTextW(control, L"101");
    edit.Enable(false);
    Colours disabled = AskColours(dialog.Handle(), control, WM_CTLCOLORSTATIC);
    EXPECT_NE(disabled.brush, ::GetStockObject(DC_BRUSH));
    EXPECT_EQ(disabled.dcBrush, RGB(1, 2, 3));
    EXPECT_NE(disabled.background, 0x7F7FFFu);
    EXPECT_FALSE(edit.Valid());
}

TEST(Dialog, ColoursOfWindowsItDidNotAttachAreLeftToTheSystem) {
    EditInt edit(0, 100);
    EditDialog dialog(edit);
    ASSERT_EQ(dialog.CreateTemplateModeless(nullptr), 0u);
    // The plain label has no object; a stray value in its user data (some
    // other code's) must not be taken for one.
    HWND label = ::GetWindow(dialog.Handle(), GW_CHILD);
    ASSERT_EQ(ClassOf(label), L"Static");
    ::SetWindowLongPtrW(label, GWLP_USERDATA, 0x12345678);
    Colours colours = AskColours(dialog.Handle(), label, WM_CTLCOLORSTATIC);
    EXPECT_NE(colours.brush, ::GetStockObject(DC_BRUSH));
    EXPECT_EQ(colours.dcBrush, RGB(1, 2, 3));
    // A notification from a window without an object (a tooltip's) is not
    // reflected anywhere.
    NMHDR header{label, 0, static_cast<UINT>(TTN_GETDISPINFOW)};
    EXPECT_EQ(::SendMessageW(dialog.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)), 0);
}

}  // namespace
