// The termios backend of the serial port on a pty pair: the test holds the
// pty's master side as the far end of the line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/Serial.h"
#include "engine/posix/SerialLine.h"
#include "engine/posix/SerialPorts.h"

namespace {

using Clock = std::chrono::steady_clock;

class PtyPort : public ::testing::Test {
  protected:
    PtyPort() {
        char name[256] = {};
        int slave = -1;
        if (openpty(&far, &slave, name, nullptr, nullptr) == 0) {
            close(slave);
            settings.devicePath = name;
        }
    }
    ~PtyPort() override {
        port.Close();
        if (far >= 0) close(far);
    }

    // Waits for the completion of one transfer, bounded.
    static bool Completes(Waitable& completion, std::uint32_t ms) {
        Waitable* sources[] = {&completion};
        return WaitForAny(sources, ms) == 0;
    }

    int far = -1;
    SerialSettings settings;
    Serial port;
};

TEST_F(PtyPort, WritesARequestThatArrivesWholeAtTheFarEnd) {
    ASSERT_TRUE(port.Open(settings)) << settings.devicePath;
    const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    ASSERT_TRUE(port.StartWrite(request));
    ASSERT_TRUE(Completes(port.WriteCompletion(), 1000));
    std::size_t written = 0;
    EXPECT_TRUE(port.FinishWrite(written));
    EXPECT_EQ(written, sizeof request);
    EXPECT_FALSE(port.WritePending());
    std::uint8_t got[16] = {};
    EXPECT_EQ(read(far, got, sizeof got), static_cast<ssize_t>(sizeof request));
    EXPECT_EQ(0, std::memcmp(got, request, sizeof request));
}

TEST_F(PtyPort, ReadsOneByteAtATimeAndCompletesEmptyAfterItsTime) {
    ASSERT_TRUE(port.Open(settings));
    const std::uint8_t reply[] = {0x11, 0x22};
    ASSERT_EQ(write(far, reply, 2), 2);
    for (std::uint8_t expected : reply) {
        ASSERT_TRUE(port.StartRead(200));
        ASSERT_TRUE(Completes(port.ReadCompletion(), 1000));
        std::uint8_t byte = 0;
        std::size_t count = 0;
        EXPECT_TRUE(port.FinishRead(byte, count));
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(byte, expected);
    }
    const auto start = Clock::now();
    ASSERT_TRUE(port.StartRead(200));
    ASSERT_TRUE(Completes(port.ReadCompletion(), 1000));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    std::uint8_t byte = 0;
    std::size_t count = 1;
    EXPECT_TRUE(port.FinishRead(byte, count));
    EXPECT_EQ(count, 0u) << "silence completes the read empty";
    EXPECT_GE(elapsed, 190);
    EXPECT_LT(elapsed, 600);
}

TEST_F(PtyPort, DiscardsWhatArrivedBeforeTheNextRequest) {
    ASSERT_TRUE(port.Open(settings));
    const std::uint8_t late[] = {0x01, 0x03, 0x02};
    ASSERT_EQ(write(far, late, 3), 3);
    usleep(50 * 1000);
    ASSERT_TRUE(port.DiscardInput());
    ASSERT_TRUE(port.StartRead(100));
    ASSERT_TRUE(Completes(port.ReadCompletion(), 1000));
    std::uint8_t byte = 0;
    std::size_t count = 1;
    EXPECT_TRUE(port.FinishRead(byte, count));
    EXPECT_EQ(count, 0u);
}

TEST_F(PtyPort, ACancelledReadLeavesTheNextByteForTheNextRead) {
    ASSERT_TRUE(port.Open(settings));
    ASSERT_TRUE(port.StartRead(5000));
    port.CancelRead();
    EXPECT_FALSE(port.ReadPending());
    const std::uint8_t one = 0x7E;
    ASSERT_EQ(write(far, &one, 1), 1);
    ASSERT_TRUE(port.StartRead(1000));
    ASSERT_TRUE(Completes(port.ReadCompletion(), 1000));
    std::uint8_t byte = 0;
    std::size_t count = 0;
    EXPECT_TRUE(port.FinishRead(byte, count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, one);
}

TEST_F(PtyPort, ReportsAReadFailureWhenTheFarEndHangsUp) {
    ASSERT_TRUE(port.Open(settings));
    ASSERT_TRUE(port.StartRead(5000));
    close(far);
    far = -1;
    ASSERT_TRUE(Completes(port.ReadCompletion(), 1000)) << "a hang-up ends the read at once";
    std::uint8_t byte = 0;
    std::size_t count = 0;
    EXPECT_FALSE(port.FinishRead(byte, count));
}

TEST_F(PtyPort, RefusesAMissingDeviceAndASecondOpener) {
    SerialSettings missing;
    missing.devicePath = "/dev/kestrom-no-such-port";
    Serial other;
    EXPECT_FALSE(other.Open(missing));
    EXPECT_FALSE(other.IsOpen());
    ASSERT_TRUE(port.Open(settings));
    EXPECT_FALSE(other.Open(settings)) << "the port is opened for exclusive use";
}

TEST(SerialDevice, ComPortsMapToTtySAsWineMapsThem) {
    SerialSettings settings;
    settings.comport = 12;
    EXPECT_EQ(SerialDeviceName(settings), L"/dev/ttyS11");
    settings.comport = 1;
    EXPECT_EQ(SerialDeviceName(settings), L"/dev/ttyS0");
    settings.devicePath = "/dev/ttyUSB3";
    EXPECT_EQ(SerialDeviceName(settings), L"/dev/ttyUSB3") << "a device path wins over comport";
}

TEST(SerialLine, SetsRawBytesAndTheHandshakeOfTheSettings) {
    struct Case {
        std::uint32_t handshaking;
        bool rtsCts;
        bool xonXoff;
    };
    for (const Case& c : {Case{0, false, false}, Case{1, true, false}, Case{2, false, true},
                          Case{7, false, false}}) {
        SerialSettings settings;
        settings.handshaking = c.handshaking;
        settings.baud = 115200;
        settings.parity = 2;
        settings.stopbits = 2;
        termios tio{};
        tio.c_iflag = IXON | ICRNL;
        tio.c_lflag = ICANON | ECHO;
        ASSERT_TRUE(FillTermios(tio, settings));
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.rtsCts) << "handshaking " << c.handshaking;
        EXPECT_EQ((tio.c_iflag & IXON) != 0, c.xonXoff) << "handshaking " << c.handshaking;
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.xonXoff) << "handshaking " << c.handshaking;
        EXPECT_EQ(tio.c_iflag & ICRNL, 0u) << "bytes pass untranslated";
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(cfgetospeed(&tio), B115200);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_NE(tio.c_cflag & PARENB, 0u);
        EXPECT_EQ(tio.c_cflag & PARODD, 0u) << "even parity";
        EXPECT_NE(tio.c_cflag & CSTOPB, 0u) << "two stop bits";
    }
}

