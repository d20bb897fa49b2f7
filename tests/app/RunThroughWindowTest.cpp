// A test run driven the way the operator and the receiver drive it: clicks on the real
// window, ticks through the window's wiring, bytes through the port's notification.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTextEdit>

#include "AppFixture.h"

namespace quorvel::testing {
namespace {

constexpr const char* kOrder = "$PXEMSRT,C*3A\r\n";

class RunThroughWindow : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        WriteSettings("COM 7,4800\r\n");
        Launch();
    }
    // Start and let the connection step run.
    void Connect() {
        ClickStart();
        Tick(TimerId::Timer1);
    }
    void ExpectIdleLook() {
        EXPECT_EQ(Window().StatusText(), "");
        EXPECT_TRUE(Child<QGroupBox>("Frame5")->isEnabled());
        EXPECT_FALSE(port_.IsOpen());
        for (TimerId t : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF})
            EXPECT_FALSE(Window().TimerEnabled(t)) << static_cast<int>(t);
        EXPECT_EQ(Child<QLabel>("Label1")->text(), "");
    }
};

TEST_F(RunThroughWindow, StartOpensThePortOneTickLaterAndShowsTheRunningLook) {
    ClickStart();
    EXPECT_TRUE(Window().TimerEnabled(TimerId::Timer1));
    EXPECT_FALSE(port_.IsOpen());

    Tick(TimerId::Timer1);
    EXPECT_TRUE(port_.IsOpen());
    EXPECT_EQ(port_.commPort, 7);
    EXPECT_EQ(port_.settings, "4800,n,8,1");
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "Connecting.....");
    EXPECT_FALSE(Child<QGroupBox>("Frame5")->isEnabled());
    EXPECT_FALSE(Window().TimerEnabled(TimerId::Timer1));
    EXPECT_TRUE(Window().TimerEnabled(TimerId::Timer));
    EXPECT_TRUE(Window().TimerEnabled(TimerId::Timer_PF));
    EXPECT_EQ(State().RestartCountdown, 30);
    EXPECT_EQ(ReadSettings(), "COM 7,4800\r\n");
}

TEST_F(RunThroughWindow, ASilentPortIsReportedAfterThreeProbeSeconds) {
    Connect();
    Second();
    EXPECT_EQ(Window().StatusText(), "1");
    Second();
    EXPECT_EQ(Window().StatusText(), "2");
    Second();
    EXPECT_EQ(Window().StatusText(), "COM 7  error!\r\nPlease select another Com Port.");
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "Can't connect!");
    EXPECT_FALSE(Window().TimerEnabled(TimerId::Timer));
    EXPECT_FALSE(Window().TimerEnabled(TimerId::Timer_PF));
}

TEST_F(RunThroughWindow, TheFifthGgaOrdersAColdStartAndARestartIsConfirmedOnGreen) {
    Connect();
    for (int i = 0; i < 4; ++i) Receive(Gga("12000" + std::to_string(i)));
    EXPECT_TRUE(port_.written.empty());
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "Connected!");
    Receive(Gga("120004"));
    ASSERT_EQ(port_.written.size(), 1u);
    EXPECT_EQ(port_.written[0], kOrder);

    Second();
    EXPECT_EQ(Window().StatusText(), "Cold Starting..... 1(Sec)");
    Receive(Gga("000001"));
    EXPECT_EQ(State().Phase, 2);
    EXPECT_EQ(Window().StatusText(),
              "Cold Start OK!\r\nPlease stop the program then shut down the GPS now!\r\n"
              "It will Cold Start again! 30(S)");
    EXPECT_EQ(Child<QTextEdit>("Text_Error_1")->palette().color(QPalette::Base), QColor(0, 255, 0));
}

TEST_F(RunThroughWindow, StopRestoresTheIdleLookAndANewStartWorks) {
    Connect();
    Receive(Gga("120000"));
    ClickStart();
    ExpectIdleLook();
    EXPECT_EQ(State().Phase, 0);
    EXPECT_EQ(State().RestartCountdown, 30);

    Connect();
    EXPECT_TRUE(port_.IsOpen());
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "Connecting.....");
}

TEST_F(RunThroughWindow, TwoQuickClicksGiveOneConnectionStep) {
    ClickStart();
    ClickStart();
    Tick(TimerId::Timer1);
    EXPECT_EQ(port_.openCalls, 2);  // open, close, open again: one configuration
    Tick(TimerId::Timer1);
    EXPECT_EQ(port_.openCalls, 2);
}

TEST_F(RunThroughWindow, AStopStaysStoppedAfterAClickDuringARunWithAnEmptyStatus) {
    Connect();
    // Only sentences without a time: the status stays empty, so the click starts again.
    Receive("$GPGGA,,,,,,0,00,,,M,,M,,*66\r\n");
    ClickStart();
    EXPECT_TRUE(Window().TimerEnabled(TimerId::Timer1));
    Tick(TimerId::Timer1);  // only counts
    Receive(Gga("120000"));
    ClickStart();  // stop
    ExpectIdleLook();
    const int opens = port_.openCalls;
    for (int i = 0; i < 3; ++i) Second();
    EXPECT_EQ(port_.openCalls, opens);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "");
}

TEST_F(RunThroughWindow, StopOnAPortThatNeverOpenedDoesTheRest) {
    port_.refuseOpenNumber = 1;
    Connect();
    EXPECT_FALSE(port_.IsOpen());
    Second();
    ClickStart();
    ExpectIdleLook();
    EXPECT_EQ(ReadSettings(), "COM 7,4800\r\n");
}

TEST_F(RunThroughWindow, CantConnectIsReportedInASecondRunAfterAFirstRunReceivedData) {
    Connect();
    Receive(Gga("120000"));
    ClickStart();  // stop
    ASSERT_EQ(Window().StatusText(), "");

    Connect();  // this time the receiver stays silent
    Second();
    Second();
    Second();
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "Can't connect!");
    EXPECT_EQ(Window().StatusText(), "COM 7  error!\r\nPlease select another Com Port.");
}

TEST_F(RunThroughWindow, ASilentStartUpDoesNotSwallowTheProbeVerdict) {
    // Five silent seconds since start-up, then the operator starts.
    for (int i = 0; i < 5; ++i) Second();
    ASSERT_TRUE(Window().TimerEnabled(TimerId::Timer_PF));
    Connect();
    Second();
    Second();
    Second();
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "Can't connect!");
}

TEST_F(RunThroughWindow, ABlankStatusCountsAsARunAndTheClickStops) {
    Connect();
    Window().SetStatusText(" ");
    ClickStart();
    ExpectIdleLook();
}

}  // namespace
}  // namespace quorvel::testing
