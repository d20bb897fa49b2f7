// The two cycle timers and the reset of a test run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

struct StartTickCase {
    const char* name;
    std::int16_t phase;
    std::int16_t baud;
    std::int16_t coldStart;
    std::int16_t countdown;
    // after the tick
    std::int16_t baudAfter;
    std::int16_t coldStartAfter;
    std::int16_t countdownAfter;
    std::vector<std::string> shown;
};

TEST(TimerStartTick, CountsShowsAndCountsDown) {
    const std::vector<StartTickCase> cases = {
        {"baud check climbs", 0, 3, 0, 30, 4, 0, 30, {}},
        {"baud check holds at 9", 0, 9, 0, 30, 9, 0, 30, {}},
        {"first second of a cold start", 1, 9, 0, 30, 9, 1, 30, {"Cold Starting..... 1(Sec)"}},
        {"thirtieth second", 1, 9, 29, 30, 9, 30, 30, {"Cold Starting..... 30(Sec)"}},
        {"thirty-first second fails",
         1,
         9,
         30,
         30,
         9,
         31,
         30,
         {"Cold Starting..... 31(Sec)", "Cold Start fail!"}},
        {"count stops at its limit",
         1,
         9,
         32767,
         30,
         9,
         32767,
         30,
         {"Cold Starting..... 32767(Sec)", "Cold Start fail!"}},
        {"late confirmation keeps failing", 2, 9, 35, 30, 9, 35, 29, {"Cold Start fail!"}},
        {"countdown", 2, 9, 0, 30, 9, 0, 29, {}},
        {"countdown passes 0", 2, 9, 0, 0, 9, 0, -1, {}},
        {"countdown stops at its limit", 2, 9, 0, -32768, 9, 0, -32768, {}},
    };
    for (const auto& c : cases) {
        SimulatedWindow w;
        w.display.SetStatusColour(Colour::Grey);
        w.state.Phase = c.phase;
        w.state.BaudCheckSeconds = c.baud;
        w.state.ColdStartSeconds = c.coldStart;
        w.state.RestartCountdown = c.countdown;
        w.engine.Timer_Start_Tick();
        EXPECT_EQ(w.state.BaudCheckSeconds, c.baudAfter) << c.name;
        EXPECT_EQ(w.state.ColdStartSeconds, c.coldStartAfter) << c.name;
        EXPECT_EQ(w.state.RestartCountdown, c.countdownAfter) << c.name;
        EXPECT_EQ(w.display.statusHistory, c.shown) << c.name;
        EXPECT_EQ(w.display.statusColour, Colour::Grey) << c.name;
        EXPECT_EQ(w.state.Phase, c.phase) << c.name;
    }
}

class TimerPfTick : public ::testing::Test {
protected:
    SimulatedWindow w;
    void SetUp() override {
        for (auto timer : {TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF}) {
            w.display.SetTimerEnabled(timer, true);
        }
        w.display.SetLabel1("Connected!");
        w.display.SetStatusText("UTC Time :12:00:00\r\n");
        w.display.SetStatusColour(Colour::Green);
    }
    bool AllOff() const {
        return !w.display.On(TimerId::Timer) && !w.display.On(TimerId::Timer_Start) &&
               !w.display.On(TimerId::Timer_PF);
    }
};

TEST_F(TimerPfTick, NoResponseVerdictOnTheThirtiethSecondOnly) {
    w.state.Phase = 1;
    w.state.NoRespondSeconds = 28;
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.display.status, "UTC Time :12:00:00\r\n");
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.state.NoRespondSeconds, 30);
    EXPECT_EQ(w.display.status, "Cold Start fail!(1)\r\nGPS no respond.");
    EXPECT_EQ(w.display.statusColour, Colour::Red);
    EXPECT_EQ(w.display.label1, "Not connected!");
    EXPECT_FALSE(w.display.On(TimerId::Timer));
    EXPECT_FALSE(w.display.On(TimerId::Timer_Start));
    EXPECT_TRUE(w.display.On(TimerId::Timer_PF));
    const auto shown = w.display.statusHistory.size();
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.state.NoRespondSeconds, 31);
    EXPECT_EQ(w.display.statusHistory.size(), shown);
    EXPECT_EQ(w.state.Phase, 1);
}

TEST_F(TimerPfTick, NoResponseCountStopsAtItsLimit) {
    w.state.Phase = 1;
    w.state.NoRespondSeconds = 32767;
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.state.NoRespondSeconds, 32767);
}

