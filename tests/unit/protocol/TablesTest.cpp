#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"

TEST(Tables, CountStepsBytesAndAddressesWithoutWrappingOrZeros) {
    std::vector<int> codes;
    for (const ModbusFunction& row : FunctionTable()) codes.push_back(row.code);
    EXPECT_EQ(codes, (std::vector<int>{1, 2, 3, 4, 5, 6, 15, 16, 65, 66, 67, 68}))
        << "dialog order";
    EXPECT_EQ(FindFunction(0x83), nullptr);
    EXPECT_EQ(StepForPreset(PresetId::PhilipsDouble), 4);
    EXPECT_EQ(StepForPreset(99), 1) << "a missing preset must not give a zero step";
    EXPECT_EQ(TypeForPreset(42), DataItem::Unknown);
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Bit), 2000), 250);
    EXPECT_EQ(ByteCountFor(nullptr, 5), 10) << "no preset counts as 16-bit";
    EXPECT_EQ(ByteCountFor(FindPreset(PresetId::Double), 8192), 16384) << "not wrapped to 0";
    EXPECT_EQ(MadePoll(5, 10, 10, PresetId::Bit).size, 1) << "functions without a count: size 1";
    EXPECT_EQ(MadePoll(3, 65534, 2, PresetId::LongUint).LastAddress(), 65536u) << "not wrapped";
    Poll poll;
    EXPECT_FALSE(MakePoll(7, 1, 2, PresetId::ShortUint, poll));
    EXPECT_EQ(poll.FunctionCode(), 0) << "an unsupported code leaves the poll without function";
}
