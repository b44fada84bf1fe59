// The termios side of the serial port: device names, line settings and the
// list of ports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TestLine.h"
#include "engine/Serial.h"
#include "engine/posix/SerialLine.h"
#include "engine/posix/SerialPorts.h"

namespace {

TEST(SerialDevice, ComPortsMapToTtySAsWineMapsThemAndADevicePathWins) {
    SerialSettings settings;
    settings.comport = 12;
    EXPECT_EQ(SerialDeviceName(settings), L"/dev/ttyS11");
    settings.devicePath = "/dev/ttyUSB3";
    EXPECT_EQ(SerialDeviceName(settings), L"/dev/ttyUSB3");
}

// Windows opens a COM port for one user only; the termios backend takes the
// tty exclusively (Wine does not enforce this on the COM ports it maps).
TEST(SerialDevice, IsOpenedForExclusiveUse) {
    TestLine line;
    Serial port;
    Serial other;
    ASSERT_TRUE(port.Open(line.settings));
    EXPECT_FALSE(other.Open(line.settings));
}

TEST(SerialLine, SetsRawBytesAndTheHandshakeOfTheSettings) {
    struct Case {
        std::uint32_t handshaking;
        bool rtsCts;
        bool xonXoff;
    };
    for (const Case& c : {Case{0, false, false}, Case{1, true, false}, Case{2, false, true},
                          Case{7, false, false}}) {
        SCOPED_TRACE(c.handshaking);
        SerialSettings settings;
        settings.handshaking = c.handshaking;
        settings.baud = 115200;
        settings.parity = 2;
        settings.stopbits = 2;
        termios tio{};
        tio.c_iflag = IXON | ICRNL;
        tio.c_lflag = ICANON | ECHO;
        ASSERT_TRUE(FillTermios(tio, settings));
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.rtsCts);
        EXPECT_EQ((tio.c_iflag & IXON) != 0, c.xonXoff);
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.xonXoff);
        EXPECT_EQ(tio.c_iflag & ICRNL, 0u) << "bytes pass untranslated";
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(cfgetospeed(&tio), B115200);
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
                  static_cast<tcflag_t>(CS8 | PARENB | CSTOPB))
            << "8 bits, even parity, two stop bits";
    }
    for (auto change : {+[](SerialSettings& s) { s.baud = 12345; },
                        +[](SerialSettings& s) { s.stopbits = 1; },  // one and a half
                        +[](SerialSettings& s) { s.databits = 9; }}) {
        SerialSettings refused;
        change(refused);
        termios tio{};
        EXPECT_FALSE(FillTermios(tio, refused)) << "a setting the line cannot take";
    }
}

TEST(SerialPortList, ListsComNamesDevicePathsAndStableNamesThatExist) {
    namespace fs = std::filesystem;
    const fs::path dev = fs::temp_directory_path() / ("kestrom-dev-" + std::to_string(getpid()));
    fs::create_directories(dev / "serial" / "by-id");
    EXPECT_TRUE(ListSerialDevices(dev.string(), false).empty()) << "no devices, empty list";
    for (const char* name : {"ttyS1", "ttyS0", "ttyUSB0", "ttyACM2", "ttySX", "tty1", "null"})
        std::ofstream(dev / name).put('\n');
    std::ofstream(dev / "serial" / "by-id" / "usb-FTDI_1234-if00-port0").put('\n');
    const std::wstring root = dev.wstring();
    EXPECT_EQ(ListSerialDevices(dev.string(), false),
              (std::vector<std::wstring>{L"COM1", L"COM2", root + L"/ttyACM2", root + L"/ttyUSB0",
                                         root + L"/serial/by-id/usb-FTDI_1234-if00-port0"}));
    EXPECT_EQ(ListSerialDevices(dev.string(), true).size(), 3u)
        << "plain files have no UART behind them";
    fs::remove_all(dev);
}

}  // namespace
