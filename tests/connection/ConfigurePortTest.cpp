#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ConnectionFixture.h"

namespace quorvel::testing {
namespace {

using Calls = std::vector<std::string>;

TEST_F(ConnectionTest, OpensChosenPortTwiceThenSavesTheChoice) {
    connection.ConfigurePort();

    EXPECT_EQ(port.calls, (Calls{"SetCommPort 12", "SetSettings 115200,n,8,1", "Open", "Close",
                                 "Open", "DiscardInput", "Write COM 12,115200"}));
    EXPECT_TRUE(port.open);
    EXPECT_EQ(store.Line(), "COM 12,115200\r\n");
}

TEST_F(ConnectionTest, DiscardsWhatWasWaitingBeforeTheSecondOpen) {
    port.pending = "$GPGGA,old";
    connection.ConfigurePort();
    EXPECT_EQ(port.Input(), "");
}

TEST_F(ConnectionTest, PortNumberIsTheDigitsAfterComAndBlank) {
    const struct {
        std::string text;
        int number;
    } cases[] = {{"COM 1", 1}, {"COM 12", 12}, {"COM 101", 101}, {"COM 1012", 101}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FakeSerialPort fresh;
        Connection link(state, display, fresh, store);
        display.selectedPort = c.text;
        link.ConfigurePort();
        ASSERT_FALSE(fresh.calls.empty());
        EXPECT_EQ(fresh.calls.front(), "SetCommPort " + std::to_string(c.number));
        EXPECT_EQ(fresh.commPort, c.number);
    }
}

TEST_F(ConnectionTest, EveryOfferedRateOpensAtItsOwnRate) {
    const std::string rates[] = {"1200",  "2400",   "4800",   "9600",   "19200",
                                 "57600", "115200", "230400", "460800", "921600"};
    for (const std::string& rate : rates) {
        SCOPED_TRACE(rate);
        FakeSerialPort fresh;
        Connection link(state, display, fresh, store);
        display.selectedBaud = rate;
        link.ConfigurePort();
        EXPECT_EQ(fresh.settings, rate + ",n,8,1");
        EXPECT_TRUE(fresh.open);
        EXPECT_EQ(store.Line(), "COM 12," + rate + "\r\n");
    }
}

struct Refusal {
    const char* name;
    std::function<void(FakeSerialPort&, FakeSettingsStore&, FakeDisplay&)> arrange;
    Calls calls;
    bool openAfter;
};

void PrintTo(const Refusal& refusal, std::ostream* os) { *os << refusal.name; }

class ConfigurePortRefusal : public ConnectionTest,
                             public ::testing::WithParamInterface<Refusal> {};

// A refusal ends the configuration there: no later step, no message, the file as it was.
TEST_P(ConfigurePortRefusal, StopsAtTheRefusedStepAndKeepsTheFile) {
    const Refusal& r = GetParam();
    port.pending = "$GPGGA,waiting";
    r.arrange(port, store, display);

    connection.ConfigurePort();

    EXPECT_EQ(port.calls, r.calls);
    EXPECT_EQ(port.open, r.openAfter);
    EXPECT_EQ(store.port, "COM 1");
    EXPECT_EQ(store.baud, "9600");
    EXPECT_TRUE(display.statusHistory.empty());
    EXPECT_EQ(display.label1, "Not connected!");
    EXPECT_EQ(display.startButtonColour, Colour::ButtonFace);
    EXPECT_TRUE(display.frame5Enabled);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, ConfigurePortRefusal,
    ::testing::Values(
        Refusal{
            "PortNumber",
            [](FakeSerialPort& p, FakeSettingsStore&, FakeDisplay&) { p.refuseSetCommPort = true; },
            {"SetCommPort 12"},
            false},
        Refusal{
            "LineSettings",
            [](FakeSerialPort& p, FakeSettingsStore&, FakeDisplay&) { p.refuseSetSettings = true; },
            {"SetCommPort 12", "SetSettings 115200,n,8,1"},
            false},
        Refusal{"FirstOpen",
                [](FakeSerialPort& p, FakeSettingsStore&, FakeDisplay&) { p.refuseOpenNumber = 1; },
                {"SetCommPort 12", "SetSettings 115200,n,8,1", "Open"},
                false},
        Refusal{"SecondOpen",
                [](FakeSerialPort& p, FakeSettingsStore&, FakeDisplay&) { p.refuseOpenNumber = 2; },
                {"SetCommPort 12", "SetSettings 115200,n,8,1", "Open", "Close", "Open"},
                false},
        Refusal{"FileWrite",
                [](FakeSerialPort&, FakeSettingsStore& s, FakeDisplay&) { s.refuseWrite = true; },
                {"SetCommPort 12", "SetSettings 115200,n,8,1", "Open", "Close", "Open",
                 "DiscardInput", "Write COM 12,115200"},
                true},
        Refusal{
            "RateWithoutRow",
            [](FakeSerialPort&, FakeSettingsStore&, FakeDisplay& d) { d.selectedBaud = "38400"; },
            {"SetCommPort 12"},
            false},
        Refusal{"NoRateSelected",
                [](FakeSerialPort&, FakeSettingsStore&, FakeDisplay& d) { d.selectedBaud = ""; },
                {"SetCommPort 12"},
                false},
        Refusal{
            "RateWithTrailingBlank",
            [](FakeSerialPort&, FakeSettingsStore&, FakeDisplay& d) { d.selectedBaud = "9600 "; },
            {"SetCommPort 12"},
            false}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// After a silence reset the port can still be open: the configuration leaves it alone.
TEST_F(ConnectionTest, AlreadyOpenPortIsRefusedAtTheFirstStep) {
    port.open = true;
    port.pending = "$GPGGA,unread";

    connection.ConfigurePort();

    EXPECT_EQ(port.calls, (Calls{"SetCommPort 12"}));
    EXPECT_TRUE(port.open);
    EXPECT_EQ(port.pending, "$GPGGA,unread");
    EXPECT_EQ(store.writeAttempts, 0);
    EXPECT_EQ(store.Line(), "COM 1,9600\r\n");
}

}  // namespace
}  // namespace quorvel::testing
