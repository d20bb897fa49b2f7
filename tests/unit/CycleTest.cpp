// Whole test runs in simulated seconds against a scripted receiver: every verdict and every
// mended fault, through the handlers alone and through the real window, under each order in
// which ticks falling due together may come.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

#include "support/WindowFront.h"

namespace quorvel::testing {
namespace {

// Each order after the first comes `gap` seconds after the confirmation of the one before.
void ExpectGap(Front& f, int gap) {
    for (std::size_t i = 0; i + 1 < f.orders.size(); ++i) {
        ASSERT_LT(i, f.confirmations.size());
        EXPECT_GT(f.confirmations[i], f.orders[i]);
        EXPECT_EQ(f.orders[i + 1] - f.confirmations[i], gap) << "order " << i + 1;
    }
}

void CountdownSkipsZero(Front& f) {
    EXPECT_GE(f.orders.size(), 15u);
    EXPECT_GT(f.SeenStarting(kPhase2 + "-1(S)"), 0);
    EXPECT_EQ(f.SeenStarting(kPhase2 + " 0(S)"), 0);
    ExpectGap(f, 31);
}

void RestartsOnce(Front& f) {
    EXPECT_EQ(f.confirmations.size(), 1u);
    EXPECT_EQ(f.orders.size(), 2u);
    EXPECT_EQ(f.SeenStarting(kNoRespond), 1);
    EXPECT_EQ(f.State().Phase, 1);
}

void CantConnect(Front& f) {
    EXPECT_EQ(f.Label(), "Can't connect!");
    EXPECT_EQ(f.Status(), "COM 1  error!\r\nPlease select another Com Port.");
}

struct CycleRow {
    const char* name;
    Script script;
    int seconds;
    std::vector<int> clicks;  // seconds at whose start the operator clicks
    void (*check)(Front&);
};

const CycleRow kRows[] = {
    {"Normal", {}, 600, {0},
     [](Front& f) {
         ASSERT_GE(f.orders.size(), 15u);
         EXPECT_EQ(f.orders[0], 5);  // the fifth GGA after the connection step
         ExpectGap(f, 30);
         EXPECT_EQ(f.SeenStarting("Cold Start fail!"), 0);
         EXPECT_GT(f.SeenStarting("Cold Starting..... 3(Sec)"), 0);
         EXPECT_EQ(f.Label(), "Connected!");
     }},
    {"NeverRestarts", {.obey = 0}, 120, {0},
     [](Front& f) {
         EXPECT_EQ(f.orders, std::vector<int>{5});
         EXPECT_EQ(f.SeenStarting(kNoRespond), 1);
         EXPECT_GT(f.SeenStarting("Cold Start fail!"), 50);
         EXPECT_EQ(f.StatusColour(), Colour::Red);
         EXPECT_EQ(f.Label(), "Connected!");  // its data go on
         EXPECT_EQ(f.State().Phase, 1);
     }},
    {"DeafAcrossMidnightIsNoRespond", {.clock = 86400 - 15, .obey = 0}, 60, {0},
     [](Front& f) {
         EXPECT_EQ(f.orders.size(), 1u);
         EXPECT_TRUE(f.confirmations.empty());
         EXPECT_EQ(f.SeenStarting(kNoRespond), 1);
         EXPECT_GT(f.SeenStarting("UTC Time :00:00:0"), 5);  // the clock did pass 00:00:0x
     }},
    {"RestartsAfter40Seconds", {.restartDelay = 40}, 300, {0},
     [](Front& f) {
         ASSERT_GE(f.orders.size(), 3u);
         EXPECT_EQ(f.confirmations[0] - f.orders[0], 41);
         EXPECT_GE(f.SeenStarting(kNoRespond), static_cast<int>(f.confirmations.size()));
         // The silent receiver leaves Timer_Start off after the verdict: the count stops at 30.
         EXPECT_EQ(f.SeenStarting("Cold Start fail!"), f.SeenStarting(kNoRespond));
         ExpectGap(f, 30);
     }},
    {"SwitchedOffInTheCountdown", {.offFrom = 20}, 60, {0},
     [](Front& f) {
         EXPECT_EQ(f.Status(), "GPS be shuted down.");
         EXPECT_EQ(f.StatusColour(), Colour::Green);
         EXPECT_EQ(f.State().Phase, 2);
         EXPECT_TRUE(f.Port().IsOpen());
         EXPECT_EQ(Timers(f), "----");
         EXPECT_EQ(f.orders.size(), 1u);
     }},
    {"BackAfterAShutDownTheCountdownGoesOn", {.offFrom = 20, .offUntil = 45}, 200, {0},
     [](Front& f) {
         EXPECT_EQ(f.SeenStarting("GPS be shuted down."), 1);
         ASSERT_GE(f.orders.size(), 3u);
         EXPECT_GT(f.orders[1], 45);
         EXPECT_LT(f.orders[1], 45 + 20);
         EXPECT_FALSE(f.On(TimerId::Timer_PF));
     }},
    {"WrongBaudRate", {.noise = true}, 60, {0},
     [](Front& f) {
         EXPECT_EQ(f.Status(), "Baud Rate not match!");
         EXPECT_EQ(f.StatusColour(), Colour::Red);
         EXPECT_EQ(f.State().BaudCheckSeconds, 4);
         EXPECT_TRUE(f.orders.empty());
         EXPECT_EQ(Timers(f), "-T-P");
         EXPECT_LE(f.largestBuffer, kMaxUnfinishedSentence);
     }},
    {"SilentPort", {.offFrom = 0}, 10, {0},
     [](Front& f) {
         CantConnect(f);
         EXPECT_EQ(f.Seen(), (std::vector<std::string>{"1", "2", "3", f.Status()}));
         EXPECT_EQ(Timers(f), "----");
     }},
    {"TimelessReceiverWaitsAndOneClickStops", {.timeless = true}, 30, {0, 10},
     [](Front& f) {
         ASSERT_FALSE(f.Seen().empty());
         EXPECT_EQ(f.Seen().front(), "Please waiting.....");
         EXPECT_EQ(f.SeenStarting("Baud Rate not match!"), 0);
         EXPECT_EQ(f.Status(), "");
         EXPECT_EQ(f.Label(), "");
         EXPECT_FALSE(f.Port().IsOpen());
         EXPECT_EQ(f.Port().openCalls, 2);  // opened once (open, close, open), never again
         EXPECT_EQ(Timers(f), "----");
     }},
    {"CountdownSkipsZeroEven", {.restartDelay = 4, .every = 2}, 600, {0}, CountdownSkipsZero},
    {"RestartsOnceReadsPerSentence", {.obey = 1}, 200, {0}, RestartsOnce},
    {"RestartsOnceReadsEndOnChecksums", {.obey = 1, .split = 1}, 200, {0}, RestartsOnce},
    {"RestartsOnceReadsCutMidSentence", {.obey = 1, .split = 2}, 200, {0}, RestartsOnce},
    {"SilentStartUpDoesNotSwallowTheProbe", {.offFrom = 0}, 12, {5}, CantConnect},
    {"CantConnectInASecondRun", {.offFrom = 12}, 20, {0, 10, 11}, CantConnect},
    {"AClickWhileTheStatusIsEmptyDoesNotReopenAfterTheStop", {}, 20, {0, 1, 8},
     [](Front& f) {
         EXPECT_FALSE(f.Port().IsOpen());
         EXPECT_EQ(f.Port().openCalls, 2);
         EXPECT_EQ(f.Status(), "");
         EXPECT_EQ(Timers(f), "----");
     }},
};

enum class Kind { Handlers, Window };

class Cycle : public ::testing::TestWithParam<std::tuple<Kind, TickOrder, int>> {};

TEST_P(Cycle, Runs) {
    const auto [kind, order, index] = GetParam();
    const CycleRow& row = kRows[index];
    std::unique_ptr<Front> f;
    if (kind == Kind::Handlers) f = std::make_unique<EngineFront>();
    else f = std::make_unique<WindowFront>();
    Receiver receiver(row.script);
    for (int second = 0; second < row.seconds; ++second) {
        if (std::count(row.clicks.begin(), row.clicks.end(), second)) f->Click();
        f->Second(&receiver, order);
    }
    row.check(*f);
}

INSTANTIATE_TEST_SUITE_P(
    All, Cycle,
    ::testing::Combine(::testing::Values(Kind::Handlers, Kind::Window),
                       ::testing::Values(TickOrder::StartFirst, TickOrder::PfFirst, TickOrder::Alternate),
                       ::testing::Range(0, static_cast<int>(std::size(kRows)))),
    [](const auto& info) {
        const TickOrder order = std::get<1>(info.param);
        return std::string(kRows[std::get<2>(info.param)].name) +
               (std::get<0>(info.param) == Kind::Window ? "_Window" : "") +
               (order == TickOrder::PfFirst ? "_PfFirst" : order == TickOrder::Alternate ? "_Alternate" : "");
    });

}  // namespace
}  // namespace quorvel::testing
