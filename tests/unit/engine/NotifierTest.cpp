// The notifier hands each event to the targets registered for it; packets
// travel by ownership (natively, LeakSanitizer fails the suite for any packet
// one of these paths forgets).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/ModbusPacket.h"

namespace {

using Log = std::vector<std::string>;

// Writes down what it is told, as "name how event wParam", into a log shared
// by every recorder of a test, so the order across targets shows. A forwarder
// answers a sent EventItemChanged by sending EventDocumentChanged itself.
class Recorder : public NotifyTarget {
  public:
    Recorder(std::string name, Log& log, Notifier* forwardTo = nullptr)
        : name(std::move(name)), log(log), forwardTo(forwardTo) {}
    bool accepts = true;

    bool Post(std::uint32_t event, std::uintptr_t wParam) override {
        Note("post", event, wParam);
        return accepts;
    }
    bool PostPacket(std::uint32_t event, PacketPtr& packet) override {
        Note("packet", event, packet->function);
        return accepts && packet.release();
    }
    void Send(std::uint32_t event, std::uintptr_t wParam) override {
        Note("send", event, wParam);
        if (forwardTo && event == EventItemChanged)
            forwardTo->Send(this, EventDocumentChanged, wParam);
    }

  private:
    void Note(const char* how, std::uint32_t event, std::uintptr_t wParam) {
        log.push_back(name + " " + how + " " + std::to_string(event - EventConnectionState) + " " +
                      std::to_string(wParam));
    }
    std::string name;
    Log& log;
    Notifier* forwardTo;
};

PacketPtr Request(std::uint8_t function) {
    PacketPtr packet(new ModbusPacket(0, 1));
    packet->function = function;
    return packet;
}

TEST(Notifier, DeliversToEveryTargetOfAnEventInRegistrationOrder) {
    Log log;
    Notifier notifier;
    Recorder main("main", log), monitor("monitor", log), map("map", log);
    Recorder forwarder("forwarder", log, &notifier);
    monitor.accepts = false;  // a refusing target does not stop the delivery
    notifier.Register(&monitor, EventConnectionState);
    notifier.Register(&main, EventConnectionState);
    notifier.Register(&main, EventItemChanged);
    notifier.Register(&map, EventItemChanged);
    notifier.Register(&map, EventItemChanged);
    notifier.Register(&forwarder, EventItemChanged);
    notifier.Register(&main, EventDocumentChanged);
    notifier.Post(EventConnectionState, 1);
    notifier.Post(EventItemChanged, 7);
    EXPECT_EQ(log, (Log{"monitor post 0 1", "main post 0 1", "main post 1 7", "map post 1 7",
                        "map post 1 7", "forwarder post 1 7"}))
        << "a target registered twice is told twice";
    log.clear();
    notifier.Send(&main, EventItemChanged, 3);
    EXPECT_EQ(log, (Log{"map send 1 3", "map send 1 3", "forwarder send 1 3", "main send 6 3"}))
        << "Send skips the target that caused the change; a handler may send during a delivery";
    log.clear();
    notifier.Send(&main, EventRunState, 1);
    EXPECT_TRUE(log.empty()) << "nobody registered for EventRunState";
}

TEST(Notifier, GivesAPacketToTheFirstTargetThatTakesItOrFreesIt) {
    Log log;
    Recorder refusing("refusing", log);
    refusing.accepts = false;
    NotificationQueue full(0), monitor, other;
    Notifier notifier;
    notifier.PostPacket(EventPacketSent, Request(1));  // nobody registered: freed
    for (NotifyTarget* target :
         {static_cast<NotifyTarget*>(&refusing), static_cast<NotifyTarget*>(&full),
          static_cast<NotifyTarget*>(&monitor), static_cast<NotifyTarget*>(&other)})
        notifier.Register(target, EventPacketReceived);
    PacketPtr packet = Request(4);
    ModbusPacket* sent = packet.get();
    notifier.PostPacket(EventPacketReceived, std::move(packet));
    EXPECT_EQ(log, (Log{"refusing packet 3 4"}));
    EXPECT_EQ(full.Size(), 0u);
    EXPECT_EQ(other.Size(), 0u) << "a second owner would free it twice";
    std::optional<Notification> next = monitor.Pop(0);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->event, static_cast<std::uint32_t>(EventPacketReceived));
    EXPECT_EQ(next->packet.get(), sent) << "the same packet, owned by the notification";
    EXPECT_EQ(next->wParam, reinterpret_cast<std::uintptr_t>(sent));
    notifier.PostPacket(EventPacketReceived, Request(16));  // still queued: dies with the queue
}

TEST(NotificationQueue, KeepsEachPostersOrderWhenThreadsPostAtOnce) {
    constexpr std::uintptr_t kPerThread = 2000;
    NotificationQueue queue(2 * kPerThread);
    auto poster = [&](std::uint32_t event) {
        for (std::uintptr_t i = 0; i < kPerThread; ++i) queue.Post(event, i);
    };
    std::thread first(poster, EventItemChanged);
    std::thread second(poster, EventConnectionState);
    std::uintptr_t expected[2] = {0, 0};
    for (std::uintptr_t received = 0; received < 2 * kPerThread; ++received) {
        std::optional<Notification> next = queue.Pop(2000);
        ASSERT_TRUE(next) << "after " << received << " events";
        std::uintptr_t& mine = expected[next->event == EventItemChanged ? 0 : 1];
        ASSERT_EQ(next->wParam, mine) << "event " << next->event << " out of order";
        EXPECT_FALSE(next->packet);
        ++mine;
    }
    first.join();
    second.join();
    EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
