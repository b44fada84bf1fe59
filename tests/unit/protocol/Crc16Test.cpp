#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/Crc16.h"

TEST(Crc16, MatchesTheModbusCheckValue) {
    // The standard check input "123456789" gives 0x4B37 for CRC-16/MODBUS.
    const Bytes text = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(0xFFFF, text), 0x4B37);
    EXPECT_EQ(Crc16(0xFFFF, text.data(), static_cast<int>(text.size())), 0x4B37);
}

TEST(Crc16, GivesZeroOverAnIntactFrameWithItsCrc) {
    const Bytes frame = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    EXPECT_EQ(Crc16(0xFFFF, frame), 0);
}

TEST(Crc16, ContinuesFromARunningValueAndIgnoresEmptyInput) {
    const Bytes frame = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    uint16_t first = Crc16(0xFFFF, frame.data(), 3);
    EXPECT_EQ(Crc16(first, frame.data() + 3, 3), Crc16(0xFFFF, frame));
    EXPECT_EQ(Crc16(0x1234, frame.data(), 0), 0x1234);
    EXPECT_EQ(Crc16(0x1234, frame.data(), -5), 0x1234);
}
