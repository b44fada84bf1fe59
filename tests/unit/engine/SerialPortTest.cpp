// The machine's serial port through the interface the master uses, on a line
// whose far end the test drives.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TestLine.h"
#include "engine/Serial.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One read on port: the byte, none (the time ran out) or a failure (-1).
int ReadOne(Serial& port, std::uint32_t timeoutMs, std::uint8_t& byte) {
    if (!port.StartRead(timeoutMs)) return -1;
    Waitable* completion[] = {&port.ReadCompletion()};
    if (WaitForAny(completion, timeoutMs + 1000) != 0) return -1;
    std::size_t count = 0;
    return port.FinishRead(byte, count) ? static_cast<int>(count) : -1;
}

TEST(SerialPort, CarriesBytesBothWaysOneReadAtATime) {
    TestLine line;
    if (!line.Ready()) GTEST_SKIP() << "no serial line on this machine";
    Serial port;
    ASSERT_TRUE(port.Open(line.settings));

    const Bytes request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    ASSERT_TRUE(port.StartWrite(request));
    Waitable* written[] = {&port.WriteCompletion()};
    ASSERT_EQ(WaitForAny(written, 1000), 0);
    std::size_t count = 0;
    EXPECT_TRUE(port.FinishWrite(count));
    EXPECT_EQ(count, request.size());
    EXPECT_FALSE(port.WritePending());
    EXPECT_EQ(line.Read(1000), request) << "the request arrives whole";

    std::uint8_t byte = 0;
    ASSERT_TRUE(line.Write({0x11, 0x22}));
    for (std::uint8_t expected : {0x11, 0x22}) {
        EXPECT_EQ(ReadOne(port, 200, byte), 1);
        EXPECT_EQ(byte, expected);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadOne(port, 200, byte), 0) << "silence completes the read empty";
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(190));
    EXPECT_LT(elapsed, std::chrono::milliseconds(600));

    ASSERT_TRUE(line.Write({0x01, 0x03, 0x02}));  // a late reply
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(port.DiscardInput());
    EXPECT_EQ(ReadOne(port, 100, byte), 0) << "discarded before the next request";

    ASSERT_TRUE(port.StartRead(5000));
    port.CancelRead();
    EXPECT_FALSE(port.ReadPending());
    ASSERT_TRUE(line.Write({0x7E}));
    EXPECT_EQ(ReadOne(port, 1000, byte), 1) << "a cancelled read leaves the byte to the next";
    EXPECT_EQ(byte, 0x7E);

    ASSERT_TRUE(port.StartRead(5000));
    if (!line.HangUp()) return;
    Waitable* read[] = {&port.ReadCompletion()};
    ASSERT_EQ(WaitForAny(read, 1000), 0) << "a hang-up ends the read at once";
    EXPECT_FALSE(port.FinishRead(byte, count));
}

TEST(SerialPort, RefusesAPortThatDoesNotExistAndEveryTransferOnIt) {
    SerialSettings settings;
    settings.comport = 250;
    Serial port;
    EXPECT_FALSE(port.Open(settings));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartRead(200));
    const std::uint8_t byte = 0;
    EXPECT_FALSE(port.StartWrite({&byte, 1}));
}

}  // namespace
