#include <initializer_list>
#include <map>
#include <string>

#include "ConnectionFixture.h"
#include "engine/StartStop.h"
#include "engine/TestEngine.h"

namespace quorvel::testing {
namespace {

// The connection handlers together with the engine and the start/stop button, driven second by
// second as the window's timers would drive them: a tick only reaches an enabled timer.
class ConnectionCycleTest : public ConnectionTest {
  protected:
    void Tick(TimerId timer) {
        if (!display.On(timer)) return;
        switch (timer) {
            case TimerId::Timer1:
                connection.Timer1_Tick();
                break;
            case TimerId::Timer:
                connection.Timer_Tick();
                break;
            case TimerId::Timer_Start:
                engine.Timer_Start_Tick();
                break;
            case TimerId::Timer_PF:
                engine.Timer_PF_Tick();
                break;
        }
    }
    // One second; ticks that fall due together come in the order given. A timer enabled
    // during this second first ticks in the next one.
    void Second(std::initializer_list<TimerId> order) {
        const std::map<TimerId, bool> due = display.timers;
        for (TimerId timer : order) {
            if (due.at(timer)) Tick(timer);
        }
    }
    void Receive(const std::string& text) {
        port.pending += text;
        engine.HandlePortEvent(comm_event::kReceive);
    }

    static constexpr std::initializer_list<TimerId> kSilenceFirst = {
        TimerId::Timer1, TimerId::Timer_PF, TimerId::Timer_Start, TimerId::Timer};
    static constexpr std::initializer_list<TimerId> kProbeFirst = {
        TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF};

    TestEngine engine{state, display, port};
    StartStop button{state, display, port, engine};
};

const std::string kGga = "$GPGGA,101010.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*6C\r\n";

// The operator clicks a few seconds after start-up, while the silence watch has been counting:
// a silent port must still get its verdict, whichever timer ticks first.
TEST_F(ConnectionCycleTest, SilentPortGetsTheVerdictEvenLateAfterStartUp) {
    for (auto order : {kSilenceFirst, kProbeFirst}) {
        SCOPED_TRACE(order.begin() == kSilenceFirst.begin() ? "silence first" : "probe first");
        state = RunState{};
        display = FakeDisplay{};
        display.selectedPort = "COM 12";
        display.selectedBaud = "115200";
        port = FakeSerialPort{};
        for (int s = 0; s < 4; ++s) Second(order);
        button.Cmd_Start_1_Click();

        for (int s = 0; s < 4; ++s) Second(order);

        EXPECT_EQ(display.status, VerdictFor("COM 12"));
        EXPECT_EQ(display.label1, "Can't connect!");
        EXPECT_FALSE(display.On(TimerId::Timer));
        EXPECT_FALSE(display.On(TimerId::Timer_PF));
    }
}

TEST_F(ConnectionCycleTest, ReceiverThatTalksIsNeverReportedUnreachable) {
    button.Cmd_Start_1_Click();
    Second(kProbeFirst);  // connection step
    Second(kProbeFirst);
    EXPECT_EQ(display.status, "1");

    for (int s = 0; s < 6; ++s) {
        Receive(kGga);
        Second(kProbeFirst);
    }

    EXPECT_EQ(display.label1, "Connected!");
    EXPECT_NE(display.status, VerdictFor("COM 12"));
    EXPECT_TRUE(display.On(TimerId::Timer));
}

// First run: the receiver talks, the operator stops. Second run: the receiver is unplugged.
// The second run must say so instead of quietly resetting.
TEST_F(ConnectionCycleTest, SecondRunReportsAReceiverThatFellSilent) {
    button.Cmd_Start_1_Click();
    Second(kSilenceFirst);
    for (int s = 0; s < 3; ++s) {
        Receive(kGga);
        Second(kSilenceFirst);
    }
    Receive("$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292");
    ASSERT_EQ(display.label1, "Connected!");
    ASSERT_FALSE(state.RxBuffer.empty());

    button.Cmd_Start_1_Click();  // stop
    ASSERT_TRUE(display.status.empty());
    port.refuseOpenNumber = port.openCalls + 1;
    button.Cmd_Start_1_Click();  // start again

    for (int s = 0; s < 4; ++s) Second(kSilenceFirst);

    EXPECT_FALSE(port.open);
    EXPECT_EQ(display.status, VerdictFor("COM 12"));
    EXPECT_EQ(display.label1, "Can't connect!");
}

}  // namespace
}  // namespace quorvel::testing
