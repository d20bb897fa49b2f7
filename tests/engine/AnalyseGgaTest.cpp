// What one GGA sentence with a time does, and the baud-rate check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

const std::string kOrder(texts::kColdStartOrder);

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

const std::string kStartLabel = "Connecting.....";
const std::string kConnected = "Connected!";

const std::vector<GgaCase> kGgaCases = {
    {"phase 0, reset time: waiting only", 0, 30, 2, Gga("000005.00"), "Please waiting.....",
     Colour::Grey, kStartLabel, 0, 2, false},
    {"phase 0, ten seconds past midnight is counted", 0, 30, 2, Gga("000010.00"),
     "UTC Time :00:00:10\r\n", Colour::Grey, kConnected, 0, 3, false},
    {"phase 0, noon is not the reset time", 0, 30, 2, Gga("120005.00"), "UTC Time :12:00:05\r\n",
     Colour::Grey, kConnected, 0, 3, false},
    {"phase 0, fifth counted GGA orders", 0, 30, 4, Gga("120005"), "UTC Time :12:00:05\r\n",
     Colour::ButtonFace, kConnected, 1, 5, true},
    {"phase 0, sixth does not order", 0, 30, 5, Gga("120005"), "UTC Time :12:00:05\r\n",
     Colour::Grey, kConnected, 0, 6, false},
    {"phase 0, countdown still 0 from start-up orders", 0, 0, 0, Gga("120005"),
     "UTC Time :12:00:05\r\n", Colour::ButtonFace, kConnected, 1, 1, true},
    {"phase 1, reset time confirms", 1, 30, 7, Gga("000009.00"), Phase2(" 30"), Colour::Green,
     kConnected, 2, 11, false},
    {"phase 1, one minute past midnight", 1, 30, 7, Gga("000100.00"), "UTC Time :00:01:00\r\n",
     Colour::Grey, kConnected, 1, 8, false},
    {"phase 1, one hour past midnight", 1, 30, 7, Gga("010000.00"), "UTC Time :01:00:00\r\n",
     Colour::Grey, kConnected, 1, 8, false},
    {"phase 2, counting down", 2, 12, 15, Gga("000020.00"), Phase2(" 12"), Colour::Green,
     kConnected, 2, 16, false},
    {"phase 2, reset time again changes nothing", 2, 12, 15, Gga("000001.00"), Phase2(" 12"),
     Colour::Green, kConnected, 2, 16, false},
    {"phase 2, countdown at 0 orders", 2, 0, 40, Gga("000040.00"), Phase2(" 0"), Colour::ButtonFace,
     kConnected, 1, 41, true},
    {"phase 2, countdown past 0 still orders", 2, -3, 40, Gga("000040.00"), Phase2("-3"),
     Colour::ButtonFace, kConnected, 1, 41, true},
    {"time cut short by the sentence end", 0, 30, 0, "$GPGGA,00*1", "Please waiting.....",
     Colour::Grey, kStartLabel, 0, 0, false},
    {"parts are shown raw, valued by their leading number", 1, 30, 0, "$GPGGA, 0+0.9*00",
     Phase2(" 30"), Colour::Green, kConnected, 2, 11, false},
    {"a negative hour is not midnight", 1, 30, 0, "$GPGGA,-10000*00", "UTC Time :-1:00:00\r\n",
     Colour::Grey, kConnected, 1, 1, false},
};

