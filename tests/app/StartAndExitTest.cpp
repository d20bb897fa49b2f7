// Start-up and Exit of the whole program, in a temporary working directory.
#include <QApplication>
#include <QLabel>
#include <QTextEdit>
#include <QTimer>

#include "AppFixture.h"

namespace quorvel::testing {
namespace {

using StartAndExit = AppTest;

TEST_F(StartAndExit, FirstStartInAnEmptyFolderRecoversOnceWithTheDefault) {
    Launch();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0], "File lose.....|Can't find the \"Set.txt\" file, now make a new!");
    EXPECT_EQ(ReadSettings(), "COM 1,9600\r\n");
    EXPECT_EQ(Window().SelectedPort(), "COM 1");
    EXPECT_EQ(Window().SelectedBaud(), "9600");

    program_.reset();
    messages_.shown.clear();
    Launch();
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(StartAndExit, SavedChoiceIsSelectedAndTheWindowStartsIdle) {
    WriteSettings("COM 7,4800\r\n");
    Launch();
    EXPECT_TRUE(messages_.shown.empty());
    auto* ports = Child<QComboBox>("ComPort_6");
    auto* bauds = Child<QComboBox>("BaudRate_6");
    EXPECT_EQ(ports->count(), 101);
    EXPECT_EQ(bauds->count(), 10);
    EXPECT_EQ(ports->currentText(), "COM 7");
    EXPECT_EQ(bauds->currentText(), "4800");
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "Not connected!");
    EXPECT_TRUE(Child<QTextEdit>("Text_Error_1")->isReadOnly());
    EXPECT_EQ(Window().StatusText(), "");
    EXPECT_EQ(State().RestartCountdown, 0);
    EXPECT_TRUE(Window().isVisible());
    EXPECT_DOUBLE_EQ(Window().windowOpacity(), 1.0);
    EXPECT_TRUE(Window().TimerEnabled(TimerId::Timer_PF));
    EXPECT_FALSE(Window().TimerEnabled(TimerId::Timer1));
    EXPECT_FALSE(port_.IsOpen());
}

TEST_F(StartAndExit, AnUnknownPortFallsBackToTheDefaultWithEntriesFilledOnce) {
    WriteSettings("COM 150,9600\r\n");
    Launch();
    EXPECT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(Child<QComboBox>("ComPort_6")->count(), 101);
    EXPECT_EQ(Window().SelectedPort(), "COM 1");
    EXPECT_EQ(ReadSettings(), "COM 1,9600\r\n");
}

TEST_F(StartAndExit, PortTooltipsNameTheDevice) {
    Launch();
    ASSERT_TRUE(Window().portToolTip);
    EXPECT_NE(Window().portToolTip("COM 33").toStdString().find("/dev/ttyUSB0"), std::string::npos);
}

TEST_F(StartAndExit, ACloseRequestIsRefused) {
    Launch();
    EXPECT_FALSE(Window().close());
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(StartAndExit, ExitDuringARunEndsTheEventLoopAndReleasesThePort) {
    WriteSettings("COM 3,9600\r\n");
    Launch();
    Child<QPushButton>("Cmd_Start_1")->click();
    Tick(TimerId::Timer1);
    ASSERT_TRUE(port_.IsOpen());
    Receive(Gga("120000"));

    bool stillRunning = true;
    QTimer::singleShot(0, [&] { Child<QPushButton>("Com_Exit")->click(); });
    // If Exit failed to end the loop, this guard would end it with another code.
    QTimer::singleShot(5000, [&] { QCoreApplication::exit(99); });
    const int code = QApplication::exec();
    stillRunning = Window().isVisible();
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(stillRunning);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(ReadSettings(), "COM 3,9600\r\n");
}

}  // namespace
}  // namespace quorvel::testing
