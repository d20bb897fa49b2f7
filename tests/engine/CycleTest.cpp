// Whole test runs in simulated seconds against a scripted receiver.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

const std::string kNoRespond = "Cold Start fail!(1)\r\nGPS no respond.";

std::size_t Count(const std::vector<std::string>& shown, const std::string& text) {
    return static_cast<std::size_t>(std::count(shown.begin(), shown.end(), text));
}

bool AnyStartsWith(const std::vector<std::string>& shown, const std::string& prefix) {
    return std::any_of(shown.begin(), shown.end(),
                       [&](const std::string& s) { return s.starts_with(prefix); });
}

class Cycle : public ::testing::TestWithParam<TimerOrder> {
protected:
    SimulatedWindow w;

    void Start(ScriptedReceiver& receiver, int seconds) {
        w.Click();
        w.Run(seconds, &receiver, GetParam());
    }
    const std::vector<std::string>& Shown() const { return w.display.statusHistory; }
};

TEST_P(Cycle, NormalReceiverIsOrderedThirtySecondsAfterEachConfirmation) {
    ScriptedReceiver receiver{ReceiverScript{}, w.port};
    Start(receiver, 600);
    ASSERT_GE(w.orderSeconds.size(), 15u);
    ASSERT_GE(w.confirmationSeconds.size(), w.orderSeconds.size() - 1);
    EXPECT_EQ(w.orderSeconds.front(), 5);  // the fifth GGA after the connection step
    for (std::size_t i = 0; i + 1 < w.orderSeconds.size(); ++i) {
        EXPECT_GT(w.confirmationSeconds[i], w.orderSeconds[i]);
        EXPECT_EQ(w.orderSeconds[i + 1] - w.confirmationSeconds[i], 30);
    }
    EXPECT_FALSE(AnyStartsWith(Shown(), "Cold Start fail!"));
    EXPECT_TRUE(AnyStartsWith(Shown(), "Cold Starting..... 3(Sec)"));
    EXPECT_EQ(w.display.label1, "Connected!");
    EXPECT_LE(w.largestRxBuffer, 200u);
}

TEST_P(Cycle, ReceiverThatNeverRestartsGetsOneOrderAndTheVerdicts) {
    ReceiverScript script;
    script.restartsObeyed = 0;
    ScriptedReceiver receiver{script, w.port};
    Start(receiver, 120);
    EXPECT_EQ(w.orderSeconds, std::vector<int>{5});
    EXPECT_EQ(Count(Shown(), kNoRespond), 1u);
    EXPECT_GT(Count(Shown(), "Cold Start fail!"), 50u);
    EXPECT_EQ(w.display.statusColour, Colour::Red);
    EXPECT_EQ(w.display.label1, "Connected!");  // the data go on
    EXPECT_EQ(w.state.Phase, 1);
    EXPECT_TRUE(w.display.On(TimerId::Timer_PF));
    EXPECT_FALSE(w.display.On(TimerId::Timer));
    EXPECT_TRUE(w.confirmationSeconds.empty());
}

TEST_P(Cycle, ReceiverThatRestartsAfterFortySecondsIsConfirmedLate) {
    ReceiverScript script;
    script.restartDelay = 40;
    ScriptedReceiver receiver{script, w.port};
    Start(receiver, 300);
    ASSERT_GE(w.orderSeconds.size(), 3u);
    // Every order waits in vain for 30 s before the late restart confirms it.
    EXPECT_GE(Count(Shown(), kNoRespond), w.confirmationSeconds.size());
    for (std::size_t i = 0; i + 1 < w.orderSeconds.size(); ++i) {
        EXPECT_EQ(w.confirmationSeconds[i] - w.orderSeconds[i], 41);
        EXPECT_EQ(w.orderSeconds[i + 1] - w.confirmationSeconds[i], 30);
    }
    // The silent receiver leaves Timer_Start off after the verdict: the count stops at 30.
    EXPECT_EQ(Count(Shown(), "Cold Start fail!"), 0u);
}

