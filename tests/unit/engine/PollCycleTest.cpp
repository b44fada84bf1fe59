// The poll cycle both masters share, driven step by step through a link that
// writes down every request, timer action and event.
#include <gtest/gtest.h>

#include <algorithm>

#include "MasterEvents.h"
#include "engine/PollCycle.h"

namespace {

class RecordingLink : public PollCycleLink {
  public:
    bool SendPoll(const Poll& poll) override {
        steps.push_back("send " + std::to_string(poll.start));
        return sendSucceeds;
    }
    void ArmTimer(std::uint32_t ms) override { steps.push_back("arm " + std::to_string(ms)); }
    void CancelTimer() override { steps.push_back("cancel"); }
    void TickNow() override { steps.push_back("tick now"); }
    void Post(std::uint32_t event, std::uintptr_t parameter) override {
        Notification n{event, parameter, nullptr};
        steps.push_back(MasterEvents::Describe(n));
    }
    Steps Take() { return std::exchange(steps, {}); }

    bool sendSucceeds = true;
    Steps steps;
};

// Three polls told apart by their start addresses 100, 200 and 300.
class PollCycleTest : public ::testing::Test {
  protected:
    PollCycleTest() {
        settings.polls = {MakeTestPoll(3, 100, 1), MakeTestPoll(3, 200, 1),
                          MakeTestPoll(3, 300, 1)};
        settings.pollrate = 1000;
        settings.timeout = 500;
        settings.retries = 3;
    }
    void Ticks(int count) {
        for (int i = 0; i < count; ++i) cycle.Tick();
    }

    CommsSettings settings;
    RecordingLink link;
    PollCycle cycle{settings, link, PollCycle::LinkKind::Tcp};
};

TEST_F(PollCycleTest, SendsThePollsInTurnAPollRateAfterEachReply) {
    settings.pollIndex = 7;  // out of range: starts again at the first poll
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::Continue);
        EXPECT_TRUE(cycle.AwaitingReply());
        EXPECT_EQ(cycle.ReplyComplete(), PollCycle::Outcome::Continue);
        EXPECT_FALSE(cycle.AwaitingReply());
    }
    EXPECT_EQ(link.Take(), (Steps{"send 100", "arm 500", "cancel", "arm 1000",  //
                                  "send 200", "arm 500", "cancel", "arm 1000",  //
                                  "send 300", "arm 500", "cancel", "arm 1000",  //
                                  "send 100", "arm 500", "cancel", "arm 1000"}));
    EXPECT_EQ(settings.pollIndex, 1u);
}

TEST_F(PollCycleTest, RetriesThenGivesUpAndSendsTheNextPollAtOnce) {
    settings.pollIndex = 1;
    link.sendSucceeds = false;  // a failed send counts like a timeout
    Ticks(4);
    EXPECT_EQ(link.Take(), (Steps{"send 200", "arm 500",           //
                                  "retry", "send 200", "arm 500",  //
                                  "retry", "send 200", "arm 500",  //
                                  "give up", "send 300", "arm 500"}));
    EXPECT_EQ(cycle.RetryCount(), 0u);
    EXPECT_EQ(settings.pollIndex, 2u);
}

TEST_F(PollCycleTest, WithoutRetryLimitAPollIsRepeatedWithoutEnd) {
    settings.retries = 0;
    Ticks(10);
    const Steps steps = link.Take();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "retry"), 9);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "give up"), 0);
    EXPECT_EQ(settings.pollIndex, 0u);
}

TEST_F(PollCycleTest, AnEmptyPollListSendsNothingAndLooksAgainAPollRateLater) {
    settings.polls.clear();
    Ticks(2);
    EXPECT_EQ(link.Take(), (Steps{"arm 1000", "arm 1000"}));
    EXPECT_FALSE(cycle.AwaitingReply());
}

TEST_F(PollCycleTest, SingleModeEndsAfterTheReplyTheFirstTimeoutOrAMissingPoll) {
    settings.singlePollIndex = 2;
    EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::Continue);
    EXPECT_EQ(cycle.ReplyComplete(), PollCycle::Outcome::EndRun);
    EXPECT_EQ(link.Take(), (Steps{"send 300", "arm 500", "cancel"}));
    EXPECT_EQ(settings.singlePollIndex, -1);
    EXPECT_EQ(settings.pollIndex, 2u) << "no advance in single mode";

    settings.singlePollIndex = 1;
    cycle.Tick();
    EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::EndRun);
    EXPECT_EQ(link.Take(), (Steps{"send 200", "arm 500", "cancel", "give up"})) << "no retry";
    EXPECT_EQ(settings.singlePollIndex, -1);

    settings.singlePollIndex = 5;
    EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::EndRun);
    EXPECT_EQ(settings.singlePollIndex, -1);
}

TEST_F(PollCycleTest, ALostConnectionCancelsTheTimerAndForgetsTheRequest) {
    cycle.Tick();
    cycle.ConnectionLost();
    EXPECT_FALSE(cycle.AwaitingReply());
    EXPECT_EQ(link.Take(), (Steps{"send 100", "arm 500", "cancel"}));
    cycle.ConnectionUp();
    cycle.Tick();
    EXPECT_EQ(link.Take(), (Steps{"state 1", "tick now", "send 100", "arm 500"}))
        << "polling resumes at the current poll without counting a timeout";
}

TEST(PollCycleSerial, SendsAtEveryTickAndCountsTimeoutsWhenNoAnswerStarts) {
    CommsSettings settings;
    settings.polls = {MakeTestPoll(3, 100, 1), MakeTestPoll(3, 200, 1)};
    settings.timeout = 500;
    settings.retries = 2;
    RecordingLink link;
    PollCycle cycle(settings, link, PollCycle::LinkKind::Serial);
    for (int i = 0; i < 2; ++i) {
        cycle.Tick();
        cycle.NoAnswer();
    }
    cycle.Tick();
    EXPECT_EQ(link.Take(), (Steps{"send 100", "arm 500", "retry",    //
                                  "send 100", "arm 500", "give up",  //
                                  "send 200", "arm 500"}));
}

}  // namespace
