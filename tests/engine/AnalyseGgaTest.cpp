// What one GGA sentence with a time does, and the baud-rate check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

std::string Phase2(const std::string& count) {
    return "Cold Start OK!\r\nPlease stop the program then shut down the GPS now!\r\n"
           "It will Cold Start again!" +
           count + "(S)";
}

struct GgaCase {
    const char* name;
    std::int16_t phase;
    std::int16_t countdown;
    std::int16_t ggaCount;
    std::string sentence;
    // after the call
    std::string status;
    Colour colour;
    std::string label;
    std::int16_t phaseAfter;
    std::int16_t ggaCountAfter;
    bool ordered;
};

const std::string kWaitLabel = "Connecting.....";
const std::string kOn = "Connected!";
const Colour kGrey = Colour::Grey;
const Colour kFace = Colour::ButtonFace;
const Colour kGreen = Colour::Green;

const std::vector<GgaCase> kGgaCases = {
    {"phase 0, reset time: waiting only", 0, 30, 2, Gga("000005.00"), "Please waiting.....", kGrey,
     kWaitLabel, 0, 2, false},
    {"phase 0, ten seconds past midnight is counted", 0, 30, 2, Gga("000010.00"),
     "UTC Time :00:00:10\r\n", kGrey, kOn, 0, 3, false},
    {"phase 0, fifth counted GGA orders", 0, 30, 4, Gga("120005"), "UTC Time :12:00:05\r\n", kFace,
     kOn, 1, 5, true},
    {"phase 0, sixth does not order", 0, 30, 5, Gga("120005"), "UTC Time :12:00:05\r\n", kGrey, kOn,
     0, 6, false},
    {"phase 0, countdown still 0 from start-up orders", 0, 0, 0, Gga("120005"),
     "UTC Time :12:00:05\r\n", kFace, kOn, 1, 1, true},
    {"phase 1, reset time confirms", 1, 30, 7, Gga("000009.00"), Phase2(" 30"), kGreen, kOn, 2, 11,
     false},
    {"phase 1, one minute past midnight", 1, 30, 7, Gga("000100.00"), "UTC Time :00:01:00\r\n",
     kGrey, kOn, 1, 8, false},
    {"phase 1, one hour past midnight", 1, 30, 7, Gga("010000.00"), "UTC Time :01:00:00\r\n", kGrey,
     kOn, 1, 8, false},
    {"phase 1, count held at its limit", 1, 30, 32767, Gga("120000.00"), "UTC Time :12:00:00\r\n",
     kGrey, kOn, 1, 32767, false},
    {"phase 2, counting down", 2, 12, 15, Gga("000020.00"), Phase2(" 12"), kGreen, kOn, 2, 16,
     false},
    {"phase 2, reset time again changes nothing", 2, 12, 15, Gga("000001.00"), Phase2(" 12"),
     kGreen, kOn, 2, 16, false},
    {"phase 2, countdown at 0 orders", 2, 0, 40, Gga("000040.00"), Phase2(" 0"), kFace, kOn, 1, 41,
     true},
    {"phase 2, countdown past 0 still orders", 2, -3, 40, Gga("000040.00"), Phase2("-3"), kFace,
     kOn, 1, 41, true},
    {"time cut short by the sentence end", 0, 30, 0, "$GPGGA,00*1", "Please waiting.....", kGrey,
     kWaitLabel, 0, 0, false},
    {"parts are shown raw, valued by their leading number", 1, 30, 0, "$GPGGA, 0+0.9*00",
     Phase2(" 30"), kGreen, kOn, 2, 11, false},
    {"a negative hour is not midnight", 1, 30, 0, "$GPGGA,-10000*00", "UTC Time :-1:00:00\r\n",
     kGrey, kOn, 1, 1, false},
};

TEST(AnalyseGga, ShowsTheTimeConfirmsAndOrders) {
    for (const auto& c : kGgaCases) {
        SCOPED_TRACE(c.name);
        SimulatedWindow w;
        w.display.SetLabel1(kWaitLabel);
        w.display.SetStatusColour(Colour::Grey);  // so that an untouched colour shows
        w.state.Phase = c.phase;
        w.state.RestartCountdown = c.countdown;
        w.state.GgaCount = c.ggaCount;
        w.state.NoRespondSeconds = 40;
        w.state.ColdStartSeconds = 40;
        w.state.Sentence = c.sentence;
        w.engine.AnalyseGga();
        EXPECT_EQ(w.display.status, c.status);
        EXPECT_EQ(w.display.statusColour, c.colour);
        EXPECT_EQ(w.display.label1, c.label);
        EXPECT_EQ(w.state.Phase, c.phaseAfter);
        EXPECT_EQ(w.state.GgaCount, c.ggaCountAfter);
        // The order is one write, CR LF included.
        EXPECT_EQ(w.port.written, c.ordered ? std::vector<std::string>{"$PXEMSRT,C*3A\r\n"}
                                            : std::vector<std::string>{});
        EXPECT_EQ(w.state.RestartCountdown, c.ordered ? 30 : c.countdown);
        EXPECT_EQ(w.state.NoRespondSeconds, c.ordered ? 0 : 40);
        EXPECT_EQ(w.state.ColdStartSeconds, c.ordered ? 0 : 40);
    }
}

TEST(AnalyseGga, ConfirmationTextComesFirstThenThePhase2Text) {
    SimulatedWindow w;
    w.state.Phase = 1;
    w.state.RestartCountdown = 30;
    w.state.Sentence = Gga("000003.00");
    w.engine.AnalyseGga();
    EXPECT_EQ(w.display.statusHistory,
              (std::vector<std::string>{"UTC Time :00:00:03\r\nCold Start OK!", Phase2(" 30")}));
}

struct BaudCase {
    std::int16_t baudCheckSeconds;
    bool ggaSeen;
    bool mismatch;
};

TEST(CheckBaudRate, ReportsAMismatchFourToSixSecondsIntoReception) {
    const std::vector<BaudCase> cases = {{3, false, false}, {4, false, true},  {6, false, true},
                                         {7, false, false}, {9, false, false}, {5, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.baudCheckSeconds) + (c.ggaSeen ? " seen" : " unseen"));
        SimulatedWindow w;
        w.display.SetTimerEnabled(TimerId::Timer_Start, true);
        w.display.SetTimerEnabled(TimerId::Timer_PF, false);
        w.display.statusVisible = false;
        w.state.BaudCheckSeconds = c.baudCheckSeconds;
        w.state.GgaSeen = c.ggaSeen;
        w.engine.CheckBaudRate();
        EXPECT_EQ(w.display.status, c.mismatch ? "Baud Rate not match!" : "");
        EXPECT_EQ(w.display.statusColour, c.mismatch ? Colour::Red : Colour::ButtonFace);
        EXPECT_EQ(w.display.statusVisible, c.mismatch);
        EXPECT_EQ(w.display.On(TimerId::Timer_Start), !c.mismatch);
        EXPECT_EQ(w.display.On(TimerId::Timer_PF), c.mismatch);
    }
}

}  // namespace
}  // namespace quorvel::testing