TEST_P(Cycle, ReceiverSwitchedOffDuringTheCountdownIsShutDown) {
    ReceiverScript script;
    script.powerOffAt = 20;
    ScriptedReceiver receiver{script, w.port};
    Start(receiver, 60);
    EXPECT_EQ(w.display.status, "GPS be shuted down.");
    EXPECT_EQ(w.display.statusColour, Colour::Green);
    EXPECT_EQ(w.state.Phase, 2);
    EXPECT_TRUE(w.port.IsOpen());
    for (auto timer : {TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
        EXPECT_FALSE(w.display.On(timer));
    }
    EXPECT_EQ(w.orderSeconds.size(), 1u);
    w.Click();
    EXPECT_EQ(w.display.status, "");
    EXPECT_FALSE(w.port.IsOpen());
}

TEST_P(Cycle, ReceiverOffFromTheStartResetsQuietly) {
    ReceiverScript script;
    script.powerOffAt = 0;
    ScriptedReceiver receiver{script, w.port};
    Start(receiver, 20);
    EXPECT_EQ(w.display.status, "");
    EXPECT_EQ(w.display.label1, "Connecting.....");
    for (auto timer : {TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
        EXPECT_FALSE(w.display.On(timer));
    }
}

TEST_P(Cycle, ReceiverAtAnotherBaudRateIsReported) {
    ReceiverScript script;
    script.garbageAtWrongRate = true;
    ScriptedReceiver receiver{script, w.port};
    Start(receiver, 60);
    EXPECT_EQ(w.display.status, "Baud Rate not match!");
    EXPECT_EQ(w.display.statusColour, Colour::Red);
    EXPECT_EQ(w.state.Phase, 0);
    EXPECT_EQ(w.state.BaudCheckSeconds, 4);
    EXPECT_TRUE(w.orderSeconds.empty());
    EXPECT_TRUE(w.display.On(TimerId::Timer_PF));
    EXPECT_LE(w.largestRxBuffer, kMaxUnfinishedSentence);
}

TEST_P(Cycle, ReceiverWithoutTimeIsNotTakenForAWrongRate) {
    ReceiverScript script;
    script.emptyTimeFields = true;
    ScriptedReceiver receiver{script, w.port};
    Start(receiver, 60);
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(w.display.label1, "Connecting.....");
    EXPECT_TRUE(w.orderSeconds.empty());
    EXPECT_TRUE(w.display.On(TimerId::Timer_Start));
}

// A receiver that reports every other second lets the countdown pass 0 between two GGA
// sentences when its restart puts the zero second between two reports; the next one orders.
TEST_P(Cycle, CountdownThatSkipsZeroStillOrders) {
    for (int offset : {0, 1}) {
        SimulatedWindow window;
        ReceiverScript script;
        script.reportEvery = 2;
        script.reportOffset = offset;
        script.restartDelay = 4;  // confirmed an odd number of seconds after the order
        ScriptedReceiver receiver{script, window.port};
        window.Click();
        window.Run(600, &receiver, GetParam());
        EXPECT_GE(window.orderSeconds.size(), 15u) << offset;
        EXPECT_TRUE(AnyStartsWith(window.display.statusHistory, texts::Phase2Text(-1))) << offset;
        EXPECT_FALSE(AnyStartsWith(window.display.statusHistory, texts::Phase2Text(0))) << offset;
        for (std::size_t i = 0; i + 1 < window.orderSeconds.size(); ++i) {
            EXPECT_EQ(window.orderSeconds[i + 1] - window.confirmationSeconds[i], 31) << offset;
        }
    }
}

// Reads that end where a sentence ends used to leave it behind to be analysed again,
// which confirmed the one restart twice.
TEST_P(Cycle, ReceiverThatRestartsOnceIsConfirmedOnce) {
    for (ReadSplit split :
         {ReadSplit::AtSentenceEnd, ReadSplit::AfterChecksum, ReadSplit::MidSentence}) {
        SimulatedWindow window;
        ReceiverScript script;
        script.restartsObeyed = 1;
        script.split = split;
        ScriptedReceiver receiver{script, window.port};
        window.Click();
        window.Run(200, &receiver, GetParam());
        const auto why = static_cast<int>(split);
        EXPECT_EQ(window.confirmationSeconds.size(), 1u) << why;
        EXPECT_EQ(window.orderSeconds.size(), 2u) << why;
        EXPECT_EQ(Count(window.display.statusHistory, kNoRespond), 1u) << why;
        EXPECT_EQ(window.state.Phase, 1) << why;
    }
}

TEST_P(Cycle, DayOfCyclingStaysBounded) {
    ReceiverScript script;
    script.split = ReadSplit::MidSentence;
    ScriptedReceiver receiver{script, w.port};
    w.keepStatusHistory = false;
    w.Click();
    int largestGap = 0;
    for (int second = 0; second < 24 * 3600; ++second) {
        const std::size_t before = w.orderSeconds.size();
        w.Second(&receiver, GetParam());
        if (w.orderSeconds.size() > before && before > 0) {
            largestGap = std::max(largestGap, w.orderSeconds.back() - w.orderSeconds[before - 1]);
        }
        ASSERT_LE(w.state.GgaCount, 60);
        ASSERT_GE(w.state.RestartCountdown, 0);
    }
    EXPECT_EQ(largestGap, 34);  // order, 3 s of restart, 30 s of countdown
    EXPECT_GT(w.orderSeconds.size(), 2400u);
    EXPECT_EQ(w.confirmationSeconds.size() + 1, w.orderSeconds.size());
    EXPECT_LE(w.largestRxBuffer, 200u);
    EXPECT_LE(w.state.ReceiveTick, 1000);
}

// Ten hours, since a receiver clock that passes midnight looks like a restart.
TEST_P(Cycle, TenHoursWithoutARestartHoldTheCountersAtTheirLimits) {
    ReceiverScript script;
    script.clockAtPowerOn = 3600;
    script.restartsObeyed = 0;
    ScriptedReceiver receiver{script, w.port};
    w.keepStatusHistory = false;
    Start(receiver, 10 * 3600);
    EXPECT_EQ(w.state.NoRespondSeconds, 32767);
    EXPECT_EQ(w.state.ColdStartSeconds, 32767);
    EXPECT_EQ(w.state.GgaCount, 32767);
    EXPECT_EQ(w.orderSeconds.size(), 1u);
    EXPECT_EQ(w.display.status, "Cold Start fail!");
}

INSTANTIATE_TEST_SUITE_P(TimerOrders, Cycle,
                         ::testing::Values(TimerOrder::StartFirst, TimerOrder::PfFirst,
                                           TimerOrder::Alternate));

}  // namespace
}  // namespace quorvel::testing
