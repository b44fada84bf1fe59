// The Win32 side of the serial port: device names, the DCB with its handshake
// table, and the master on COM ports that com_port_under_wine.py links to pty
// pairs (a pymodbus RTU slave, a line nobody answers, the simulator).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "MasterEvents.h"
#include "engine/ModbusMasterSerial.h"
#include "engine/win32/SerialDcb.h"

namespace {

TEST(SerialDevice, ComPortsOpenTheirWin32DeviceNames) {
    SerialSettings settings;
    settings.comport = 12;
    EXPECT_EQ(SerialDeviceName(settings), L"\\\\.\\COM12");
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
        SCOPED_TRACE(c.handshaking);
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
        EXPECT_EQ(dcb.fOutxCtsFlow, c.ctsDsr);
        EXPECT_EQ(dcb.fOutxDsrFlow, c.ctsDsr);
        EXPECT_EQ(dcb.fDtrControl, c.dtr);
        EXPECT_EQ(dcb.fRtsControl, c.rts);
        EXPECT_EQ(dcb.fOutX, c.xonXoff);
        EXPECT_EQ(dcb.fInX, c.xonXoff);
        EXPECT_EQ(dcb.BaudRate, 19200u);
        EXPECT_EQ(dcb.Parity, 1);
        EXPECT_EQ(dcb.StopBits, 2);
        EXPECT_EQ(dcb.fBinary + dcb.fParity, 2u);
        EXPECT_EQ(dcb.fAbortOnError + dcb.fNull, 0u);
        EXPECT_EQ(dcb.XonChar, 0x11) << "fields outside the table keep the driver's values";
    }
}

// The master on the COM port an environment variable names; skipped without.
class SerialComPort : public ::testing::Test, protected MasterEvents {
  protected:
    SerialComPort() {
        settings.protocol = 1;
        settings.pollrate = 0;
        settings.timeout = 1000;
    }
    ~SerialComPort() override { master.Stop(true); }
    bool Start(const char* variable) {
        const char* comport = std::getenv(variable);
        if (comport == nullptr) return false;
        master.line.comport = static_cast<std::uint32_t>(std::atoi(comport));
        return master.Start();
    }

    CommsSettings settings;
    ModbusMasterSerial master{notifier, settings};
};

TEST_F(SerialComPort, PollsRegistersAndCoilsFromPymodbus) {
    settings.polls = {MakeTestPoll(3, 40, 4), MakeTestPoll(1, 0, 3, PresetId::Bit)};
    MapRegisters(settings.datamap, 40, 4);
    for (std::uint16_t a = 0; a < 3; ++a) settings.datamap.Insert(a, DataItem(DataItem::Bit));
    if (!Start("KESTROM_TEST_COMPORT")) GTEST_SKIP() << "no COM port linked to pymodbus";
    EXPECT_EQ(Until("received 6", 1, 10000),
              (Steps{"state 0", "state 1", "sent 40", "item 40", "item 41", "item 42", "item 43",
                     "received 13", "sent 0", "item 0", "item 1", "item 2", "received 6"}));
    const std::uint16_t holding[] = {1234, 5678, 9, 65535};
    for (std::uint16_t i = 0; i < 4; ++i)
        EXPECT_EQ(settings.datamap.Find(40 + i)->AsUnsignedShort(), holding[i]) << 40 + i;
    for (std::uint16_t i = 0; i < 3; ++i)
        EXPECT_EQ(settings.datamap.Find(i)->AsBit(), i != 1) << "coil " << i;
}

// Each request's read is still outstanding when its timeout falls, and is
// cancelled before the next request goes out.
TEST_F(SerialComPort, CountsRequestsNobodyAnswersAgainstRetries) {
    settings.timeout = 300;
    settings.retries = 2;
    settings.polls = {MakeTestPoll(3, 0, 1), MakeTestPoll(3, 9, 1)};
    if (!Start("KESTROM_TEST_SILENT_COMPORT")) GTEST_SKIP() << "no silent COM port linked";
    EXPECT_EQ(Until("sent 9"),
              (Steps{"state 0", "state 1", "sent 0", "retry", "sent 0", "give up", "sent 9"}));
}

TEST_F(SerialComPort, ReadsFloatsAndRegistersFromTheSimulator) {
    settings.polls = {MakeTestPoll(65, 0, 2, PresetId::Float), MakeTestPoll(3, 7, 1)};
    for (std::uint16_t a = 0; a < 2; ++a) settings.datamap.Insert(a, DataItem(DataItem::Float));
    MapRegisters(settings.datamap, 7, 1);
    if (!Start("KESTROM_TEST_SIMULATOR_COMPORT")) GTEST_SKIP() << "no simulator on a COM port";
    Until("received 7", 1, 10000);
    EXPECT_EQ(settings.datamap.Find(0)->AsFloat(), 1.5f);
    EXPECT_EQ(settings.datamap.Find(1)->AsFloat(), -2.25f);
    EXPECT_EQ(settings.datamap.Find(7)->AsUnsignedShort(), 77);
}

}  // namespace