TEST(AnalyseGga, ShowsTheTimeConfirmsAndOrders) {
    for (const auto& c : kGgaCases) {
        SimulatedWindow w;
        w.display.SetLabel1(kStartLabel);
        w.display.SetStatusColour(Colour::Grey);  // so that an untouched colour shows
        w.state.Phase = c.phase;
        w.state.RestartCountdown = c.countdown;
        w.state.GgaCount = c.ggaCount;
        w.state.NoRespondSeconds = 40;
        w.state.ColdStartSeconds = 40;
        w.state.Sentence = c.sentence;
        w.engine.AnalyseGga();
        EXPECT_EQ(w.display.status, c.status) << c.name;
        EXPECT_EQ(w.display.statusColour, c.colour) << c.name;
        EXPECT_EQ(w.display.label1, c.label) << c.name;
        EXPECT_EQ(w.state.Phase, c.phaseAfter) << c.name;
        EXPECT_EQ(w.state.GgaCount, c.ggaCountAfter) << c.name;
        EXPECT_EQ(w.port.written,
                  c.ordered ? std::vector<std::string>{kOrder} : std::vector<std::string>{})
            << c.name;
        if (c.ordered) {
            EXPECT_EQ(w.state.RestartCountdown, 30) << c.name;
            EXPECT_EQ(w.state.NoRespondSeconds, 0) << c.name;
            EXPECT_EQ(w.state.ColdStartSeconds, 0) << c.name;
        } else {
            EXPECT_EQ(w.state.RestartCountdown, c.countdown) << c.name;
        }
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

TEST(AnalyseGga, OrderIsOneWriteOfFifteenCharacters) {
    SimulatedWindow w;
    w.state.RestartCountdown = 30;
    w.port.open = true;
    for (int i = 0; i < 5; ++i) w.Receive(Line(Gga("120000.00")));
    ASSERT_EQ(w.port.written.size(), 1u);
    EXPECT_EQ(w.port.written[0], "$PXEMSRT,C*3A\r\n");
    EXPECT_EQ(w.port.written[0].size(), 15u);
}

TEST(AnalyseGga, GgaCountStopsAtItsLimit) {
    SimulatedWindow w;
    w.state.Phase = 1;
    w.state.RestartCountdown = 30;
    w.state.GgaCount = 32766;
    w.state.Sentence = Gga("120000.00");
    for (int i = 0; i < 3; ++i) w.engine.AnalyseGga();
    EXPECT_EQ(w.state.GgaCount, 32767);
    EXPECT_TRUE(w.port.written.empty());
}

struct BaudCase {
    std::int16_t baudCheckSeconds;
    bool ggaSeen;
    bool mismatch;
};

TEST(CheckBaudRate, ReportsAMismatchFourToSixSecondsIntoReception) {
    const std::vector<BaudCase> cases = {{3, false, false}, {4, false, true},  {5, false, true},
                                         {6, false, true},  {7, false, false}, {9, false, false},
                                         {5, true, false}};
    for (const auto& c : cases) {
        SimulatedWindow w;
        w.display.SetTimerEnabled(TimerId::Timer_Start, true);
        w.display.SetTimerEnabled(TimerId::Timer_PF, false);
        w.display.statusVisible = false;
        w.state.BaudCheckSeconds = c.baudCheckSeconds;
        w.state.GgaSeen = c.ggaSeen;
        w.engine.CheckBaudRate();
        const auto why = std::to_string(c.baudCheckSeconds) + (c.ggaSeen ? " seen" : " unseen");
        EXPECT_EQ(w.display.status, c.mismatch ? "Baud Rate not match!" : "") << why;
        EXPECT_EQ(w.display.statusColour, c.mismatch ? Colour::Red : Colour::ButtonFace) << why;
        EXPECT_EQ(w.display.statusVisible, c.mismatch) << why;
        EXPECT_EQ(w.display.On(TimerId::Timer_Start), !c.mismatch) << why;
        EXPECT_EQ(w.display.On(TimerId::Timer_PF), c.mismatch) << why;
    }
}

// Any GGA proves the line speed, also one whose receiver has no time yet.
TEST(CheckBaudRate, GgaWithEmptyTimeFieldProvesTheRate) {
    SimulatedWindow w;
    w.state.BaudCheckSeconds = 5;
    w.Receive(Line(EmptyTimeGga()));
    EXPECT_TRUE(w.state.GgaSeen);
    EXPECT_EQ(w.display.status, "");
    EXPECT_TRUE(w.display.On(TimerId::Timer_Start));
}

}  // namespace
}  // namespace quorvel::testing