TEST_F(TimerPfTick, SilenceIsNotWatchedWhileAnOrderIsOutstanding) {
    w.state.Phase = 1;
    w.state.SilentSeconds = 5;
    w.state.ReceiveTick = 7;
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.state.SilentSeconds, 5);
    EXPECT_EQ(w.state.LastReceiveTick, 0);
}

TEST_F(TimerPfTick, ReceptionClearsTheSilenceCount) {
    for (std::int16_t phase : {0, 2}) {
        w.state.Phase = phase;
        w.state.SilentSeconds = 5;
        w.state.ReceiveTick = 7;
        w.state.LastReceiveTick = 6;
        w.engine.Timer_PF_Tick();
        EXPECT_EQ(w.state.LastReceiveTick, 7);
        EXPECT_EQ(w.state.SilentSeconds, 0);
    }
}

TEST_F(TimerPfTick, SixthSilentSecondAfterAConfirmationMeansShutDown) {
    w.state.Phase = 2;
    w.state.SilentSeconds = 4;
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.display.status, "UTC Time :12:00:00\r\n");
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.display.status, "GPS be shuted down.");
    EXPECT_EQ(w.display.statusColour, Colour::Green);
    EXPECT_EQ(w.display.label1, "Connected!");
    EXPECT_EQ(w.state.Phase, 2);
    EXPECT_TRUE(AllOff());
}

TEST_F(TimerPfTick, SixthSilentSecondBeforeAnOrderResetsQuietly) {
    w.state.Phase = 0;
    w.state.SilentSeconds = 5;
    w.state.GgaCount = 3;
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.display.status, "");
    EXPECT_EQ(w.display.statusColour, Colour::ButtonFace);
    EXPECT_EQ(w.state.GgaCount, 0);
    EXPECT_EQ(w.display.label1, "Connected!");
    EXPECT_TRUE(AllOff());
}

TEST(ResetTestRun, PutsTheRunBackToItsBeginning) {
    SimulatedWindow w;
    RunState& s = w.state;
    s = RunState{3, 4, 77, 2, -5, 6, 7, 8, 2, 9, true, "$GPGSA,", "", 5, true};
    w.display.SetTimerEnabled(TimerId::Timer_Start, true);
    w.display.SetTimerEnabled(TimerId::Timer, true);
    w.display.SetTimerEnabled(TimerId::Timer1, true);
    w.display.SetStatusText("GPS be shuted down.");
    w.display.SetStatusColour(Colour::Green);
    w.display.SetStartButtonColour(Colour::Grey);
    w.display.SetSelectorColours(Colour::ButtonFace);
    w.display.SetLabel1("Connected!");
    w.display.statusVisible = false;
    for (int twice = 0; twice < 2; ++twice) {
        w.engine.ResetTestRun();
        EXPECT_EQ(s.NoRespondSeconds, 0);
        EXPECT_EQ(s.GgaCount, 0);
        EXPECT_EQ(s.Phase, 0);
        EXPECT_EQ(s.RestartCountdown, 30);
        EXPECT_EQ(s.ColdStartSeconds, 0);
        EXPECT_EQ(s.LastReceiveTick, 0);
        EXPECT_EQ(s.SilentSeconds, 0);
        EXPECT_EQ(s.ProbeSeconds, 0);
        EXPECT_EQ(s.BaudCheckSeconds, 0);
        EXPECT_FALSE(s.GgaSeen);
        EXPECT_EQ(s.ConnectTicks, 0);
        EXPECT_EQ(s.ReceiveTick, 77);
        EXPECT_EQ(s.RxBuffer, "$GPGSA,");
        EXPECT_EQ(w.display.status, "");
        EXPECT_EQ(w.display.statusColour, Colour::ButtonFace);
        EXPECT_EQ(w.display.startButtonColour, Colour::ButtonFace);
        EXPECT_EQ(w.display.selectorColour, Colour::WindowColour);
        EXPECT_FALSE(w.display.On(TimerId::Timer_Start));
        EXPECT_TRUE(w.display.On(TimerId::Timer));
        EXPECT_TRUE(w.display.On(TimerId::Timer_PF));
        EXPECT_TRUE(w.display.On(TimerId::Timer1));
        EXPECT_EQ(w.display.label1, "Connected!");
        EXPECT_FALSE(w.display.statusVisible);
    }
}

}  // namespace
}  // namespace quorvel::testing
