#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Notifier.h"

namespace {

// Writes down what it is told, as "name:event:wParam", into a log shared by
// every recorder of a test, so the order across targets shows.
class Recorder : public NotifyTarget {
  public:
    Recorder(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

    bool accepts = true;

    bool Post(uint32_t event, uintptr_t wParam) override {
        Note("post", event, wParam);
        return accepts;
    }
    bool PostPacket(uint32_t event, PacketPtr& packet) override {
        Note("packet", event, reinterpret_cast<uintptr_t>(packet.get()));
        if (!accepts) return false;
        packet.release();
        return true;
    }
    void Send(uint32_t event, uintptr_t wParam) override { Note("send", event, wParam); }

  private:
    void Note(const char* how, uint32_t event, uintptr_t wParam) {
        log_.push_back(name_ + " " + how + " " + std::to_string(event - EventConnectionState) +
                       " " + std::to_string(wParam));
    }

    std::string name_;
    std::vector<std::string>& log_;
};

using Log = std::vector<std::string>;

TEST(Notifier, PostsToTheTargetsOfAnEventInRegistrationOrder) {
    Log log;
    Recorder main("main", log), monitor("monitor", log), map("map", log);
    Notifier notifier;
    notifier.Register(&monitor, EventConnectionState);
    notifier.Register(&main, EventConnectionState);
    notifier.Register(&main, EventItemChanged);
    notifier.Register(&map, EventItemChanged);

    notifier.Post(EventConnectionState, 1);
    notifier.Post(EventItemChanged, 40001);
    EXPECT_EQ(log,
              (Log{"monitor post 0 1", "main post 0 1", "main post 1 40001", "map post 1 40001"}));
}

TEST(Notifier, TellsATargetRegisteredTwiceTwice) {
    Log log;
    Recorder map("map", log);
    Notifier notifier;
    notifier.Register(&map, EventItemChanged);
    notifier.Register(&map, EventItemChanged);
    notifier.Post(EventItemChanged, 7);
    notifier.Send(nullptr, EventItemChanged, 8);
    EXPECT_EQ(log, (Log{"map post 1 7", "map post 1 7", "map send 1 8", "map send 1 8"}));
}

TEST(Notifier, SendSkipsTheTargetThatCausedTheChange) {
    Log log;
    Recorder main("main", log), map("map", log);
    Notifier notifier;
    notifier.Register(&map, EventItemChanged);
    notifier.Register(&main, EventItemChanged);
    notifier.Send(&map, EventItemChanged, 3);
    EXPECT_EQ(log, (Log{"main send 1 3"}));
    log.clear();
    notifier.Send(&main, EventRunState, 1);
    EXPECT_TRUE(log.empty()) << "nobody registered for EventRunState";
}

TEST(Notifier, KeepsPostingToLaterTargetsWhenOneRefuses) {
    Log log;
    Recorder gone("gone", log), main("main", log);
    gone.accepts = false;
    Notifier notifier;
    notifier.Register(&gone, EventTimeoutGiveUp);
    notifier.Register(&main, EventTimeoutGiveUp);
    notifier.Post(EventTimeoutGiveUp, 0);
    EXPECT_EQ(log, (Log{"gone post 5 0", "main post 5 0"}));
}

// A handler that reacts to a sent event by sending another one, on the same
// thread, while the notifier is still delivering the first.
class Forwarder : public NotifyTarget {
  public:
    Forwarder(Notifier& notifier, Log& log) : notifier_(notifier), log_(log) {}
    bool Post(uint32_t, uintptr_t) override { return true; }
    bool PostPacket(uint32_t, PacketPtr&) override { return false; }
    void Send(uint32_t event, uintptr_t wParam) override {
        log_.push_back("forwarder " + std::to_string(event - EventConnectionState));
        if (event == EventItemChanged) notifier_.Send(this, EventDocumentChanged, wParam);
    }

  private:
    Notifier& notifier_;
    Log& log_;
};

TEST(Notifier, AHandlerMaySendAgainDuringADelivery) {
    Log log;
    Notifier notifier;
    Forwarder forwarder(notifier, log);
    Recorder map("map", log);
    notifier.Register(&forwarder, EventItemChanged);
    notifier.Register(&map, EventDocumentChanged);
    notifier.Send(nullptr, EventItemChanged, 9);
    EXPECT_EQ(log, (Log{"forwarder 1", "map send 6 9"}));
}

}  // namespace
