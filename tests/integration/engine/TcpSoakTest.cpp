// A bounded soak: the slave drops the connection 150 times, at
// random points of its reply (mid-frame included). After every drop the
// master reconnects and values resume, and when it is stopped the process is
// back to the descriptors and threads it had before.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <random>

#include "FakeSlave.h"
#include "engine/CommsSettings.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

namespace {

using Bytes = FakeSlave::Bytes;
using Clock = std::chrono::steady_clock;

long CountEntries(const char* directory) {
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

TEST(TcpSoak, ReconnectsAfterEveryDropAndReturnsToItsBaseline) {
    constexpr int Drops = 150;
    // Every odd request is answered whole with a value that changes; every
    // even one gets a cut reply (0 to 10 of its 11 bytes) and a close.
    std::mt19937 random(20261206);
    FakeSlave slave([&random](const Bytes& request, int number) {
        const std::uint16_t value = static_cast<std::uint16_t>(number);
        Bytes reply = FakeSlave::MbapReply(request, FakeSlave::RegistersPdu(3, {value}));
        if (number % 2 == 1) return FakeSlave::Answer{{reply}};
        reply.resize(std::uniform_int_distribution<std::size_t>(0, reply.size() - 1)(random));
        FakeSlave::Answer cut;
        if (!reply.empty()) cut.segments.push_back(reply);
        cut.closeAfter = true;
        return cut;
    });
    const long descriptors = CountEntries("/proc/self/fd");
    const long threads = CountEntries("/proc/self/task");

    Notifier notifier;
    NotificationQueue queue;
    for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event)
        notifier.Register(&queue, event);
    CommsSettings settings;
    settings.pollrate = 0;
    settings.timeout = 500;
    settings.retries = 0;
    Poll poll;
    MakePoll(3, 7, 1, PresetId::ShortUint, poll);
    settings.polls = {poll};
    settings.datamap.Insert(7, DataItem(DataItem::UnsignedShort));
    {
        ModbusMasterEthernet master(notifier, settings);
        master.host = "127.0.0.1";
        master.port = slave.Port();
        ASSERT_TRUE(master.Start());
        int lost = 0;
        int changes = 0;
        const auto until = Clock::now() + std::chrono::seconds(60);
        while (lost < Drops && Clock::now() < until) {
            std::optional<Notification> next = queue.Pop(100);
            if (!next) continue;
            lost += next->event == EventConnectionState &&
                    next->wParam == static_cast<std::uintptr_t>(ConnectionState::Lost);
            if (next->event == EventItemChanged) ++changes;
        }
        master.Stop(true);
        EXPECT_EQ(lost, Drops);
        EXPECT_GE(changes, Drops - 1) << "values resume after every reconnection";
        EXPECT_GE(slave.Connections(), Drops);
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors) << "no socket left open";
    EXPECT_EQ(CountEntries("/proc/self/task"), threads) << "no thread left running";
}

}  // namespace
