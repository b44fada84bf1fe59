// The rules of the editing dialogs: what each offers, when OK may be
// pressed, and what the connection dialog stores.
#include <gtest/gtest.h>

#include "document/AddressRangeForm.h"
#include "document/ConnectionForm.h"
#include "document/PollForm.h"
#include "document/VantelDoc.h"
#include "protocol/FormatPreset.h"

namespace {

struct OkCase {
    uint8_t function;
    const wchar_t* start;
    const wchar_t* quantity;
    int32_t preset;
    bool ok;
};

TEST(PollForm, OkNeedsAStartAddressAndAQuantityTheWireCanCarry) {
    const OkCase cases[] = {
        {3, L"0", L"10", PresetId::ShortUint, true},
        {3, L"65535", L"1", PresetId::ShortUint, true},
        {3, L"65536", L"1", PresetId::ShortUint, false},
        {3, L"", L"10", PresetId::ShortUint, false},
        {3, L"12x", L"10", PresetId::ShortUint, false},
        {3, L"0", L"0", PresetId::ShortUint, false},
        {3, L"0", L"", PresetId::ShortUint, false},
        {3, L"0", L"126", PresetId::ShortUint, false},
        {3, L"65530", L"7", PresetId::ShortUint, false},
        {1, L"0", L"2000", PresetId::Bit, true},
        {1, L"0", L"2001", PresetId::Bit, false},
        {6, L"7", L"", PresetId::ShortUint, true},
        {5, L"7", L"garbage", PresetId::Bit, true},
        {66, L"0", L"61", PresetId::Float, true},
        {66, L"0", L"62", PresetId::Float, false},
        {4, L"0", L"31", PresetId::Double, true},
        {4, L"0", L"32", PresetId::Double, false},
    };
    for (const OkCase& c : cases) {
        PollForm form;
        form.SelectFunction(c.function);
        form.start = c.start;
        form.quantity = c.quantity;
        form.preset = c.preset;
        EXPECT_EQ(form.OkEnabled(), c.ok)
            << "function " << int(c.function) << " start " << testing::PrintToString(c.start)
            << " quantity " << testing::PrintToString(c.quantity);
    }
    PollForm doubles;
    doubles.SelectFunction(4);
    doubles.preset = PresetId::Double;
    EXPECT_EQ(doubles.MaxQuantity(), 31u) << "the spin box stops where OK does";
}

TEST(AddressRangeForm, OkNeedsFirstNotAboveLastAndAStepOfOneToEight) {
    struct Case {
        const wchar_t* first;
        const wchar_t* last;
        const wchar_t* step;
        bool ok;
    } cases[] = {
        {L"10", L"20", L"1", true},  {L"20", L"10", L"1", false}, {L"10", L"10", L"8", true},
        {L"10", L"20", L"9", false}, {L"10", L"20", L"0", false}, {L"", L"20", L"1", false},
        {L"0", L"65535", L"1", true}, {L"0", L"65536", L"1", false}, {L"-1", L"5", L"1", false},
    };
    for (const Case& c : cases) {
        AddressRangeForm form{c.first, c.last, c.step};
        EXPECT_EQ(form.OkEnabled(), c.ok) << testing::PrintToString(c.first) << ".."
                                           << testing::PrintToString(c.last) << " step "
                                           << testing::PrintToString(c.step);
    }
}

TEST(ConnectionForm, OkNeedsEveryNumberInItsRangeAndAHostForANetworkLink) {
    VantelDoc document;
    const ConnectionForm defaults = ConnectionForm::FromDocument(document);
    EXPECT_TRUE(defaults.OkEnabled());
    struct Case {
        std::wstring ConnectionForm::* field;
        const wchar_t* text;
        bool ok;
    } cases[] = {
        {&ConnectionForm::host, L"", false},          {&ConnectionForm::port, L"0", false},
        {&ConnectionForm::port, L"65535", true},      {&ConnectionForm::port, L"65536", false},
        {&ConnectionForm::port, L"", false},          {&ConnectionForm::pollRate, L"0", false},
        {&ConnectionForm::pollRate, L"99999", true},  {&ConnectionForm::timeout, L"100000", false},
        {&ConnectionForm::retries, L"9", true},       {&ConnectionForm::retries, L"10", false},
        {&ConnectionForm::modbusAddress, L"247", true}, {&ConnectionForm::modbusAddress, L"248", false},
        {&ConnectionForm::webPort, L"", false},       {&ConnectionForm::webPort, L"1", true},
    };
    for (const Case& c : cases) {
        ConnectionForm form = defaults;
        form.*c.field = c.text;
        EXPECT_EQ(form.OkEnabled(), c.ok) << testing::PrintToString(c.text);
    }
    ConnectionForm serial = defaults;
    serial.serial = true;
    serial.host.clear();
    EXPECT_TRUE(serial.OkEnabled()) << "a serial link needs no host";
}

TEST(ConnectionForm, StoresWhatChangedAndMarksTheDocumentOnlyThen) {
    VantelDoc document;
    ConnectionForm form = ConnectionForm::FromDocument(document);
    EXPECT_FALSE(form.ApplyTo(document));
    EXPECT_FALSE(document.IsModified()) << "OK without changes marks nothing";

    // The serial line, protocol, retries and web port go through the dialog
    // in its own test; these are the fields it leaves alone.
    form.host = L"plc-7";
    form.port = L"5020";
    form.pollRate = L"250";
    form.modbusAddress = L"17";
    EXPECT_TRUE(form.ApplyTo(document));
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.EthernetMaster().host, "plc-7");
    EXPECT_EQ(document.EthernetMaster().port, 5020);
    EXPECT_EQ(document.Settings().pollrate, 250u);
    EXPECT_EQ(document.Settings().modbusaddress, 17);

    document.SetModified(false);
    form.port = L"";
    EXPECT_FALSE(form.ApplyTo(document)) << "an empty port must not become 0";
    EXPECT_EQ(document.EthernetMaster().port, 5020);
    EXPECT_FALSE(document.IsModified());
}

}  // namespace
