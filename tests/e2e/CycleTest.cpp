// Whole runs against the simulated receiver: what the operator sees and what the receiver gets.
#include "EndToEnd.h"

namespace quorvel::e2e {
namespace {

using namespace quorvel::texts;

bool IsPhase2Text(const std::string& status) {
    return status.rfind(S(kColdStartOk) + S(kCrLf) + S(kStopAndShutDown), 0) == 0;
}

class Cycle : public EndToEnd {};

TEST_F(Cycle, TwoOrdersGoOutAndEachRestartIsConfirmedOnGreen) {
    Sim& sim = StartSim({"--start-time", "120000"});
    Launch("4800");
    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return sim.Orders() >= 2; })) << sim.Out() << History();
    EXPECT_EQ(Count(sim.Out(), "restarted: time 000000"), 1) << sim.Out();

    // Each look in order: time, count, confirmation on green, countdown, and a second count.
    EXPECT_TRUE(Saw([](const Look& l) {
        return l.status.rfind(S(kUtcTime) + "12:00:", 0) == 0 && l.label == "Connected!";
    })) << History();
    EXPECT_TRUE(SawStatus(S(kColdStarting) + " 1(Sec)")) << History();
    EXPECT_TRUE(SawStatus(S(kUtcTime) + "00:00:00" + S(kCrLf) + S(kColdStartOk))) << History();
    EXPECT_TRUE(Saw([](const Look& l) {
        return IsPhase2Text(l.status) && l.status.ends_with(" 30(S)") && l.colour == kGreen;
    })) << History();
    EXPECT_TRUE(Saw([](const Look& l) {
        return IsPhase2Text(l.status) && l.status.ends_with(" 1(S)") && l.colour == kGreen;
    })) << History();
    // After the second order the count starts again from 1.
    EXPECT_TRUE(WaitFor([&] {
        std::size_t i = 0;
        while (i < texts_.size() && !IsPhase2Text(texts_[i])) ++i;
        for (; i < texts_.size(); ++i)
            if (texts_[i] == S(kColdStarting) + " 1(Sec)") return true;
        return false;
    })) << History();
    EXPECT_FALSE(SawStatus(S(kColdStartFail))) << History();

    StopAndExpectIdle();
    EXPECT_EQ(ReadSettings(), SettingsLine("4800"));
}

TEST_F(Cycle, AReceiverThatNeverRestartsGetsTheNoResponseVerdict) {
    Sim& sim = StartSim({"--never-restart"});
    Launch("19200");
    ClickStart();
    const std::string verdict = S(kColdStartFail1) + S(kCrLf) + S(kNoRespond);
    // Data keep coming after the verdict, so the caption soon reads "Connected!" again.
    EXPECT_TRUE(WaitFor([&] {
        return Saw([&](const Look& l) {
            return l.status == verdict && l.colour == kRed && l.label == "Not connected!";
        });
    })) << History();
    EXPECT_EQ(sim.Orders(), 1) << sim.Out();
    EXPECT_TRUE(SawStatus(S(kColdStarting) + " 29(Sec)")) << History();

    StopAndExpectIdle();
    EXPECT_EQ(ReadSettings(), SettingsLine("19200"));
}

TEST_F(Cycle, AReceiverSwitchedOffDuringTheCountdownIsReportedShutDown) {
    Sim& sim = StartSim({"--power-off-after", "5"});
    Launch();
    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return Window().StatusText() == S(kShutDown); })) << History();
    EXPECT_TRUE(sim.Has("powered off")) << sim.Out();
    EXPECT_EQ(StatusColour(), kGreen);
    EXPECT_TRUE(AllTimersOff());
    EXPECT_EQ(program_->State().Phase, 2);
    EXPECT_EQ(sim.Orders(), 1) << sim.Out();

    StopAndExpectIdle();
    EXPECT_EQ(ReadSettings(), SettingsLine("9600"));
}

TEST_F(Cycle, LineNoiseAtAnotherRateIsReportedAsABaudMismatchOnRed) {
    StartSim({"--wrong-baud"});
    Launch("115200");
    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return Window().StatusText() == S(kBaudMismatch); })) << History();
    EXPECT_EQ(StatusColour(), kRed);
    EXPECT_EQ(Label(), "Connecting.....");

    StopAndExpectIdle();
    EXPECT_EQ(ReadSettings(), SettingsLine("115200"));
}

TEST_F(Cycle, ASilentPortCannotConnect) {
    Sim& sim = StartSim({"--silent"});
    Launch("57600");
    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return Label() == "Can't connect!"; })) << History();
    EXPECT_EQ(Window().StatusText(), "COM 9" + S(kPortError) + S(kCrLf) + S(kSelectAnotherPort));
    EXPECT_TRUE(SawStatus("1")) << History();
    EXPECT_TRUE(SawStatus("2")) << History();
    EXPECT_EQ(sim.Orders(), 0);

    StopAndExpectIdle();
    EXPECT_EQ(ReadSettings(), SettingsLine("57600"));
}

}  // namespace
}  // namespace quorvel::e2e
