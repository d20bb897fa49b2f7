#include <cstdint>
#include <limits>
#include <string>

#include "ConnectionFixture.h"

namespace quorvel::testing {
namespace {

// Whether the port opened or not, the step carries on: the probe tells the operator.
TEST_F(ConnectionTest, FirstTimer1TickOpensThePortAndShowsTheRunningLook) {
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "port refused" : "port opened");
        port = FakeSerialPort{};
        store = FakeSettingsStore{};
        port.refuseOpenNumber = refused ? 1 : 0;
        state = RunState{};
        Click();
        connection.Timer1_Tick();

        EXPECT_EQ(port.open, !refused);
        EXPECT_EQ(store.Line(), refused ? "COM 1,9600\r\n" : "COM 12,115200\r\n");
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
    }
}

// Text of an earlier run says nothing about this connection, and the silence watch, which
// has ticked since start-up, counts again from here.
TEST_F(ConnectionTest, ConnectionStepForgetsEarlierRunsAndRestartsTheSilenceCount) {
    state.RxBuffer = "$GPGGA,123519.00,48";
    state.TextReceived = true;
    state.ProbeSeconds = 2;
    state.SilentSeconds = 5;
    state.ReceiveTick = 9;
    state.LastReceiveTick = 3;

    connection.Timer1_Tick();

    EXPECT_TRUE(state.RxBuffer.empty());
    EXPECT_FALSE(state.TextReceived);
    EXPECT_EQ(state.ProbeSeconds, 0);
    EXPECT_EQ(state.SilentSeconds, 0);
    EXPECT_EQ(state.LastReceiveTick, 9);
}

// A click while the status is still empty arms Timer1 again; until a reset it only counts,
// and the count never wraps back to the value that connects.
TEST_F(ConnectionTest, LaterTimer1TicksOnlyCountUntilTheCountIsZeroed) {
    Click();
    connection.Timer1_Tick();
    port.Close();
    port.calls.clear();
    display.label1 = "Connected!";
    state.ConnectTicks = std::numeric_limits<std::int32_t>::max() - 1;
    Click();

    for (int tick = 0; tick < 3; ++tick) connection.Timer1_Tick();

    EXPECT_EQ(state.ConnectTicks, std::numeric_limits<std::int32_t>::max());
    EXPECT_TRUE(port.calls.empty());
    EXPECT_EQ(display.label1, "Connected!");
    EXPECT_TRUE(display.On(TimerId::Timer1));

    state.ConnectTicks = 0;
    connection.Timer1_Tick();
    EXPECT_TRUE(port.open);
    EXPECT_FALSE(display.On(TimerId::Timer1));
    EXPECT_EQ(state.ConnectTicks, 1);
}

}  // namespace
}  // namespace quorvel::testing
