// The Win32 backend of the serial port: the device names, the DCB with its
// handshake table, and what a missing port does.
#include <gtest/gtest.h>
#include <windows.h>

#include "engine/Serial.h"
#include "engine/win32/SerialDcb.h"

namespace {

TEST(SerialDevice, ComPortsOpenTheirWin32DeviceNames) {
    SerialSettings settings;
    settings.comport = 12;
    EXPECT_EQ(SerialDeviceName(settings), L"\\\\.\\COM12");
    settings.comport = 3;
    EXPECT_EQ(SerialDeviceName(settings), L"\\\\.\\COM3");
}

TEST(SerialDcb, FollowsTheHandshakeTable) {
    struct Case {
        std::uint32_t handshaking;
        DWORD ctsDsr;
        DWORD dtr;
        DWORD rts;
        DWORD xonXoff;
    };
    for (const Case& c : {Case{0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 0},
                          Case{1, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, 0},
                          Case{2, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 1},
                          Case{7, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 0}}) {
        DCB dcb{};
        dcb.fAbortOnError = 1;
        dcb.fNull = 1;
        dcb.XonChar = 0x11;
        SerialSettings settings;
        settings.handshaking = c.handshaking;
        settings.baud = 19200;
        settings.parity = 1;
        settings.stopbits = 2;
        FillDcb(dcb, settings);
        EXPECT_EQ(dcb.fOutxCtsFlow, c.ctsDsr) << "handshaking " << c.handshaking;
        EXPECT_EQ(dcb.fOutxDsrFlow, c.ctsDsr) << "handshaking " << c.handshaking;
        EXPECT_EQ(dcb.fDtrControl, c.dtr) << "handshaking " << c.handshaking;
        EXPECT_EQ(dcb.fRtsControl, c.rts) << "handshaking " << c.handshaking;
        EXPECT_EQ(dcb.fOutX, c.xonXoff) << "handshaking " << c.handshaking;
        EXPECT_EQ(dcb.fInX, c.xonXoff) << "handshaking " << c.handshaking;
        EXPECT_EQ(dcb.BaudRate, 19200u);
        EXPECT_EQ(dcb.Parity, 1);
        EXPECT_EQ(dcb.StopBits, 2);
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(dcb.fParity, 1u);
        EXPECT_EQ(dcb.fAbortOnError, 0u);
        EXPECT_EQ(dcb.fNull, 0u);
        EXPECT_EQ(dcb.XonChar, 0x11) << "fields outside the table keep the driver's values";
    }
}

TEST(SerialPortWin32, RefusesAPortThatDoesNotExist) {
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
