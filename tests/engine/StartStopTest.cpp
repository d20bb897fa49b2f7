// The stop path of the start/stop button; the rest of it is proven through the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

class StartStopButton : public ::testing::Test {
  protected:
    SimulatedWindow w;

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

TEST_F(StartStopButton, StopDuringACountdownClosesAndShowsTheIdleLook) {
    ScriptedReceiver receiver{ReceiverScript{}, w.port};
    w.Click();
    w.Run(20, &receiver);
    ASSERT_EQ(w.state.Phase, 2);
    w.display.SetFrame5Enabled(false);
    w.display.SetStartButtonColour(Colour::Grey);
    w.port.pending = "$GPGGA,1200";
    w.port.calls.clear();
    w.Click();
    EXPECT_EQ(w.port.calls, (std::vector<std::string>{"DiscardInput", "Close"}));
    ExpectIdle();
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
    w.Run(2, &quiet);
    w.display.SetStatusText("Cold Start fail!");
    w.Click();
    ExpectIdle();
    w.Run(5, &quiet);
    EXPECT_EQ(w.port.openCalls, 1);
    EXPECT_FALSE(w.port.IsOpen());
}

}  // namespace
}  // namespace quorvel::testing
