#include <gtest/gtest.h>

#include <set>

#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/PacketField.h"
#include "protocol/Poll.h"
#include "protocol/ProtocolTable.h"

using F = PacketField;

TEST(FunctionTable, ListsTheTwelveCodesInDialogOrder) {
    std::vector<int> codes;
    for (const ModbusFunction& row : FunctionTable()) codes.push_back(row.code);
    EXPECT_EQ(codes, (std::vector<int>{1, 2, 3, 4, 5, 6, 15, 16, 65, 66, 67, 68}));
    EXPECT_STREQ(FindFunction(3)->name, L"03: Read Input Registers");
    EXPECT_STREQ(FindFunction(68)->name, L"68: Daniel Write Doubles");
}

TEST(FunctionTable, GivesEachFunctionItsRequestAndReplyFields) {
    auto fields = [](std::span<const PacketField> list) {
        return std::vector<PacketField>(list.begin(), list.end());
    };
    using V = std::vector<PacketField>;
    EXPECT_EQ(fields(FindFunction(1)->requestFields), (V{F::start, F::count}));
    EXPECT_EQ(fields(FindFunction(1)->replyFields), (V{F::bytecount, F::data}));
    EXPECT_EQ(fields(FindFunction(5)->replyFields), (V{F::start, F::data}));
    EXPECT_EQ(fields(FindFunction(15)->requestFields),
              (V{F::start, F::count, F::bytecount, F::data}));
    EXPECT_EQ(fields(FindFunction(16)->replyFields), (V{F::start, F::count}));
    EXPECT_EQ(fields(FindFunction(65)->replyFields), (V{F::itemcount, F::data}));
    EXPECT_EQ(fields(FindFunction(66)->requestFields), (V{F::start, F::count, F::data}));
    EXPECT_EQ(fields(FindFunction(68)->replyFields), (V{F::count}));
}

TEST(FunctionTable, DoesNotFindCodesOutsideTheTable) {
    for (int code : {0, 7, 17, 64, 69, 0x83, 255})
        EXPECT_EQ(FindFunction(static_cast<uint8_t>(code)), nullptr) << code;
}

TEST(PacketField, NamesAreTheTraceTexts) {
    EXPECT_STREQ(PacketFieldName(F::tcpid), L"tcpid");
    EXPECT_STREQ(PacketFieldName(F::tcpprotocol), L"tcpprotocol");
    EXPECT_STREQ(PacketFieldName(F::bytecount), L"bytecount");
    EXPECT_STREQ(PacketFieldName(F::itemcount), L"itemcount");
    EXPECT_STREQ(PacketFieldName(F::end), L"end");
    EXPECT_EQ(static_cast<int>(F::end), 11);
}

TEST(FormatPresetTable, HoldsTheNinePresets) {
    struct Row {
        int id;
        const wchar_t* name;
        int encoding, step;
        bool countIsItems;
    };
    const Row expected[] = {{0, L"BIT", 1, 1, true},
                            {1, L"SHORT UINT", 3, 1, false},
                            {2, L"FLOAT", 5, 1, true},
                            {3, L"ROSEMOUNT FLOAT", 6, 2, false},
                            {4, L"DOUBLE", 9, 1, true},
                            {5, L"PHILIPS FLOAT", 5, 2, false},
                            {6, L"PHILIPS DOUBLE", 9, 4, false},
                            {7, L"LONG UINT", 11, 2, false},
                            {8, L"ASCII 8", 15, 1, true}};
    ASSERT_EQ(FormatPresetTable().size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        const FormatPreset& row = FormatPresetTable()[i];
        EXPECT_EQ(row.id, expected[i].id);
        EXPECT_STREQ(row.name, expected[i].name);
        EXPECT_EQ(row.encoding, expected[i].encoding) << i;
        EXPECT_EQ(row.step, expected[i].step) << i;
        EXPECT_EQ(row.countIsItems, expected[i].countIsItems) << i;
    }
    EXPECT_EQ(FindPreset(9), nullptr);
    EXPECT_EQ(FindPreset(-1), nullptr);
}

