#include <gtest/gtest.h>

#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/Poll.h"
#include "protocol/ProtocolTable.h"

TEST(Tables, ListTheFunctionsInDialogOrderAndThePresetsWithTheirSteps) {
    std::vector<int> codes;
    for (const ModbusFunction& row : FunctionTable()) codes.push_back(row.code);
    EXPECT_EQ(codes, (std::vector<int>{1, 2, 3, 4, 5, 6, 15, 16, 65, 66, 67, 68}));
    EXPECT_STREQ(FindFunction(3)->name, L"03: Read Input Registers");
    EXPECT_STREQ(FindFunction(68)->name, L"68: Daniel Write Doubles");
    for (int code : {0, 7, 64, 69, 0x83}) EXPECT_EQ(FindFunction(uint8_t(code)), nullptr) << code;
    std::wstring presets;
    for (const FormatPreset& row : FormatPresetTable())
        presets += std::wstring(row.name) + L" " + std::to_wstring(StepForPreset(row.id)) + L",";
    EXPECT_EQ(presets,
              L"BIT 1,SHORT UINT 1,FLOAT 1,ROSEMOUNT FLOAT 2,DOUBLE 1,PHILIPS FLOAT 2,"
              L"PHILIPS DOUBLE 4,LONG UINT 2,ASCII 8 1,");
    EXPECT_EQ(StepForPreset(99), 1) << "a missing preset must not give a zero step";
    EXPECT_EQ(TypeForPreset(PresetId::LongUint), DataItem::UnsignedInt);
    EXPECT_EQ(TypeForPreset(42), DataItem::Unknown);
    EXPECT_EQ(ProtocolName(Protocol::Rtu), L"Modbus RTU");
}

TEST(Tables, CountBytesAndAddressesWithoutWrapping) {
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Bit), 9), 2);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Bit), 2000), 250);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Ascii8), 3), 24);
    EXPECT_EQ(ByteCountFor(nullptr, 5), 10) << "no preset counts as 16-bit";
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Double), 8192), 16384) << "not wrapped to 0";
    Poll poll;
    ASSERT_TRUE(MakePoll(5, 10, 10, PresetId::Bit, poll));
    EXPECT_EQ(poll.size, 1) << "functions without a count keep size 1";
    MakePoll(3, 65534, 2, PresetId::LongUint, poll);
    EXPECT_EQ(poll.LastAddress(), 65536u) << "items at 65534 and 65536, counted without wrapping";
    EXPECT_FALSE(MakePoll(7, 1, 2, PresetId::ShortUint, poll));
    EXPECT_EQ(poll.FunctionCode(), 0) << "an unsupported code leaves the poll without function";
}
