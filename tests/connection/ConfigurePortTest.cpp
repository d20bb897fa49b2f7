#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ConnectionFixture.h"

namespace quorvel::testing {
namespace {

using Calls = std::vector<std::string>;

// Opened twice so that a stale open of another program shows; what waited is discarded.
TEST_F(ConnectionTest, OpensChosenPortTwiceThenSavesTheChoice) {
    port.pending = "$GPGGA,old";
    connection.ConfigurePort();

    EXPECT_EQ(port.calls, (Calls{"SetCommPort 12", "SetSettings 115200,n,8,1", "Open", "Close",
                                 "Open", "DiscardInput", "Write COM 12,115200"}));
    EXPECT_TRUE(port.open);
    EXPECT_EQ(port.Input(), "");
    EXPECT_EQ(store.Line(), "COM 12,115200\r\n");
}

TEST_F(ConnectionTest, SelectorTextsBecomePortNumberAndRate) {
    const struct {
        std::string portText;
        std::string rate;
        int number;
    } cases[] = {{"COM 1", "1200", 1},     {"COM 101", "2400", 101}, {"COM 1012", "4800", 101},
                 {"COM 12", "9600", 12},   {"COM 12", "19200", 12},  {"COM 12", "57600", 12},
                 {"COM 12", "230400", 12}, {"COM 12", "460800", 12}, {"COM 12", "921600", 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.portText + " " + c.rate);
        FakeSerialPort fresh;
        Connection link(state, display, fresh, store);
        display.selectedPort = c.portText;
        display.selectedBaud = c.rate;
        link.ConfigurePort();
        EXPECT_EQ(fresh.commPort, c.number);
        EXPECT_EQ(fresh.settings, c.rate + ",n,8,1");
        EXPECT_TRUE(fresh.open);
        EXPECT_EQ(store.baud, c.rate);
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

using Port = FakeSerialPort;
using Store = FakeSettingsStore;
using Shown = FakeDisplay;
const Calls kUpToFirstOpen = {"SetCommPort 12", "SetSettings 115200,n,8,1", "Open"};
const Calls kUpToSecondOpen = {"SetCommPort 12", "SetSettings 115200,n,8,1", "Open", "Close",
                               "Open"};

INSTANTIATE_TEST_SUITE_P(
    EachStep, ConfigurePortRefusal,
    ::testing::Values(
        Refusal{"PortNumber",
                [](Port& p, Store&, Shown&) { p.refuseSetCommPort = true; },
                {"SetCommPort 12"},
                false},
        // After a silence reset the port can still be open: the configuration leaves it alone.
        Refusal{"AlreadyOpen",
                [](Port& p, Store&, Shown&) { p.open = true; },
                {"SetCommPort 12"},
                true},
        Refusal{"LineSettings",
                [](Port& p, Store&, Shown&) { p.refuseSetSettings = true; },
                {"SetCommPort 12", "SetSettings 115200,n,8,1"},
                false},
        Refusal{"FirstOpen", [](Port& p, Store&, Shown&) { p.refuseOpenNumber = 1; },
                kUpToFirstOpen, false},
        Refusal{"SecondOpen", [](Port& p, Store&, Shown&) { p.refuseOpenNumber = 2; },
                kUpToSecondOpen, false},
        Refusal{"FileWrite",
                [](Port&, Store& s, Shown&) { s.refuseWrite = true; },
                {"SetCommPort 12", "SetSettings 115200,n,8,1", "Open", "Close", "Open",
                 "DiscardInput", "Write COM 12,115200"},
                true},
        Refusal{"RateWithoutRow",
                [](Port&, Store&, Shown& d) { d.selectedBaud = "38400"; },
                {"SetCommPort 12"},
                false},
        Refusal{"NoRateSelected",
                [](Port&, Store&, Shown& d) { d.selectedBaud = ""; },
                {"SetCommPort 12"},
                false},
        Refusal{"RateWithTrailingBlank",
                [](Port&, Store&, Shown& d) { d.selectedBaud = "9600 "; },
                {"SetCommPort 12"},
                false}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::testing
