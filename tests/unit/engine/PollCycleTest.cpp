// The poll cycle both masters share, driven step by step through a link that
// writes down every request, timer action and event.
#include <gtest/gtest.h>

#include "MasterEvents.h"
#include "engine/PollCycle.h"

namespace {

class RecordingLink : public PollCycleLink {
  public:
    bool SendPoll(const Poll& poll) override {
        Note("send " + std::to_string(poll.start));
        return sendSucceeds;
    }
    void ArmTimer(std::uint32_t ms) override { Note("arm " + std::to_string(ms)); }
    void CancelTimer() override { Note("cancel"); }
    void TickNow() override { Note("tick now"); }
    void Post(std::uint32_t event, std::uintptr_t wParam) override {
        Note(MasterEvents::Describe(event, wParam, nullptr));
    }
    void Note(const std::string& step) { steps += (steps.empty() ? "" : ", ") + step; }

    bool sendSucceeds = true;
    std::string steps;
};

// Three polls told apart by their start addresses 100, 200 and 300, driven
// by a script: t Tick, r ReplyComplete, n NoAnswer; "." after the step that
// ended the run. (Both masters' tests cover the rest of the cycle.)
TEST(PollCycle, FollowsEachScriptStepForStep) {
    struct Script {
        const char* name;
        PollCycle::LinkKind kind;
        std::uint32_t pollIndex, retries, polls;
        int single;
        bool sendSucceeds;
        const char* steps;
        const char* expected;
        std::uint32_t pollIndexAfter;
    };
    using enum PollCycle::LinkKind;
    // clang-format off
    const Script scripts[] = {
        {"polls in turn, a poll rate after each reply; out of range starts again",
         Tcp, 7, 3, 3, -1, true, "trtrtrtr",
         "send 100, arm 500, cancel, arm 1000, send 200, arm 500, cancel, arm 1000, send 300, "
         "arm 500, cancel, arm 1000, send 100, arm 500, cancel, arm 1000", 1},
        {"retries, gives up and sends the next at once; a failed send counts as a timeout",
         Tcp, 1, 3, 3, -1, false, "tttt",
         "send 200, arm 500, retry, send 200, arm 500, retry, send 200, arm 500, give up, "
         "send 300, arm 500", 2},
        {"without a retry limit a poll is repeated without end",
         Tcp, 0, 0, 3, -1, true, "ttt",
         "send 100, arm 500, retry, send 100, arm 500, retry, send 100, arm 500", 0},
        {"an empty poll list sends nothing and looks again a poll rate later",
         Tcp, 0, 3, 0, -1, true, "tt", "arm 1000, arm 1000", 0},
        {"single mode gives up at the first timeout", Tcp, 0, 3, 3, 1, true, "tt.",
         "send 200, arm 500, cancel, give up", 1},
        {"single mode with a poll that does not exist gives up", Tcp, 0, 3, 3, 5, true, "t.", "cancel, give up", 5},
        {"serial: sends at every tick, counts a timeout when no answer starts",
         Serial, 0, 2, 3, -1, true, "tntnt",
         "send 100, arm 500, retry, send 100, arm 500, give up, send 200, arm 500", 1},
    };
    // clang-format on
    for (const Script& s : scripts) {
        SCOPED_TRACE(s.name);
        CommsSettings settings;
        for (std::uint16_t i = 1; i <= s.polls; ++i)
            settings.polls.push_back(MakeTestPoll(3, i * 100, 1));
        settings.pollrate = 1000;
        settings.timeout = 500;
        settings.retries = s.retries;
        settings.pollIndex = s.pollIndex;
        settings.singlePollIndex = s.single;
        RecordingLink link;
        link.sendSucceeds = s.sendSucceeds;
        PollCycle cycle(settings, link, s.kind);
        std::string outcomes;
        for (const char step : std::string(s.steps)) {
            PollCycle::Outcome outcome = PollCycle::Outcome::Continue;
            if (step == 't') outcome = cycle.Tick();
            if (step == 'r') outcome = cycle.ReplyComplete();
            if (step == 'n') cycle.NoAnswer();
            if (step != '.') outcomes += step;
            if (outcome == PollCycle::Outcome::EndRun) outcomes += '.';
        }
        EXPECT_EQ(outcomes, s.steps) << "where the run ended";
        EXPECT_EQ(link.steps, s.expected);
        EXPECT_EQ(settings.pollIndex, s.pollIndexAfter);
        EXPECT_EQ(settings.singlePollIndex, -1) << "every run leaves it cyclic";
    }
}

}  // namespace
