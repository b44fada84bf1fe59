#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestPolls.h"
#include "engine/NotifyEvents.h"
#include "engine/PollCycle.h"

namespace {

using Steps = std::vector<std::string>;

// Records every request, timer action and event of the cycle, in order.
class RecordingLink : public PollCycleLink {
  public:
    explicit RecordingLink(CommsSettings& settings) : settings(settings) {}

    bool SendPoll(const Poll& poll) override {
        steps.push_back("send " + std::to_string(poll.start));
        return sendSucceeds;
    }
    void ArmTimer(std::uint32_t milliseconds) override {
        steps.push_back("arm " + std::to_string(milliseconds));
    }
    void CancelTimer() override { steps.push_back("cancel"); }
    void TickNow() override { steps.push_back("tick now"); }
    void Post(std::uint32_t event, std::uintptr_t parameter) override {
        if (event == EventConnectionState) {
            steps.push_back("state " + std::to_string(parameter));
        } else if (event == EventTimeoutRetry) {
            steps.push_back("retry");
        } else if (event == EventTimeoutGiveUp) {
            steps.push_back("give up");
        } else {
            steps.push_back("event " + std::to_string(event));
        }
    }
    Steps Take() {
        Steps taken;
        taken.swap(steps);
        return taken;
    }

    CommsSettings& settings;
    bool sendSucceeds = true;
    Steps steps;
};

// Three polls told apart by their start addresses 100, 200 and 300.
class PollCycleTest : public ::testing::Test {
  protected:
    PollCycleTest() {
        settings.polls = {TestPolls::ReadRegisters(100, 1), TestPolls::ReadRegisters(200, 1),
                          TestPolls::ReadRegisters(300, 1)};
        settings.pollrate = 1000;
        settings.timeout = 500;
        settings.retries = 3;
    }

    CommsSettings settings;
    RecordingLink link{settings};
    PollCycle cycle{settings, link, PollCycle::LinkKind::Tcp};
};

TEST_F(PollCycleTest, SendsThePollsInTurnAPollRateAfterEachReply) {
    Steps all;
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
    cycle.Tick();
    cycle.Tick();
    cycle.Tick();
    cycle.Tick();
    EXPECT_EQ(link.Take(), (Steps{"send 200", "arm 500",           //
                                  "retry", "send 200", "arm 500",  //
                                  "retry", "send 200", "arm 500",  //
                                  "give up", "send 300", "arm 500"}));
    EXPECT_EQ(cycle.RetryCount(), 0u);
    EXPECT_EQ(settings.pollIndex, 2u);
}

TEST_F(PollCycleTest, WithoutRetryLimitAPollIsRepeatedWithoutEnd) {
    settings.retries = 0;
    for (int i = 0; i < 10; ++i) cycle.Tick();
    const Steps steps = link.Take();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "retry"), 9);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "give up"), 0);
    EXPECT_EQ(settings.pollIndex, 0u);
}

TEST_F(PollCycleTest, AFailedSendIsCountedLikeATimeout) {
    link.sendSucceeds = false;
    cycle.Tick();
    cycle.Tick();
    EXPECT_EQ(link.Take(), (Steps{"send 100", "arm 500", "retry", "send 100", "arm 500"}))
        << "the timer is armed, so the cycle cannot stall";
}

TEST_F(PollCycleTest, AnEmptyPollListSendsNothingAndLooksAgainAPollRateLater) {
    settings.polls.clear();
    EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::Continue);
    EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::Continue);
    EXPECT_EQ(link.Take(), (Steps{"arm 1000", "arm 1000"}));
    EXPECT_FALSE(cycle.AwaitingReply());
}

TEST_F(PollCycleTest, APollIndexOutOfRangeStartsAgainAtTheFirstPoll) {
    settings.pollIndex = 7;
    cycle.Tick();
    EXPECT_EQ(link.Take(), (Steps{"send 100", "arm 500"}));
}

TEST_F(PollCycleTest, SingleModeSendsTheChosenPollAndEndsAfterItsReply) {
    settings.singlePollIndex = 2;
    EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::Continue);
    EXPECT_EQ(cycle.ReplyComplete(), PollCycle::Outcome::EndRun);
    EXPECT_EQ(link.Take(), (Steps{"send 300", "arm 500", "cancel"}));
    EXPECT_EQ(settings.singlePollIndex, -1);
    EXPECT_EQ(settings.pollIndex, 2u) << "no advance in single mode";
}

TEST_F(PollCycleTest, SingleModeGivesUpAtTheFirstTimeoutWithoutRetry) {
    settings.singlePollIndex = 1;
    cycle.Tick();
    EXPECT_EQ(cycle.Tick(), PollCycle::Outcome::EndRun);
    EXPECT_EQ(link.Take(), (Steps{"send 200", "arm 500", "cancel", "give up"}));
    EXPECT_EQ(settings.singlePollIndex, -1);
}

TEST_F(PollCycleTest, SingleModeWithAPollThatDoesNotExistEndsTheRun) {
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
    settings.polls = {TestPolls::ReadRegisters(100, 1), TestPolls::ReadRegisters(200, 1)};
    settings.timeout = 500;
    settings.retries = 2;
    RecordingLink link(settings);
    PollCycle cycle(settings, link, PollCycle::LinkKind::Serial);
    cycle.Tick();
    cycle.NoAnswer();
    cycle.Tick();
    cycle.NoAnswer();
    cycle.Tick();
    EXPECT_EQ(link.Take(), (Steps{"send 100", "arm 500", "retry",    //
                                  "send 100", "arm 500", "give up",  //
                                  "send 200", "arm 500"}));
}

}  // namespace
