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

TEST_F(ProbeTest, CountsSilentSecondsWithoutBlank) {
    Connect();
    connection.Timer_Tick();
    connection.Timer_Tick();

    EXPECT_EQ(display.statusHistory, (Texts{"1", "2"}));
    ExpectStillProbing();
}

TEST_F(ProbeTest, ThirdSilentSecondGivesTheVerdictAndStopsTheTimers) {
    Connect();
    for (int tick = 0; tick < 3; ++tick) connection.Timer_Tick();

    EXPECT_EQ(display.statusHistory, (Texts{"1", "2", "3", VerdictFor("COM 12")}));
    ExpectVerdict("COM 12");
    EXPECT_TRUE(port.open);
    EXPECT_EQ(state.Phase, 0);
}

TEST_F(ProbeTest, VerdictNamesThePortAsTheSelectorShowsIt) {
    for (const std::string portText : {"COM 1", "COM 101"}) {
        SCOPED_TRACE(portText);
        display.selectedPort = portText;
        state = RunState{};
        Connect();
        for (int tick = 0; tick < 3; ++tick) connection.Timer_Tick();
        ExpectVerdict(portText);
        port.Close();
    }
}

TEST_F(ProbeTest, TextBetweenTicksEndsTheCount) {
    Connect();
    connection.Timer_Tick();
    Receive("$GPGSV,3,1");

    for (int tick = 0; tick < 5; ++tick) connection.Timer_Tick();

    EXPECT_EQ(display.statusHistory, (Texts{"1"}));
    EXPECT_EQ(state.ProbeSeconds, 0);
    ExpectStillProbing();
}

// The receive handler may have consumed every byte: an empty buffer is not silence.
TEST_F(ProbeTest, ReceivedTextCountsEvenWhenTheBufferIsEmptyAgain) {
    Connect();
    Receive("");
    for (int tick = 0; tick < 4; ++tick) connection.Timer_Tick();

    EXPECT_TRUE(display.statusHistory.empty());
    ExpectStillProbing();
}

TEST_F(ProbeTest, CountAtThreeGivesTheVerdictEvenAfterText) {
    Connect();
    Receive("$GPGGA,");
    state.ProbeSeconds = 3;

    connection.Timer_Tick();

    EXPECT_EQ(display.statusHistory, (Texts{VerdictFor("COM 12")}));
    ExpectVerdict("COM 12");
}

// A receiver that spoke in the first run and is silent in the second is still reported.
TEST_F(ProbeTest, SecondRunAfterASpeakingFirstRunStillReportsSilence) {
    Connect();
    Receive("$GPGGA,101010.00,,,,,0*6A\r\n$GPG");
    for (int tick = 0; tick < 4; ++tick) connection.Timer_Tick();
    ASSERT_TRUE(display.statusHistory.empty());

    // The operator stops: port closed, timers off, the run reset.
    port.Close();
    for (TimerId t : {TimerId::Timer_Start, TimerId::Timer, TimerId::Timer_PF})
        display.timers[t] = false;
    state.ConnectTicks = 0;
    state.ProbeSeconds = 0;
    display.status.clear();
    display.label1.clear();
    port.refuseOpenNumber = port.openCalls + 1;  // the receiver is gone now

    Connect();
    for (int tick = 0; tick < 3; ++tick) connection.Timer_Tick();

    EXPECT_FALSE(port.open);
    EXPECT_EQ(display.statusHistory, (Texts{"1", "2", "3", VerdictFor("COM 12")}));
    ExpectVerdict("COM 12");
}

}  // namespace
}  // namespace quorvel::testing
