// Whole test runs in simulated seconds against a scripted receiver, under each order in which
// ticks falling due together may come.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

const std::string kNoRespond = "Cold Start fail!(1)\r\nGPS no respond.";

// How many status texts began with `prefix`.
std::size_t Shown(const SimulatedWindow& w, const std::string& prefix) {
    const auto& shown = w.display.statusHistory;
    return static_cast<std::size_t>(std::count_if(
        shown.begin(), shown.end(), [&](const std::string& s) { return s.starts_with(prefix); }));
}

class Cycle : public ::testing::TestWithParam<TimerOrder> {
  protected:
    SimulatedWindow w;

    void Run(SimulatedWindow& window, ReceiverScript script, int seconds) {
        ScriptedReceiver receiver{script, window.port};
        window.Click();
        window.Run(seconds, &receiver, GetParam());
    }
    // Each order after the first comes `gap` seconds after the confirmation of the one before.
    static void ExpectOrdersAfterConfirmations(const SimulatedWindow& window, int gap) {
        for (std::size_t i = 0; i + 1 < window.orderSeconds.size(); ++i) {
            ASSERT_LT(i, window.confirmationSeconds.size());
            EXPECT_GT(window.confirmationSeconds[i], window.orderSeconds[i]);
            EXPECT_EQ(window.orderSeconds[i + 1] - window.confirmationSeconds[i], gap);
        }
    }
};

TEST_P(Cycle, NormalReceiverIsOrderedThirtySecondsAfterEachConfirmation) {
    Run(w, ReceiverScript{}, 600);
    ASSERT_GE(w.orderSeconds.size(), 15u);
    EXPECT_EQ(w.orderSeconds.front(), 5);  // the fifth GGA after the connection step
    ExpectOrdersAfterConfirmations(w, 30);
    EXPECT_EQ(Shown(w, "Cold Start fail!"), 0u);
    EXPECT_GT(Shown(w, "Cold Starting..... 3(Sec)"), 0u);
    EXPECT_EQ(w.display.label1, "Connected!");
}

TEST_P(Cycle, ReceiverThatNeverRestartsGetsOneOrderAndTheVerdicts) {
    ReceiverScript script;
    script.restartsObeyed = 0;
    Run(w, script, 120);
    EXPECT_EQ(w.orderSeconds, std::vector<int>{5});
    EXPECT_EQ(Shown(w, kNoRespond), 1u);
    EXPECT_GT(Shown(w, "Cold Start fail!"), 50u);
    EXPECT_EQ(w.display.statusColour, Colour::Red);
    EXPECT_EQ(w.display.label1, "Connected!");  // the data go on
    EXPECT_EQ(w.state.Phase, 1);
    EXPECT_TRUE(w.confirmationSeconds.empty());
}

TEST_P(Cycle, ReceiverThatRestartsAfterFortySecondsIsConfirmedLate) {
    ReceiverScript script;
    script.restartDelay = 40;
    Run(w, script, 300);
    ASSERT_GE(w.orderSeconds.size(), 3u);
    // Every order waits in vain for 30 s before the late restart confirms it.
    EXPECT_GE(Shown(w, kNoRespond), w.confirmationSeconds.size());
    ExpectOrdersAfterConfirmations(w, 30);
    EXPECT_EQ(w.confirmationSeconds[0] - w.orderSeconds[0], 41);
    // The silent receiver leaves Timer_Start off after the verdict: the count stops at 30.
    EXPECT_EQ(Shown(w, "Cold Start fail!"), Shown(w, kNoRespond));
}

