// The Win32 side of the serial port: device names, the DCB with its handshake
// table, and the master polling a real slave through a COM port.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <tuple>
#include <utility>

#include "MasterEvents.h"
#include "engine/ModbusMasterSerial.h"
#include "engine/win32/SerialDcb.h"

namespace {

TEST(SerialDevice, ComPortsOpenTheirWin32DeviceNames) {
    SerialSettings settings;
    settings.comport = 12;
    EXPECT_EQ(SerialDeviceName(settings), L"\\\\.\\COM12");
}

TEST(SerialDcb, FollowsTheHandshakeTableAndKeepsTheDriversOtherFields) {
    using Flow =
        std::tuple<DWORD, DWORD, DWORD, DWORD, DWORD, DWORD>;  // CTS, DSR, DTR, RTS, XON out, in
    const std::pair<std::uint32_t, Flow> table[] = {
        {0, {0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 0, 0}},
        {1, {1, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, 0, 0}},
        {2, {0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 1, 1}},
        {7, {0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 0, 0}}};
    using Line = std::tuple<DWORD, BYTE, BYTE, DWORD, DWORD, DWORD, DWORD, char>;
    for (const auto& [handshaking, flow] : table) {
        DCB dcb{};
        dcb.fAbortOnError = 1;
        dcb.fNull = 1;
        dcb.XonChar = 0x11;
        SerialSettings settings;
        settings.handshaking = handshaking;
        settings.baud = 19200;
        settings.parity = 1;
        settings.stopbits = 2;
        FillDcb(dcb, settings);
        EXPECT_EQ(Flow(+dcb.fOutxCtsFlow, +dcb.fOutxDsrFlow, +dcb.fDtrControl, +dcb.fRtsControl,
                       +dcb.fOutX, +dcb.fInX),
                  flow)
            << "handshaking " << handshaking;
        // Baud, parity, stop bits, binary, parity check, abort on error, null
        // stripping; XonChar is outside the table and keeps the driver's value.
        // (The unary + reads a bit-field as a value.)
        EXPECT_EQ(Line(dcb.BaudRate, dcb.Parity, dcb.StopBits, +dcb.fBinary, +dcb.fParity,
                       +dcb.fAbortOnError, +dcb.fNull, dcb.XonChar),
                  Line(19200, 1, 2, 1, 1, 0, 0, 0x11));
    }
}

// The master on the COM port that com_port_under_wine.py links to a pty pair
// whose other end a pymodbus RTU slave serves; skipped without it.
TEST(SerialComPort, PollsRegistersAndCoilsFromPymodbus) {
    const char* comport = std::getenv("KESTROM_TEST_COMPORT");
    if (comport == nullptr) GTEST_SKIP() << "no COM port linked to pymodbus";
    MasterEvents events;
    CommsSettings settings;
    settings.protocol = 1;
    settings.pollrate = 0;
    settings.timeout = 1000;
    settings.polls = {MakeTestPoll(3, 40, 4), MakeTestPoll(1, 0, 3, PresetId::Bit)};
    MapRegisters(settings.datamap, 40, 4);
    MapRegisters(settings.datamap, 0, 3, DataItem::Bit);
    ModbusMasterSerial master(events.notifier, settings);
    master.line.comport = static_cast<std::uint32_t>(std::atoi(comport));
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(events.Until("received 6", 1, 10000),
              "state 0, state 1, sent 40, item 40, item 41, item 42, item 43, received 13, sent 0, "
              "item 0, item 1, item 2, received 6");
    master.Stop(true);
    const std::uint16_t holding[] = {1234, 5678, 9, 65535};
    for (std::uint16_t i = 0; i < 4; ++i)
        EXPECT_EQ(settings.datamap.Find(40 + i)->AsUnsignedShort(), holding[i]) << 40 + i;
    for (std::uint16_t i = 0; i < 3; ++i)
        EXPECT_EQ(settings.datamap.Find(i)->AsBit(), i != 1) << "coil " << i;
}

}  // namespace
