// Packets travel from a master to the monitor by ownership. Natively,
// LeakSanitizer fails the suite for any packet one of these paths forgets.
#include <gtest/gtest.h>

#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/ModbusPacket.h"

namespace {

PacketPtr Request(uint8_t function) {
    PacketPtr packet(new ModbusPacket(0, 1));
    packet->function = function;
    return packet;
}

TEST(PacketOwnership, PassesToTheQueueThatTookThePost) {
    NotificationQueue monitor;
    Notifier notifier;
    notifier.Register(&monitor, EventPacketSent);
    PacketPtr packet = Request(3);
    ModbusPacket* sent = packet.get();
    notifier.PostPacket(EventPacketSent, std::move(packet));

    std::optional<Notification> next = monitor.Pop(0);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->event, static_cast<uint32_t>(EventPacketSent));
    EXPECT_EQ(next->packet.get(), sent) << "the same packet, owned by the notification";
    EXPECT_EQ(next->wParam, reinterpret_cast<uintptr_t>(sent));
    EXPECT_EQ(next->packet->function, 3);
}

TEST(PacketOwnership, GoesToTheFirstTargetThatTakesItAndToNoOther) {
    NotificationQueue full(0), monitor, other;
    Notifier notifier;
    notifier.Register(&full, EventPacketReceived);
    notifier.Register(&monitor, EventPacketReceived);
    notifier.Register(&other, EventPacketReceived);
    notifier.PostPacket(EventPacketReceived, Request(4));
    EXPECT_EQ(full.Size(), 0u);
    EXPECT_EQ(monitor.Size(), 1u) << "the full queue refused, the next one took it";
    EXPECT_EQ(other.Size(), 0u) << "a second owner would free it twice";
}

TEST(PacketOwnership, IsFreedWhenNoTargetTakesIt) {
    Notifier notifier;
    notifier.PostPacket(EventPacketSent, Request(1));  // nobody registered
    NotificationQueue full(1);
    full.Post(EventItemChanged, 0);
    notifier.Register(&full, EventPacketSent);
    notifier.PostPacket(EventPacketSent, Request(2));  // the only target is full
    EXPECT_EQ(full.Size(), 1u);
}

TEST(PacketOwnership, PacketsStillQueuedDieWithTheQueue) {
    Notifier notifier;
    {
        NotificationQueue monitor;
        notifier.Register(&monitor, EventPacketSent);
        notifier.PostPacket(EventPacketSent, Request(16));
        notifier.PostPacket(EventPacketSent, Request(15));
        EXPECT_EQ(monitor.Size(), 2u);
    }
}

}  // namespace
