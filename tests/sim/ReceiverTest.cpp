#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "sim/Nmea.h"
#include "sim/Receiver.h"

namespace quorvel::sim {
namespace {

// What the tool would see, burst by burst: "hhmmss", "-" for a silent burst.
std::string Seen(const std::optional<Epoch>& e) {
    if (!e) return "-";
    if (!e->timeKnown) return "notime";
    return Gga(*e).substr(7, 6);
}

std::vector<std::string> Bursts(Receiver& r, int bursts) {
    std::vector<std::string> seen;
    for (int i = 0; i < bursts; ++i) seen.push_back(Seen(r.NextBurst()));
    return seen;
}

ReceiverConfig At(int seconds) {
    ReceiverConfig c;
    c.startSecondsOfDay = seconds;
    return c;
}

using Times = std::vector<std::string>;

TEST(Receiver, ClockAdvancesOneSecondPerBurstAndWrapsAtMidnight) {
    Receiver r(At(86398));
    EXPECT_EQ(Bursts(r, 3), (Times{"235958", "235959", "000000"}));
}

struct RestartCase {
    const char* name;
    int restartAfter;
    int rebootSilence;
    Times afterOrder;  // the bursts that follow the order
};
void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.name; }

class RestartTiming : public ::testing::TestWithParam<RestartCase> {};

TEST_P(RestartTiming, OrderLeadsToSilenceThenTimeFromMidnight) {
    const RestartCase& c = GetParam();
    ReceiverConfig config = At(12 * 3600);
    config.restartAfter = c.restartAfter;
    config.rebootSilence = c.rebootSilence;
    Receiver r(config);
    EXPECT_EQ(Bursts(r, 2), (Times{"120000", "120001"}));
    EXPECT_EQ(r.OnOrder(), OrderReaction::Restarting);
    EXPECT_EQ(Bursts(r, static_cast<int>(c.afterOrder.size())), c.afterOrder);
    EXPECT_EQ(r.restarts(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Timings, RestartTiming,
    ::testing::Values(RestartCase{"Default", 0, 3, {"-", "-", "-", "000000", "000001", "000002"}},
                      RestartCase{"NoSilence", 0, 0, {"000000", "000001"}},
                      RestartCase{"Late", 2, 1, {"120002", "120003", "-", "000000", "000001"}},
                      RestartCase{"LateWithoutSilence", 1, 0, {"120002", "000000"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Receiver, OrdersWhileRestartingAreIgnoredAndLaterOnesObeyed) {
    Receiver r(At(100));
    EXPECT_EQ(r.OnOrder(), OrderReaction::Restarting);
    EXPECT_EQ(r.OnOrder(), OrderReaction::IgnoredBusy);
    EXPECT_EQ(Bursts(r, 2), (Times{"-", "-"}));
    EXPECT_EQ(r.OnOrder(), OrderReaction::IgnoredBusy);
    EXPECT_EQ(Bursts(r, 3), (Times{"-", "000000", "000001"}));
    EXPECT_EQ(r.OnOrder(), OrderReaction::Restarting);
    EXPECT_EQ(Bursts(r, 4), (Times{"-", "-", "-", "000000"}));
    EXPECT_EQ(r.restarts(), 2);
}

TEST(Receiver, NeverRestartKeepsItsTime) {
    ReceiverConfig config = At(100);
    config.neverRestart = true;
    Receiver r(config);
    Bursts(r, 1);
    EXPECT_EQ(r.OnOrder(), OrderReaction::IgnoredNeverRestarts);
    EXPECT_EQ(Bursts(r, 4), (Times{"000141", "000142", "000143", "000144"}));
    EXPECT_EQ(r.restarts(), 0);
}

TEST(Receiver, PowerOffSendsTheGivenBurstsAfterTheFirstRestartThenNothing) {
    ReceiverConfig config = At(100);
    config.rebootSilence = 1;
    config.powerOffAfter = 3;
    Receiver r(config);
    EXPECT_EQ(Bursts(r, 2), (Times{"000140", "000141"}));  // untouched before any restart
    r.OnOrder();
    EXPECT_EQ(Bursts(r, 6), (Times{"-", "000000", "000001", "000002", "-", "-"}));
    EXPECT_EQ(r.state(), Receiver::State::PoweredOff);
    EXPECT_EQ(r.OnOrder(), OrderReaction::IgnoredPoweredOff);
    EXPECT_EQ(Bursts(r, 3), (Times{"-", "-", "-"}));
}

}  // namespace
}  // namespace quorvel::sim