TEST(FormatPresetTable, GivesStepAndTypeByPresetId) {
    EXPECT_EQ(StepForPreset(PresetId::PhilipsDouble), 4);
    EXPECT_EQ(StepForPreset(PresetId::LongUint), 2);
    EXPECT_EQ(StepForPreset(99), 1) << "a missing preset must not give a zero step";
    EXPECT_EQ(TypeForPreset(PresetId::Bit), DataItem::Bit);
    EXPECT_EQ(TypeForPreset(PresetId::ShortUint), DataItem::UnsignedShort);
    EXPECT_EQ(TypeForPreset(PresetId::RosemountFloat), DataItem::Float);
    EXPECT_EQ(TypeForPreset(PresetId::PhilipsDouble), DataItem::Double);
    EXPECT_EQ(TypeForPreset(PresetId::LongUint), DataItem::UnsignedInt);
    EXPECT_EQ(TypeForPreset(PresetId::Ascii8), DataItem::String);
    EXPECT_EQ(TypeForPreset(42), DataItem::Unknown);
}

TEST(ByteCountFor, CountsDataBytesOfEachLayout) {
    const FormatPreset* bit = FindPreset(PresetId::Bit);
    EXPECT_EQ(ByteCountFor(bit, 1), 1);
    EXPECT_EQ(ByteCountFor(bit, 8), 1);
    EXPECT_EQ(ByteCountFor(bit, 9), 2);
    EXPECT_EQ(ByteCountFor(bit, 0), 0);
    EXPECT_EQ(ByteCountFor(bit, 2000), 250);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::RosemountFloat), 10), 40);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Ascii8), 3), 24);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::ShortUint), 1), 2);
    EXPECT_EQ(ByteCountFor(nullptr, 5), 10) << "no preset counts as 16-bit";
    // 8 x 8192 wraps to 0 in 16 bits, which falls back to 2n.
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Double), 8192), 16384);
}

TEST(ProtocolTable, MapsIdsToLabels) {
    ASSERT_EQ(ProtocolTable().size(), 2u);
    EXPECT_EQ(ProtocolTable().begin()->first, 0);
    EXPECT_EQ(ProtocolName(Protocol::Tcp), L"Modbus TCP");
    EXPECT_EQ(ProtocolName(Protocol::Rtu), L"Modbus RTU");
    EXPECT_EQ(ProtocolName(2), L"");
}

TEST(MakePoll, KeepsSizeOnlyForFunctionsWithACount) {
    Poll poll;
    ASSERT_TRUE(MakePoll(5, 10, 10, PresetId::Bit, poll));
    EXPECT_EQ(poll.size, 1);
    ASSERT_TRUE(MakePoll(6, 10, 10, PresetId::ShortUint, poll));
    EXPECT_EQ(poll.size, 1);
    ASSERT_TRUE(MakePoll(16, 10, 10, PresetId::ShortUint, poll));
    EXPECT_EQ(poll.size, 10);
    EXPECT_EQ(poll.FunctionCode(), 16);
}

TEST(MakePoll, RefusesAnUnsupportedCodeAndLeavesThePollWithoutFunction) {
    Poll poll;
    EXPECT_FALSE(MakePoll(7, 1, 2, PresetId::ShortUint, poll));
    EXPECT_EQ(poll.function, nullptr);
    EXPECT_EQ(poll.FunctionCode(), 0);
}

TEST(Poll, SpansSizeTimesStepAddresses) {
    Poll poll;
    MakePoll(3, 100, 3, PresetId::LongUint, poll);
    EXPECT_EQ(poll.LastAddress(), 104u) << "items at 100, 102 and 104 cover 100 to 105";
    MakePoll(3, 65534, 2, PresetId::LongUint, poll);
    EXPECT_EQ(poll.LastAddress(), 65536u) << "counted without wrapping";
}
