// The editing dialogs opened for real from their templates, filled, checked
// and closed from the test, as a user would.
#include <windows.h>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "document/VantelDoc.h"
#include "document/dialogs/DialogAddAddresses.h"
#include "document/dialogs/DialogConnection.h"
#include "document/dialogs/DialogPoll.h"
#include "protocol/FormatPreset.h"
#include "resources/ResourceIds.h"

namespace {

// What the user does to a dialog's controls, as the system tells it.
struct Driver {
    HWND dialog;

    HWND Item(int id) const { return ::GetDlgItem(dialog, id); }
    void Type(int id, const wchar_t* text) const { ::SetWindowTextW(Item(id), text); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    bool OkEnabled() const { return Enabled(IDOK); }
    // Picks the entry showing text, as a click in the list would.
    void Choose(int id, const std::wstring& text) const {
        const LRESULT index = ::SendMessageW(Item(id), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(text.c_str()));
        ASSERT_NE(index, CB_ERR) << "no entry " << testing::PrintToString(text);
        ::SendMessageW(Item(id), CB_SETCURSEL, index, 0);
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(Item(id)));
    }
    void Click(int id) const { ::SendMessageW(Item(id), BM_CLICK, 0, 0); }
    std::wstring Selected(int id) const {
        const LRESULT index = ::SendMessageW(Item(id), CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return L"";
        wchar_t text[128] = {};
        ::SendMessageW(Item(id), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
        return text;
    }
    std::vector<std::wstring> Entries(int id) const {
        std::vector<std::wstring> entries;
        const LRESULT count = ::SendMessageW(Item(id), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[128] = {};
            ::SendMessageW(Item(id), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            entries.push_back(text);
        }
        return entries;
    }
    void Ok() const { ::PostMessageW(dialog, WM_COMMAND, IDOK, 0); }
    void Cancel() const { ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }
};

using Texts = std::vector<std::wstring>;

TEST(DialogPoll, FormatsQuantityAndOkFollowTheFunctionAndTheFields) {
    DialogPoll dialog{PollForm{}};
    WhenDialogAppears([](HWND hwnd) {
        Driver d{hwnd};
        EXPECT_FALSE(d.OkEnabled()) << "no function chosen";
        EXPECT_EQ(d.Entries(IDC_POLL_FUNCTION).size(), 12u);

        d.Choose(IDC_POLL_FUNCTION, L"05: Write Single Coil");
        EXPECT_EQ(d.Entries(IDC_POLL_FORMAT), Texts{L"BIT"});
        EXPECT_EQ(d.Selected(IDC_POLL_FORMAT), L"BIT");
        EXPECT_FALSE(d.Enabled(IDC_POLL_FORMAT));
        EXPECT_FALSE(d.Enabled(IDC_POLL_QUANTITY));
        d.Type(IDC_POLL_START, L"7");
        EXPECT_TRUE(d.OkEnabled());

        d.Choose(IDC_POLL_FUNCTION, L"03: Read Input Registers");
        EXPECT_EQ(d.Selected(IDC_POLL_FORMAT), L"SHORT UINT");
        EXPECT_EQ(d.Entries(IDC_POLL_FORMAT).size(), 8u);
        EXPECT_TRUE(d.Enabled(IDC_POLL_FORMAT));
        EXPECT_TRUE(d.Enabled(IDC_POLL_QUANTITY));
        EXPECT_FALSE(d.OkEnabled()) << "no quantity yet";
        // The limits themselves are PollForm's (DialogRulesTest): here the
        // button follows them as the fields change.
        d.Type(IDC_POLL_QUANTITY, L"10");
        EXPECT_TRUE(d.OkEnabled());
        d.Type(IDC_POLL_START, L"65536");
        EXPECT_FALSE(d.OkEnabled());
        d.Type(IDC_POLL_START, L"100");

        d.Choose(IDC_POLL_FORMAT, L"DOUBLE");
        d.Choose(IDC_POLL_FUNCTION, L"04: Read Output Registers");
        EXPECT_EQ(d.Selected(IDC_POLL_FORMAT), L"DOUBLE") << "a chosen format stays";
        d.Choose(IDC_POLL_FUNCTION, L"06: Write Single Register");
        EXPECT_EQ(d.Entries(IDC_POLL_FORMAT), Texts{L"SHORT UINT"});
        d.Choose(IDC_POLL_FUNCTION, L"04: Read Output Registers");
        d.Choose(IDC_POLL_FORMAT, L"DOUBLE");
        EXPECT_TRUE(d.OkEnabled());
        d.Ok();
    });
    ASSERT_EQ(dialog.Run(nullptr, IDD_POLL), 1);
    EXPECT_EQ(dialog.Form().Function(), 4);
    EXPECT_EQ(dialog.Form().Start(), 100);
    EXPECT_EQ(dialog.Form().Quantity(), 10);
    EXPECT_EQ(dialog.Form().preset, PresetId::Double);
}

TEST(DialogAddAddresses, OkWaitsForARangeInOrderAndTheTypeIsPreselected) {
    DialogAddAddresses dialog{AddressRangeForm::ForRange(20, 10, 1, DataItem::Float)};
    WhenDialogAppears([](HWND hwnd) {
        Driver d{hwnd};
        EXPECT_EQ(TextOf(hwnd), L"Add Addresses");
        EXPECT_EQ(d.Entries(IDC_ADDR_TYPE),
                  (Texts{L"BIT", L"SHORT", L"LONG", L"FLOAT", L"DOUBLE", L"STRING"}));
        EXPECT_EQ(d.Selected(IDC_ADDR_TYPE), L"FLOAT");
        EXPECT_FALSE(d.OkEnabled()) << "first above last";
        d.Type(IDC_ADDR_LAST, L"30");
        EXPECT_TRUE(d.OkEnabled());
        d.Type(IDC_ADDR_STEP, L"2");
        d.Choose(IDC_ADDR_TYPE, L"DOUBLE");
        d.Ok();
    });
    ASSERT_EQ(dialog.Run(nullptr, IDD_ADD_ADDRESSES), 1);
    EXPECT_EQ(dialog.Form().First(), 20);
    EXPECT_EQ(dialog.Form().Last(), 30);
    EXPECT_EQ(dialog.Form().Step(), 2);
    EXPECT_EQ(dialog.Form().type, DataItem::Double);
}

TEST(DialogConnection, LinkChoiceSwitchesTheFieldsAndOkWaitsForUsableValues) {
    VantelDoc document;
    DialogConnection dialog(ConnectionForm::FromDocument(document),
                            {L"COM3", L"LPT1", L"COM12", L"COMX"});
    WhenDialogAppears([](HWND hwnd) {
        Driver d{hwnd};
        EXPECT_TRUE(d.OkEnabled());
        EXPECT_EQ(d.Selected(IDC_CONN_PROTOCOL), L"Modbus TCP");
        EXPECT_EQ(d.Entries(IDC_CONN_COM_PORT), (Texts{L"COM3", L"COM12", L"COM1"}))
            << "the project's own port stays on show";
        EXPECT_EQ(d.Selected(IDC_CONN_COM_PORT), L"COM1");
        EXPECT_EQ(d.Selected(IDC_CONN_BAUD), L"9600");
        EXPECT_TRUE(d.Enabled(IDC_CONN_HOST));
        EXPECT_FALSE(d.Enabled(IDC_CONN_BAUD));

        d.Type(IDC_CONN_HOST, L"");
        EXPECT_FALSE(d.OkEnabled()) << "a network link needs a host";
        d.Click(IDC_CONN_SERIAL);
        EXPECT_FALSE(d.Enabled(IDC_CONN_HOST));
        EXPECT_FALSE(d.Enabled(IDC_CONN_PORT));
        EXPECT_TRUE(d.Enabled(IDC_CONN_BAUD));
        EXPECT_TRUE(d.Enabled(IDC_CONN_COM_PORT));
        EXPECT_TRUE(d.OkEnabled());
        d.Type(IDC_CONN_RETRIES, L"2");
        d.Type(IDC_CONN_WEB_PORT, L"8081");
        d.Choose(IDC_CONN_COM_PORT, L"COM12");
        d.Choose(IDC_CONN_BAUD, L"115200");
        d.Choose(IDC_CONN_PARITY, L"Even");
        d.Choose(IDC_CONN_STOP_BITS, L"2");
        d.Choose(IDC_CONN_HANDSHAKING, L"Software");
        d.Choose(IDC_CONN_PROTOCOL, L"Modbus RTU");
        EXPECT_TRUE(d.OkEnabled());
        d.Ok();
    });
    ASSERT_EQ(dialog.Run(nullptr, IDD_CONNECTION), 1);
    EXPECT_TRUE(dialog.Form().ApplyTo(document));
    EXPECT_TRUE(document.IsSerial());
    EXPECT_EQ(document.SerialLine().comport, 12u);
    EXPECT_EQ(document.SerialLine().baud, 115200u);
    EXPECT_EQ(document.SerialLine().parity, 2);
    EXPECT_EQ(document.SerialLine().stopbits, 2);
    EXPECT_EQ(document.SerialLine().handshaking, 2u);
    EXPECT_EQ(document.Settings().protocol, 1);
    EXPECT_EQ(document.Settings().retries, 2u);
    EXPECT_EQ(document.WebPort(), 8081);
    EXPECT_EQ(document.EthernetMaster().host, "localhost") << "the empty host was not stored";
}

TEST(DialogConnection, OkWithoutChangesAndCancelLeaveTheDocumentUnmodified) {
    VantelDoc document;
    WhenDialogAppears([](HWND hwnd) { Driver{hwnd}.Ok(); });
    EXPECT_TRUE(DialogConnection::Edit(nullptr, document));
    EXPECT_FALSE(document.IsModified());

    WhenDialogAppears([](HWND hwnd) {
        Driver d{hwnd};
        d.Type(IDC_CONN_PORT, L"5020");
        d.Cancel();
    });
    EXPECT_FALSE(DialogConnection::Edit(nullptr, document));
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(document.EthernetMaster().port, 502);
}

}  // namespace
