// Which presets each function takes and how many items one poll may carry.
#include <gtest/gtest.h>

#include "protocol/FormatPreset.h"
#include "protocol/PollLimits.h"

namespace {

using V = std::vector<int32_t>;

TEST(PollLimits, EachFunctionOffersThePresetsItCanCarry) {
    const V bits{PresetId::Bit};
    const V registers{1, 2, 3, 4, 5, 6, 7, 8};
    for (uint8_t code : {1, 2, 5, 15}) EXPECT_EQ(PresetsForFunction(code), bits) << int(code);
    for (uint8_t code : {3, 4, 16, 65, 66, 67, 68})
        EXPECT_EQ(PresetsForFunction(code), registers) << int(code);
    EXPECT_EQ(PresetsForFunction(6), V{PresetId::ShortUint}) << "one 16-bit register";
    EXPECT_TRUE(PresetsForFunction(7).empty());
}

struct Change {
    uint8_t function;
    int32_t current;
    int32_t chosen;
};

TEST(PollLimits, ChoosingAFunctionKeepsASuitablePresetAndReplacesTheBitPreset) {
    const Change changes[] = {
        {5, PresetId::Double, PresetId::Bit},       {3, PresetId::Bit, PresetId::ShortUint},
        {4, PresetId::Double, PresetId::Double},    {65, PresetId::Bit, PresetId::Float},
        {67, PresetId::Bit, PresetId::Double},      {6, PresetId::Double, PresetId::ShortUint},
        {16, PresetId::LongUint, PresetId::LongUint}, {3, 99, PresetId::ShortUint},
    };
    for (const Change& c : changes) {
        EXPECT_EQ(PresetAfterFunctionChange(c.function, c.current), c.chosen)
            << "function " << int(c.function) << " from preset " << c.current;
    }
}

struct Limit {
    uint8_t function;
    int32_t preset;
    uint32_t most;
};

TEST(PollLimits, TheQuantityIsBoundSoRequestAndReplyFitAFrame) {
    const Limit limits[] = {
        {1, PresetId::Bit, 2000},           {3, PresetId::ShortUint, 125},
        {4, PresetId::LongUint, 62},        {3, PresetId::PhilipsDouble, 31},
        {5, PresetId::Bit, 1},              {6, PresetId::ShortUint, 1},
        {15, PresetId::Bit, 1968},          {16, PresetId::ShortUint, 123},
        {16, PresetId::RosemountFloat, 61}, {65, PresetId::Float, 62},
        {67, PresetId::Double, 31},         {66, PresetId::Float, 61},
        {68, PresetId::Double, 30},         {3, PresetId::Bit, 0},
        {6, PresetId::Float, 0},            {7, PresetId::ShortUint, 0},
    };
    for (const Limit& l : limits) {
        EXPECT_EQ(MaxPollQuantity(l.function, l.preset), l.most)
            << "function " << int(l.function) << " preset " << l.preset;
    }
}

TEST(PollLimits, APollFitsWithinItsQuantityAndAddressSpace) {
    EXPECT_FALSE(PollFits(3, 0, 126, PresetId::ShortUint)) << "beyond the quantity's limit";
    EXPECT_FALSE(PollFits(3, 0, 0, PresetId::ShortUint));
    EXPECT_TRUE(PollFits(3, 65535, 1, PresetId::ShortUint));
    EXPECT_FALSE(PollFits(3, 65535, 2, PresetId::ShortUint)) << "past address 65535";
    EXPECT_TRUE(PollFits(4, 65532, 2, PresetId::LongUint)) << "items at 65532 and 65534";
    EXPECT_FALSE(PollFits(4, 65533, 2, PresetId::LongUint));
    EXPECT_TRUE(PollFits(1, 63536, 2000, PresetId::Bit));
    EXPECT_TRUE(PollFits(5, 65535, 999, PresetId::Bit)) << "5 and 6 carry one item";
    EXPECT_FALSE(PollFits(6, 0, 1, PresetId::Double));
    EXPECT_FALSE(PollFits(15, 0, 1, PresetId::ShortUint));
    EXPECT_FALSE(PollFits(9, 0, 1, PresetId::ShortUint));
}

}  // namespace