TEST(SerialLine, RefusesSettingsTheLineCannotTake) {
    termios tio{};
    SerialSettings settings;
    settings.baud = 12345;
    EXPECT_FALSE(FillTermios(tio, settings)) << "unknown baud rate";
    settings = SerialSettings{};
    settings.stopbits = 1;
    EXPECT_FALSE(FillTermios(tio, settings)) << "one and a half stop bits";
    settings = SerialSettings{};
    settings.databits = 9;
    EXPECT_FALSE(FillTermios(tio, settings));
}

TEST(SerialPortList, ListsComNamesDevicePathsAndStableNamesThatExist) {
    namespace fs = std::filesystem;
    const fs::path dev = fs::temp_directory_path() / ("kestrom-dev-" + std::to_string(getpid()));
    fs::create_directories(dev / "serial" / "by-id");
    EXPECT_TRUE(ListSerialDevices(dev.string(), false).empty()) << "no devices, empty list";
    for (const char* name : {"ttyS1", "ttyS0", "ttyUSB0", "ttyACM2", "ttySX", "tty1", "null"})
        std::ofstream(dev / name).put('\n');
    std::ofstream(dev / "serial" / "by-id" / "usb-FTDI_1234-if00-port0").put('\n');
    const std::string root = dev.string();
    EXPECT_EQ(
        ListSerialDevices(root, false),
        (std::vector<std::wstring>{
            L"COM1", L"COM2", std::wstring(root.begin(), root.end()) + L"/ttyACM2",
            std::wstring(root.begin(), root.end()) + L"/ttyUSB0",
            std::wstring(root.begin(), root.end()) + L"/serial/by-id/usb-FTDI_1234-if00-port0"}));
    EXPECT_EQ(ListSerialDevices(root, true).size(), 3u) << "plain files have no UART behind them";
    fs::remove_all(dev);
}

}  // namespace