TEST_P(Cycle, ReceiverSwitchedOffDuringTheCountdownIsShutDown) {
    ReceiverScript script;
    script.powerOffAt = 20;
    Run(w, script, 60);
    EXPECT_EQ(w.display.status, "GPS be shuted down.");
    EXPECT_EQ(w.display.statusColour, Colour::Green);
    EXPECT_EQ(w.state.Phase, 2);
    EXPECT_TRUE(w.port.IsOpen());
    for (auto timer : {TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
        EXPECT_FALSE(w.display.On(timer));
    }
    EXPECT_EQ(w.orderSeconds.size(), 1u);
}

TEST_P(Cycle, ReceiverAtAnotherBaudRateIsReported) {
    ReceiverScript script;
    script.garbageAtWrongRate = true;
    Run(w, script, 60);
    EXPECT_EQ(w.display.status, "Baud Rate not match!");
    EXPECT_EQ(w.display.statusColour, Colour::Red);
    EXPECT_EQ(w.state.Phase, 0);
    EXPECT_EQ(w.state.BaudCheckSeconds, 4);
    EXPECT_TRUE(w.orderSeconds.empty());
    EXPECT_TRUE(w.display.On(TimerId::Timer_PF));
    EXPECT_LE(w.largestRxBuffer, kMaxUnfinishedSentence);
}

// A receiver that reports every other second lets the countdown pass 0 between two GGA
// sentences when its restart puts the zero second between two reports; the next one orders.
// A restart 4 s after the order confirms it an odd number of seconds later.
TEST_P(Cycle, CountdownThatSkipsZeroStillOrders) {
    for (int offset : {0, 1}) {
        SCOPED_TRACE(offset);
        SimulatedWindow w;
        ReceiverScript script;
        script.restartDelay = 4;
        script.reportEvery = 2;
        script.reportOffset = offset;
        Run(w, script, 600);
        EXPECT_GE(w.orderSeconds.size(), 15u);
        EXPECT_GT(Shown(w, texts::Phase2Text(-1)), 0u);
        EXPECT_EQ(Shown(w, texts::Phase2Text(0)), 0u);
        ExpectOrdersAfterConfirmations(w, 31);
    }
}

// Reads that end where a sentence ends used to leave it behind to be analysed again,
// which confirmed the one restart twice.
TEST_P(Cycle, ReceiverThatRestartsOnceIsConfirmedOnce) {
    for (ReadSplit split :
         {ReadSplit::AtSentenceEnd, ReadSplit::AfterChecksum, ReadSplit::MidSentence}) {
        SCOPED_TRACE(static_cast<int>(split));
        SimulatedWindow w;
        ReceiverScript script;
        script.restartsObeyed = 1;
        script.split = split;
        Run(w, script, 200);
        EXPECT_EQ(w.confirmationSeconds.size(), 1u);
        EXPECT_EQ(w.orderSeconds.size(), 2u);
        EXPECT_EQ(Shown(w, kNoRespond), 1u);
        EXPECT_EQ(w.state.Phase, 1);
    }
}

TEST_P(Cycle, DayOfCyclingStaysBounded) {
    ReceiverScript script;
    script.split = ReadSplit::MidSentence;
    ScriptedReceiver receiver{script, w.port};
    w.keepStatusHistory = false;
    w.Click();
    for (int second = 0; second < 24 * 3600; ++second) {
        w.Second(&receiver, GetParam());
        ASSERT_LE(w.state.GgaCount, 60);
        ASSERT_GE(w.state.RestartCountdown, 0);
    }
    int largestGap = 0;
    for (std::size_t i = 1; i < w.orderSeconds.size(); ++i) {
        largestGap = std::max(largestGap, w.orderSeconds[i] - w.orderSeconds[i - 1]);
    }
    EXPECT_EQ(largestGap, 34);  // order, 3 s of restart, 30 s of countdown
    EXPECT_GT(w.orderSeconds.size(), 2400u);
    EXPECT_EQ(w.confirmationSeconds.size() + 1, w.orderSeconds.size());
    EXPECT_LE(w.largestRxBuffer, 200u);
    EXPECT_LE(w.state.ReceiveTick, 1000);
}

INSTANTIATE_TEST_SUITE_P(TimerOrders, Cycle,
                         ::testing::Values(TimerOrder::StartFirst, TimerOrder::PfFirst,
                                           TimerOrder::Alternate));

}  // namespace
}  // namespace quorvel::testing
