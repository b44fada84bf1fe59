// The notifier hands each event to the targets registered for it; packets
// travel by ownership (natively, LeakSanitizer fails the suite for any packet
// one of these paths forgets).
#include <gtest/gtest.h>

#include <string>

#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/ModbusPacket.h"

namespace {

// Writes down what it is told ("name how event wParam") into a log shared by
// the recorders of a test, so the order across targets shows. With forwardTo
// it answers a sent EventItemChanged by sending EventDocumentChanged itself.
class Recorder : public NotifyTarget {
  public:
    Recorder(std::string name, std::string& log, Notifier* forwardTo = nullptr)
        : name(std::move(name)), log(log), forwardTo(forwardTo) {}
    bool accepts = true;

    bool Post(std::uint32_t event, std::uintptr_t wParam) override {
        Note("post", event, wParam);
        return accepts;
    }
    bool PostPacket(std::uint32_t event, PacketPtr& packet) override {
        Note("packet", event, packet->function);
        return accepts && packet.release() != nullptr;
    }
    void Send(std::uint32_t event, std::uintptr_t wParam) override {
        Note("send", event, wParam);
        if (forwardTo && event == EventItemChanged)
            forwardTo->Send(this, EventDocumentChanged, wParam);
    }

  private:
    void Note(const char* how, std::uint32_t event, std::uintptr_t wParam) {
        log += name + " " + how + " " + std::to_string(event - EventConnectionState) + " " +
               std::to_string(wParam) + "; ";
    }
    std::string name;
    std::string& log;
    Notifier* forwardTo;
};

PacketPtr Request(std::uint8_t function) {
    PacketPtr packet(new ModbusPacket(0, 1));
    packet->function = function;
    return packet;
}

TEST(Notifier, DeliversToEveryTargetOfAnEventInRegistrationOrder) {
    std::string log;
    Notifier notifier;
    Recorder main("main", log), monitor("monitor", log), map("map", log);
    Recorder forwarder("forwarder", log, &notifier);
    monitor.accepts = false;  // a refusing target does not stop the delivery
    for (auto [target, event] : {std::pair<Recorder*, NotifyEvent>{&monitor, EventConnectionState},
                                 {&main, EventConnectionState},
                                 {&main, EventItemChanged},
                                 {&map, EventItemChanged},
                                 {&map, EventItemChanged},
                                 {&forwarder, EventItemChanged},
                                 {&main, EventDocumentChanged}})
        notifier.Register(target, event);
    notifier.Post(EventConnectionState, 1);
    notifier.Post(EventItemChanged, 7);
    EXPECT_EQ(log,
              "monitor post 0 1; main post 0 1; main post 1 7; map post 1 7; map post 1 7; "
              "forwarder post 1 7; ")
        << "a target registered twice is told twice";
    log.clear();
    notifier.Send(&main, EventItemChanged, 3);
    EXPECT_EQ(log, "map send 1 3; map send 1 3; forwarder send 1 3; main send 6 3; ")
        << "Send skips the target that caused the change; a handler may send during a delivery";
    log.clear();
    notifier.Send(nullptr, EventRunState, 1);
    EXPECT_EQ(log, "") << "nobody registered for EventRunState";

    // A target that goes is told nothing more, wherever it was registered.
    notifier.Unregister(&map);
    log.clear();
    notifier.Post(EventItemChanged, 9);
    EXPECT_EQ(log, "main post 1 9; forwarder post 1 9; ");
}

TEST(Notifier, GivesAPacketToTheFirstTargetThatTakesItOrFreesIt) {
    std::string log;
    Recorder refusing("refusing", log);
    refusing.accepts = false;
    NotificationQueue full(0), monitor, other;
    Notifier notifier;
    notifier.PostPacket(EventPacketSent, Request(1));  // nobody registered: freed
    for (NotifyTarget* target :
         std::initializer_list<NotifyTarget*>{&refusing, &full, &monitor, &other})
        notifier.Register(target, EventPacketReceived);
    PacketPtr packet = Request(4);
    ModbusPacket* sent = packet.get();
    notifier.PostPacket(EventPacketReceived, std::move(packet));
    EXPECT_EQ(log, "refusing packet 3 4; ");
    EXPECT_EQ(full.Size() + other.Size(), 0u) << "a second owner would free it twice";
    std::optional<Notification> next = monitor.Pop(0);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->event, static_cast<std::uint32_t>(EventPacketReceived));
    EXPECT_EQ(next->packet.get(), sent) << "the same packet, owned by the notification";
    EXPECT_EQ(next->wParam, reinterpret_cast<std::uintptr_t>(sent));
    notifier.PostPacket(EventPacketReceived, Request(16));  // still queued: dies with the queue
}

TEST(NotificationQueue, AFallingBehindConsumerLosesPacketsBeforeValueChanges) {
    NotificationQueue queue(100);
    size_t packets = 0;
    for (int i = 0; i < 200; ++i) {
        PacketPtr packet(new ModbusPacket(0, 0));
        if (queue.PostPacket(EventPacketReceived, packet)) ++packets;
    }
    EXPECT_EQ(packets, 90u) << "packets stop at nine tenths";
    size_t changes = 0;
    for (uint16_t address = 0; address < 20; ++address)
        if (queue.Post(EventItemChanged, address)) ++changes;
    EXPECT_EQ(changes, 10u) << "the last tenth is kept for other events";
    EXPECT_FALSE(queue.Post(EventItemChanged, 99)) << "a full queue refuses everything";
    queue.Send(EventRunEnded, 0);
    EXPECT_EQ(queue.Size(), 101u) << "a send is never refused";
}

}  // namespace
