#include <gtest/gtest.h>

#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/PacketField.h"
#include "protocol/Poll.h"
#include "protocol/ProtocolTable.h"

using F = PacketField;

TEST(FunctionTable, ListsTheTwelveCodesWithTheirFieldsInDialogOrder) {
    std::vector<int> codes;
    for (const ModbusFunction& row : FunctionTable()) codes.push_back(row.code);
    EXPECT_EQ(codes, (std::vector<int>{1, 2, 3, 4, 5, 6, 15, 16, 65, 66, 67, 68}));
    EXPECT_STREQ(FindFunction(3)->name, L"03: Read Input Registers");
    EXPECT_STREQ(FindFunction(68)->name, L"68: Daniel Write Doubles");
    using V = std::vector<PacketField>;
    auto fields = [](std::span<const PacketField> list) { return V(list.begin(), list.end()); };
    EXPECT_EQ(fields(FindFunction(1)->replyFields), (V{F::bytecount, F::data}));
    EXPECT_EQ(fields(FindFunction(5)->replyFields), (V{F::start, F::data}));
    EXPECT_EQ(fields(FindFunction(15)->requestFields),
              (V{F::start, F::count, F::bytecount, F::data}));
    EXPECT_EQ(fields(FindFunction(65)->replyFields), (V{F::itemcount, F::data}));
    EXPECT_EQ(fields(FindFunction(66)->requestFields), (V{F::start, F::count, F::data}));
    for (int code : {0, 7, 64, 69, 0x83})
        EXPECT_EQ(FindFunction(static_cast<uint8_t>(code)), nullptr) << code;
    EXPECT_STREQ(PacketFieldName(F::itemcount), L"itemcount");
    EXPECT_EQ(ProtocolName(Protocol::Rtu), L"Modbus RTU");
    EXPECT_EQ(ProtocolName(2), L"");
}

TEST(FormatPresetTable, HoldsTheNinePresetsWithTheirStepsTypesAndByteCounts) {
    const struct {
        const wchar_t* name;
        int encoding, step;
        bool countIsItems;
        DataItem::Type type;
    } expected[] = {{L"BIT", 1, 1, true, DataItem::Bit},
                    {L"SHORT UINT", 3, 1, false, DataItem::UnsignedShort},
                    {L"FLOAT", 5, 1, true, DataItem::Float},
                    {L"ROSEMOUNT FLOAT", 6, 2, false, DataItem::Float},
                    {L"DOUBLE", 9, 1, true, DataItem::Double},
                    {L"PHILIPS FLOAT", 5, 2, false, DataItem::Float},
                    {L"PHILIPS DOUBLE", 9, 4, false, DataItem::Double},
                    {L"LONG UINT", 11, 2, false, DataItem::UnsignedInt},
                    {L"ASCII 8", 15, 1, true, DataItem::String}};
    ASSERT_EQ(FormatPresetTable().size(), 9u);
    for (int id = 0; id < 9; ++id) {
        const FormatPreset& row = FormatPresetTable()[id];
        EXPECT_EQ(row.id, id);
        EXPECT_STREQ(row.name, expected[id].name);
        EXPECT_EQ(row.encoding, expected[id].encoding) << id;
        EXPECT_EQ(StepForPreset(id), expected[id].step) << id;
        EXPECT_EQ(row.countIsItems, expected[id].countIsItems) << id;
        EXPECT_EQ(TypeForPreset(id), expected[id].type) << id;
    }
    EXPECT_EQ(FindPreset(9), nullptr);
    EXPECT_EQ(StepForPreset(99), 1) << "a missing preset must not give a zero step";
    EXPECT_EQ(TypeForPreset(42), DataItem::Unknown);

    const FormatPreset* bit = FindPreset(PresetId::Bit);
    EXPECT_EQ(ByteCountFor(bit, 8), 1);
    EXPECT_EQ(ByteCountFor(bit, 9), 2);
    EXPECT_EQ(ByteCountFor(bit, 2000), 250);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::RosemountFloat), 10), 40);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Ascii8), 3), 24);
    EXPECT_EQ(ByteCountFor(nullptr, 5), 10) << "no preset counts as 16-bit";
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Double), 8192), 16384) << "not wrapped to 0";
}

TEST(MakePoll, KeepsSizeOnlyForFunctionsWithACountAndSpansSizeTimesStep) {
    Poll poll;
    ASSERT_TRUE(MakePoll(5, 10, 10, PresetId::Bit, poll));
    EXPECT_EQ(poll.size, 1);
    ASSERT_TRUE(MakePoll(16, 10, 10, PresetId::ShortUint, poll));
    EXPECT_EQ(poll.size, 10);
    MakePoll(3, 65534, 2, PresetId::LongUint, poll);
    EXPECT_EQ(poll.LastAddress(), 65536u) << "items at 65534 and 65536, counted without wrapping";
    EXPECT_FALSE(MakePoll(7, 1, 2, PresetId::ShortUint, poll));
    EXPECT_EQ(poll.FunctionCode(), 0) << "an unsupported code leaves the poll without function";
}
