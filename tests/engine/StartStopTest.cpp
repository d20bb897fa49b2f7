// The start/stop button.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

class StartStopButton : public ::testing::Test {
protected:
    SimulatedWindow w;
    ScriptedReceiver receiver{ReceiverScript{}, w.port};

    void ExpectIdle() {
        EXPECT_FALSE(w.port.IsOpen());
        EXPECT_EQ(w.display.status, "");
        EXPECT_TRUE(w.display.statusVisible);
        EXPECT_EQ(w.display.statusColour, Colour::ButtonFace);
        EXPECT_EQ(w.display.label1, "");
        EXPECT_EQ(w.display.startButtonColour, Colour::ButtonFace);
        EXPECT_TRUE(w.display.frame5Enabled);
        EXPECT_EQ(w.display.selectorColour, Colour::WindowColour);
        for (auto timer :
             {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
            EXPECT_FALSE(w.display.On(timer)) << static_cast<int>(timer);
        }
        EXPECT_EQ(w.state.Phase, 0);
        EXPECT_EQ(w.state.RestartCountdown, 30);
        EXPECT_TRUE(w.state.Sentence.empty());
    }
};

TEST_F(StartStopButton, EmptyStatusStartsByArmingTimer1Only) {
    w.Click();
    EXPECT_TRUE(w.display.On(TimerId::Timer1));
    EXPECT_FALSE(w.port.IsOpen());
    EXPECT_TRUE(w.port.calls.empty());
    EXPECT_EQ(w.display.label1, "Not connected!");
}

TEST_F(StartStopButton, StopDuringACountdownClosesAndShowsTheIdleLook) {
    w.Click();
    w.Run(20, &receiver);
    ASSERT_EQ(w.state.Phase, 2);
    w.display.SetFrame5Enabled(false);
    w.display.SetStartButtonColour(Colour::Grey);
    w.port.pending = "$GPGGA,1200";
    const std::string kept = w.state.RxBuffer;
    w.port.calls.clear();
    w.Click();
    EXPECT_EQ(w.port.calls, (std::vector<std::string>{"DiscardInput", "Close"}));
    EXPECT_EQ(w.state.RxBuffer, kept);
    ExpectIdle();
}

TEST_F(StartStopButton, StatusOfBlanksOnlyStops) {
    w.display.SetStatusText("   ");
    w.display.SetTimerEnabled(TimerId::Timer_PF, true);
    w.Click();
    ExpectIdle();
}

TEST_F(StartStopButton, StopOnAClosedPortSkipsThePort) {
    w.display.SetStatusText("COM 7  error!\r\nPlease select another Com Port.");
    w.state.Sentence = "$GPG";
    w.Click();
    EXPECT_TRUE(w.port.calls.empty());
    EXPECT_EQ(w.state.Sentence, "$GPG");
    w.state.Sentence.clear();
    ExpectIdle();
}

TEST_F(StartStopButton, TwoQuickClicksGiveOneConnectionStep) {
    w.Click();
    w.Click();
    EXPECT_TRUE(w.display.On(TimerId::Timer1));
    w.Run(3, nullptr);
    EXPECT_EQ(w.port.openCalls, 1);
    EXPECT_EQ(w.display.label1, "Connecting.....");
}

// A click while the status is still empty arms Timer1 during the run; the stop switches it
// off, so the port stays closed after the stop.
TEST_F(StartStopButton, StopLeavesTimer1OffSoThePortStaysClosed) {
    ReceiverScript script;
    script.emptyTimeFields = true;  // no time: nothing shown, the status stays empty
    ScriptedReceiver quiet{script, w.port};
    w.Click();
    w.Run(3, &quiet);
    ASSERT_EQ(w.display.status, "");
    w.Click();  // takes the start path again
    EXPECT_TRUE(w.display.On(TimerId::Timer1));
    w.Run(2, &quiet);
    EXPECT_EQ(w.port.openCalls, 1);
    w.display.SetStatusText("Cold Start fail!");
    w.Click();
    ExpectIdle();
    w.Run(5, &quiet);
    EXPECT_EQ(w.port.openCalls, 1);
    EXPECT_FALSE(w.port.IsOpen());
    EXPECT_EQ(w.display.label1, "");
}

TEST_F(StartStopButton, StopThenStartBeginsAFreshRun) {
    w.Click();
    w.Run(20, &receiver);
    w.Click();
    w.Click();
    w.Run(12, &receiver);
    EXPECT_EQ(w.port.openCalls, 2);
    EXPECT_EQ(w.display.label1, "Connected!");
    EXPECT_EQ(w.port.written.size(), 2u);
}

}  // namespace
}  // namespace quorvel::testing
