#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ConnectionFixture.h"

namespace quorvel::testing {
namespace {

TEST_F(ConnectionTest, FirstTimer1TickOpensThePortAndShowsTheRunningLook) {
    Click();
    connection.Timer1_Tick();

    EXPECT_TRUE(port.open);
    EXPECT_EQ(port.commPort, 12);
    EXPECT_EQ(store.Line(), "COM 12,115200\r\n");
    EXPECT_EQ(display.startButtonColour, Colour::Grey);
    EXPECT_EQ(display.selectorColour, Colour::ButtonFace);
    EXPECT_FALSE(display.frame5Enabled);
    EXPECT_EQ(display.label1, "Connecting.....");
    EXPECT_TRUE(display.statusHistory.empty());
    EXPECT_EQ(state.RestartCountdown, 30);
    EXPECT_TRUE(display.On(TimerId::Timer));
    EXPECT_TRUE(display.On(TimerId::Timer_PF));
    EXPECT_FALSE(display.On(TimerId::Timer1));
    EXPECT_FALSE(display.On(TimerId::Timer_Start));
    EXPECT_EQ(state.ConnectTicks, 1);
}

// Whether the port opened or not, the step carries on: the probe tells the operator.
TEST_F(ConnectionTest, ConnectionStepCarriesOnWhenThePortIsRefused) {
    port.refuseOpenNumber = 1;
    Click();
    connection.Timer1_Tick();

    EXPECT_FALSE(port.open);
    EXPECT_EQ(store.Line(), "COM 1,9600\r\n");
    EXPECT_EQ(display.label1, "Connecting.....");
    EXPECT_EQ(display.startButtonColour, Colour::Grey);
    EXPECT_FALSE(display.frame5Enabled);
    EXPECT_EQ(state.RestartCountdown, 30);
    EXPECT_TRUE(display.On(TimerId::Timer));
    EXPECT_TRUE(display.On(TimerId::Timer_PF));
    EXPECT_FALSE(display.On(TimerId::Timer1));
}

// A click while the status is still empty arms Timer1 again; until a reset it only counts.
TEST_F(ConnectionTest, LaterTimer1TicksOnlyCount) {
    Click();
    connection.Timer1_Tick();
    port.calls.clear();
    display.label1 = "Connected!";
    display.startButtonColour = Colour::ButtonFace;
    display.frame5Enabled = true;
    state.RestartCountdown = 12;
    Click();

    for (int tick = 0; tick < 3; ++tick) connection.Timer1_Tick();

    EXPECT_EQ(state.ConnectTicks, 4);
    EXPECT_TRUE(port.calls.empty());
    EXPECT_EQ(display.label1, "Connected!");
    EXPECT_EQ(display.startButtonColour, Colour::ButtonFace);
    EXPECT_TRUE(display.frame5Enabled);
    EXPECT_EQ(state.RestartCountdown, 12);
    EXPECT_TRUE(display.On(TimerId::Timer1));
}

TEST_F(ConnectionTest, TickCountNeverComesBackToZero) {
    state.ConnectTicks = std::numeric_limits<std::int32_t>::max() - 1;
    for (int tick = 0; tick < 3; ++tick) connection.Timer1_Tick();

    EXPECT_EQ(state.ConnectTicks, std::numeric_limits<std::int32_t>::max());
    EXPECT_TRUE(port.calls.empty());
    EXPECT_NE(display.label1, "Connecting.....");
}

TEST_F(ConnectionTest, ZeroedTickCountConnectsAgain) {
    connection.Timer1_Tick();
    port.Close();
    port.calls.clear();
    state.ConnectTicks = 0;
    Click();

    connection.Timer1_Tick();

    EXPECT_TRUE(port.open);
    EXPECT_EQ(port.calls.front(), "SetCommPort 12");
    EXPECT_FALSE(display.On(TimerId::Timer1));
    EXPECT_EQ(state.ConnectTicks, 1);
}

// Text of an earlier run says nothing about this connection.
TEST_F(ConnectionTest, ConnectionStepForgetsWhatEarlierRunsReceived) {
    state.RxBuffer = "$GPGGA,123519.00,48";
    state.TextReceived = true;

    connection.Timer1_Tick();

    EXPECT_TRUE(state.RxBuffer.empty());
    EXPECT_FALSE(state.TextReceived);
    EXPECT_EQ(state.ProbeSeconds, 0);
}

// The silence watch has ticked since start-up; it counts again from the connection step.
TEST_F(ConnectionTest, SilenceCountRestartsAtTheConnectionStep) {
    state.SilentSeconds = 5;
    state.ReceiveTick = 9;
    state.LastReceiveTick = 3;

    connection.Timer1_Tick();

    EXPECT_EQ(state.SilentSeconds, 0);
    EXPECT_EQ(state.LastReceiveTick, 9);
    EXPECT_EQ(state.ReceiveTick, 9);
}

}  // namespace
}  // namespace quorvel::testing
