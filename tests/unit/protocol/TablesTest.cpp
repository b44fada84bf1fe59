#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/FormatPreset.h"

TEST(Tables, CountStepsBytesAndAddressesWithoutWrappingOrZeros) {
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
