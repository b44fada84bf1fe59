// The Win32 backend of the serial port: the device names, the DCB with its
// handshake table, and what a missing port does.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/Utf16.h"
#include "engine/ModbusMasterSerial.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "engine/Serial.h"
#include "engine/win32/SerialDcb.h"
#include "protocol/DebugTrace.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

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

// Run by com_port_under_wine.py, which links the COM port to one end of a pty
// pair whose other end a pymodbus RTU slave serves; skipped otherwise.
TEST(SerialComPort, PollsASlaveThroughTheComPortTheEnvironmentNames) {
    const char* comport = std::getenv("KESTROM_TEST_COMPORT");
    if (comport == nullptr) GTEST_SKIP() << "no COM port linked to a slave";
    Notifier notifier;
    NotificationQueue queue;
    for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event)
        notifier.Register(&queue, event);
    CommsSettings settings;
    settings.protocol = 1;
    settings.pollrate = 0;
    settings.timeout = 1000;
    Poll registers;
    Poll coils;
    MakePoll(3, 40, 4, PresetId::ShortUint, registers);
    MakePoll(1, 0, 10, PresetId::Bit, coils);
    settings.polls = {registers, coils};
    for (std::uint16_t a = 40; a < 44; ++a)
        settings.datamap.Insert(a, DataItem(DataItem::UnsignedShort));
    for (std::uint16_t a = 0; a < 10; ++a) settings.datamap.Insert(a, DataItem(DataItem::Bit));
    static std::vector<std::wstring> traces;
    traces.clear();
    DebugTrace::Sink previous =
        DebugTrace::SetSink([](const wchar_t* line) { traces.push_back(line); });
    ModbusMasterSerial master(notifier, settings);
    master.line.comport = static_cast<std::uint32_t>(std::atoi(comport));
    ASSERT_TRUE(master.Start());
    std::vector<std::uint32_t> states;
    int replies = 0;
    int failures = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (replies < 2 && std::chrono::steady_clock::now() < until) {
        std::optional<Notification> next = queue.Pop(20);
        if (!next) continue;
        if (next->event == EventConnectionState)
            states.push_back(static_cast<std::uint32_t>(next->wParam));
        if (next->event == EventPacketReceived) ++replies;
        if (next->event == EventTimeoutRetry || next->event == EventTimeoutGiveUp) ++failures;
    }
    master.Stop(true);
    DebugTrace::SetSink(previous);
    std::wstring steps;
    for (const std::wstring& line : traces) steps += line;
    const std::string traced = Utf16::ToUtf8(steps);
    EXPECT_EQ(replies, 2) << traced;
    EXPECT_EQ(failures, 0) << traced;
    EXPECT_EQ(states, (std::vector<std::uint32_t>{0, 1})) << "COM" << comport;
    const std::uint16_t holding[] = {1234, 5678, 9, 65535};
    for (std::uint16_t i = 0; i < 4; ++i)
        EXPECT_EQ(settings.datamap.Find(40 + i)->AsUnsignedShort(), holding[i]) << 40 + i;
    const int bits[] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
    for (std::uint16_t i = 0; i < 10; ++i)
        EXPECT_EQ(settings.datamap.Find(i)->AsBit(), bits[i] == 1) << "coil " << i;
}

// Nothing answers on this COM port: each request's read is still outstanding
// when its timeout falls, and is cancelled before the next request goes out.
TEST(SerialComPort, CountsRequestsNobodyAnswersOnAComPortAgainstRetries) {
    const char* comport = std::getenv("KESTROM_TEST_SILENT_COMPORT");
    if (comport == nullptr) GTEST_SKIP() << "no silent COM port linked";
    Notifier notifier;
    NotificationQueue queue;
    for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event)
        notifier.Register(&queue, event);
    CommsSettings settings;
    settings.protocol = 1;
    settings.timeout = 300;
    settings.retries = 2;
    Poll first;
    Poll second;
    MakePoll(3, 0, 1, PresetId::ShortUint, first);
    MakePoll(3, 9, 1, PresetId::ShortUint, second);
    settings.polls = {first, second};
    ModbusMasterSerial master(notifier, settings);
    master.line.comport = static_cast<std::uint32_t>(std::atoi(comport));
    ASSERT_TRUE(master.Start());
    std::vector<std::string> steps;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (steps.size() < 7 && std::chrono::steady_clock::now() < until) {
        std::optional<Notification> next = queue.Pop(20);
        if (!next) continue;
        if (next->event == EventConnectionState)
            steps.push_back("state " + std::to_string(next->wParam));
        if (next->event == EventPacketSent)
            steps.push_back("sent " + std::to_string(next->packet->start));
        if (next->event == EventPacketReceived) steps.push_back("received");
        if (next->event == EventTimeoutRetry) steps.push_back("retry");
        if (next->event == EventTimeoutGiveUp) steps.push_back("give up");
    }
    master.Stop(true);
    EXPECT_EQ(steps, (std::vector<std::string>{"state 0", "state 1", "sent 0", "retry", "sent 0",
                                               "give up", "sent 9"}));
}

}  // namespace
