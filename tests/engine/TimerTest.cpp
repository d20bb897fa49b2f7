// The two cycle timers and the reset of a test run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

using Texts = std::vector<std::string>;
const std::string kFail = "Cold Start fail!";

struct StartTickCase {
    std::int16_t phase;
    std::int16_t baud;
    std::int16_t coldStart;
    std::int16_t countdown;
    // after the tick
    std::int16_t baudAfter;
    std::int16_t coldStartAfter;
    std::int16_t countdownAfter;
    Texts shown;
};

TEST(TimerStartTick, CountsShowsAndCountsDown) {
    const std::vector<StartTickCase> cases = {
        {0, 3, 0, 30, 4, 0, 30, {}},  // the baud check climbs and holds at 9
        {0, 9, 0, 30, 9, 0, 30, {}},
        {1, 9, 0, 30, 9, 1, 30, {"Cold Starting..... 1(Sec)"}},
        {1, 9, 29, 30, 9, 30, 30, {"Cold Starting..... 30(Sec)"}},
        {1, 9, 30, 30, 9, 31, 30, {"Cold Starting..... 31(Sec)", kFail}},
        {1, 9, 32767, 30, 9, 32767, 30, {"Cold Starting..... 32767(Sec)", kFail}},
        {2, 9, 35, 30, 9, 35, 29, {kFail}},  // a late confirmation keeps failing
        {2, 9, 0, 0, 9, 0, -1, {}},
        {2, 9, 0, -32768, 9, 0, -32768, {}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& c = cases[i];
        SimulatedWindow w;
        w.display.SetStatusColour(Colour::Grey);
        w.state.Phase = c.phase;
        w.state.BaudCheckSeconds = c.baud;
        w.state.ColdStartSeconds = c.coldStart;
        w.state.RestartCountdown = c.countdown;
        w.engine.Timer_Start_Tick();
        EXPECT_EQ(w.state.BaudCheckSeconds, c.baudAfter);
        EXPECT_EQ(w.state.ColdStartSeconds, c.coldStartAfter);
        EXPECT_EQ(w.state.RestartCountdown, c.countdownAfter);
        EXPECT_EQ(w.display.statusHistory, c.shown);
        EXPECT_EQ(w.display.statusColour, Colour::Grey);
        EXPECT_EQ(w.state.Phase, c.phase);
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
    void ExpectTimers(bool timer, bool start, bool pf) {
        EXPECT_EQ(w.display.On(TimerId::Timer), timer);
        EXPECT_EQ(w.display.On(TimerId::Timer_Start), start);
        EXPECT_EQ(w.display.On(TimerId::Timer_PF), pf);
    }
};

// Silence during an outstanding order shows only through the no-response count.
TEST_F(TimerPfTick, NoResponseVerdictOnTheThirtiethSecondOnly) {
    w.state.Phase = 1;
    w.state.NoRespondSeconds = 28;
    w.state.SilentSeconds = 5;
    w.state.ReceiveTick = 7;
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.display.status, "UTC Time :12:00:00\r\n");
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.state.NoRespondSeconds, 30);
    EXPECT_EQ(w.display.status, "Cold Start fail!(1)\r\nGPS no respond.");
    EXPECT_EQ(w.display.statusColour, Colour::Red);
    EXPECT_EQ(w.display.label1, "Not connected!");
    ExpectTimers(false, false, true);
    const auto shown = w.display.statusHistory.size();
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.state.NoRespondSeconds, 31);
    EXPECT_EQ(w.display.statusHistory.size(), shown);
    EXPECT_EQ(w.state.Phase, 1);
    EXPECT_EQ(w.state.SilentSeconds, 5);
    EXPECT_EQ(w.state.LastReceiveTick, 0);
    w.state.NoRespondSeconds = 32767;
    w.engine.Timer_PF_Tick();
    EXPECT_EQ(w.state.NoRespondSeconds, 32767);
}

// A receive event between two ticks starts the silence count again. After a confirmation the
// sixth silent tick in a row means the receiver was switched off; before an order it quietly
// resets the run.
TEST_F(TimerPfTick, SixthSilentTickShutsDownOrResets) {
    for (std::int16_t phase : {2, 0}) {
        SCOPED_TRACE(phase);
        SetUp();
        w.state.Phase = phase;
        w.state.SilentSeconds = 4;
        w.state.ReceiveTick = 7;
        w.state.LastReceiveTick = 6;
        w.state.GgaCount = 3;
        for (int tick = 0; tick < 6; ++tick) w.engine.Timer_PF_Tick();
        EXPECT_EQ(w.state.LastReceiveTick, 7);
        EXPECT_EQ(w.display.status, "UTC Time :12:00:00\r\n");
        w.engine.Timer_PF_Tick();
        EXPECT_EQ(w.display.status, phase == 2 ? "GPS be shuted down." : "");
        EXPECT_EQ(w.display.statusColour, phase == 2 ? Colour::Green : Colour::ButtonFace);
        EXPECT_EQ(w.state.GgaCount, phase == 2 ? 3 : 0);
        EXPECT_EQ(w.state.Phase, phase);
        EXPECT_EQ(w.display.label1, "Connected!");
        ExpectTimers(false, false, false);
    }
}

// What the stop path and the silence reset leave on the display is proven with them.
TEST(ResetTestRun, PutsTheRunBackToItsBeginning) {
    SimulatedWindow w;
    RunState& s = w.state;
    s = RunState{3, 4, 77, 2, -5, 6, 7, 8, 2, 9, true, "$GPGSA,", "", 5, true};
    w.display.SetTimerEnabled(TimerId::Timer_Start, true);
    w.display.SetTimerEnabled(TimerId::Timer, true);
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
    EXPECT_FALSE(w.display.On(TimerId::Timer_Start));
    EXPECT_TRUE(w.display.On(TimerId::Timer));
}

}  // namespace
}  // namespace quorvel::testing
