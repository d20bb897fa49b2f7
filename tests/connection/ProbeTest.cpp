#include <string>
#include <vector>

#include "ConnectionFixture.h"

namespace quorvel::testing {
namespace {

using Texts = std::vector<std::string>;

class ProbeTest : public ConnectionTest {
  protected:
    void Connect() {
        Click();
        connection.Timer1_Tick();
        display.timers[TimerId::Timer_Start] = true;
        display.statusColour = Colour::Green;
    }
    // What a receive event that delivered text does to the probe's view of things.
    void Receive(const std::string& text) {
        state.RxBuffer += text;
        state.TextReceived = true;
        state.ProbeSeconds = 0;
    }
    void Ticks(int n) {
        for (int tick = 0; tick < n; ++tick) connection.Timer_Tick();
    }
    void ExpectStillProbing() {
        EXPECT_EQ(display.label1, "Connecting.....");
        EXPECT_TRUE(display.On(TimerId::Timer));
        EXPECT_TRUE(display.On(TimerId::Timer_PF));
        EXPECT_TRUE(display.On(TimerId::Timer_Start));
    }
    void ExpectVerdict(const std::string& portText) {
        EXPECT_EQ(display.status, VerdictFor(portText));
        EXPECT_EQ(display.label1, "Can't connect!");
        EXPECT_FALSE(display.On(TimerId::Timer));
        EXPECT_FALSE(display.On(TimerId::Timer_PF));
        EXPECT_FALSE(display.On(TimerId::Timer_Start));
        EXPECT_EQ(display.statusColour, Colour::Green);
    }
};

TEST_F(ProbeTest, CountsSilentSecondsThenNamesThePortAsTheSelectorShowsIt) {
    for (const std::string portText : {"COM 12", "COM 101"}) {
        SCOPED_TRACE(portText);
        display.selectedPort = portText;
        display.statusHistory.clear();
        state = RunState{};
        port.Close();
        Connect();
        Ticks(2);
        EXPECT_EQ(display.statusHistory, (Texts{"1", "2"}));
        ExpectStillProbing();

        Ticks(1);
        EXPECT_EQ(display.statusHistory, (Texts{"1", "2", "3", VerdictFor(portText)}));
        ExpectVerdict(portText);
        EXPECT_EQ(state.Phase, 0);
    }
}

// The receive handler may have consumed every byte: an empty buffer is not silence.
TEST_F(ProbeTest, TextBetweenTicksEndsTheCountEvenWhenTheBufferIsEmptyAgain) {
    for (const std::string text : {"$GPGSV,3,1", ""}) {
        SCOPED_TRACE(text);
        display.statusHistory.clear();
        state = RunState{};
        port.Close();
        Connect();
        Ticks(1);
        Receive(text);
        Ticks(5);
        EXPECT_EQ(display.statusHistory, (Texts{"1"}));
        EXPECT_EQ(state.ProbeSeconds, 0);
        ExpectStillProbing();
    }
}

TEST_F(ProbeTest, CountAtThreeGivesTheVerdictEvenAfterText) {
    Connect();
    Receive("$GPGGA,");
    state.ProbeSeconds = 3;

    connection.Timer_Tick();

    EXPECT_EQ(display.statusHistory, (Texts{VerdictFor("COM 12")}));
    ExpectVerdict("COM 12");
}

}  // namespace
}  // namespace quorvel::testing
