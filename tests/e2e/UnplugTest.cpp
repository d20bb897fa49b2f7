// The receiver vanishes mid-run (its pty master closes, as a USB receiver pulled out): the
// program must not spin, must give the verdict the phase calls for, and must start afresh.
#include "EndToEnd.h"

namespace quorvel::e2e {
namespace {

using namespace quorvel::texts;

struct UnplugCase {
    const char* name;
    QStringList simOptions;
    std::int16_t phaseAtUnplug;
    std::string verdict;
    QColor colour;
};

void PrintTo(const UnplugCase& c, std::ostream* os) { *os << c.name; }

class Unplug : public EndToEnd, public ::testing::WithParamInterface<UnplugCase> {};

TEST_P(Unplug, NoSpinTheVerdictAndAFreshStartOnANewReceiver) {
    const UnplugCase& c = GetParam();
    Sim& first = StartSim(c.simOptions);
    Launch("4800");
    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return program_->State().Phase == c.phaseAtUnplug; })) << History();

    const double cpuBefore = CpuSeconds();
    first.Unplug();
    QElapsedTimer since;
    since.start();
    EXPECT_TRUE(WaitFor([&] { return Window().StatusText() == c.verdict; })) << History();
    RunFor(2000 - static_cast<int>(since.elapsed()));
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("[   cpu    ] %.3f s of CPU in the 2 s after the unplug\n", cpu);
    EXPECT_LT(cpu, 0.5);  // a spinning error loop burns the whole 2 s
    EXPECT_EQ(Window().StatusText(), c.verdict) << History();
    EXPECT_EQ(StatusColour(), c.colour);

    StopAndExpectIdle();
    Sim& second = StartSim();
    ClickStart();
    EXPECT_TRUE(WaitFor([&] { return second.Orders() >= 1 && Label() == "Connected!"; }))
        << second.Out() << History();
    EXPECT_EQ(ReadSettings(), SettingsLine("4800"));
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, Unplug,
    ::testing::Values(
        // In the countdown after a confirmed cold start: the silence watch.
        UnplugCase{"InTheCountdown", {}, 2, S(kShutDown), QColor(0, 255, 0)},
        // While an order is outstanding: only the no-response watchdog notices.
        UnplugCase{"WhileAnOrderIsOutstanding",
                   {"--restart-after", "100"},
                   1,
                   S(kColdStartFail1) + S(kCrLf) + S(kNoRespond),
                   QColor(255, 0, 0)}),
    [](const ::testing::TestParamInfo<UnplugCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::e2e
