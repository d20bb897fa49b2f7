// The handlers one at a time, each behaviour group as one table: the receive path, the two
// cycle timers and the baud check, start and stop, the connection step, probe and port set-up.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <tuple>

#include "engine/Gsa.h"
#include "engine/Gsv.h"
#include "support/Harness.h"

namespace quorvel::testing {
namespace {

// The whole run state as one line, so that a table row pins every field at once.
std::string Fields(const RunState& s) {
    std::ostringstream out;
    out << "nr " << s.NoRespondSeconds << " gga " << s.GgaCount << " tick " << s.ReceiveTick
        << " phase " << s.Phase << " cd " << s.RestartCountdown << " cs " << s.ColdStartSeconds
        << " last " << s.LastReceiveTick << " silent " << s.SilentSeconds << " probe "
        << s.ProbeSeconds << " baud " << s.BaudCheckSeconds << " seen " << s.GgaSeen
        << " connect " << s.ConnectTicks << " rx [" << s.RxBuffer << "] [" << s.Sentence << "]";
    return out.str();
}

void SetTimers(EngineFront& f, const std::string& on) {
    const TimerId ids[] = {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF};
    for (int i = 0; i < 4; ++i) f.display.SetTimerEnabled(ids[i], on[i] != '-');
}

struct GgaRow {
    const char* name;
    std::int16_t phase, countdown, count;
    std::string sentence;
    std::vector<std::string> texts;  // what the call showed, in order
    Colour colour;                   // red before the call
    const char* label;               // "Not connected!" before the call
    std::int16_t phaseAfter, countAfter;
};

// Before the call the run has counted 7 seconds of an order; an order sets them to 0.
TEST(AnalyseGga, EachPhaseAndTimeShowsCountsAndOrdersAsTabled) {
    const std::string kTime = "UTC Time :12:00:05\r\n";
    const GgaRow rows[] = {
        {"reset time before any order: wait", 0, 30, 2, Gga("000005.00"), {"Please waiting....."},
         Colour::Red, "Not connected!", 0, 2},
        {"ten seconds past midnight", 0, 30, 2, Gga("000010.00"), {"UTC Time :00:00:10\r\n"},
         Colour::Red, "Connected!", 0, 3},
        {"fifth GGA orders", 0, 30, 4, Gga("120005.00"), {kTime}, Colour::ButtonFace, "Connected!", 1, 5},
        {"sixth does not", 0, 30, 5, Gga("120005.00"), {kTime}, Colour::Red, "Connected!", 0, 6},
        {"countdown 0 at start-up orders", 0, 0, 0, Gga("120005.00"), {kTime}, Colour::ButtonFace,
         "Connected!", 1, 1},
        {"confirmation", 1, 30, 7, Gga("000009.00"),
         {"UTC Time :00:00:09\r\nCold Start OK!", kPhase2 + " 30(S)"}, Colour::Green, "Connected!", 2, 11},
        {"one minute past midnight", 1, 30, 7, Gga("000100.00"), {"UTC Time :00:01:00\r\n"},
         Colour::Red, "Connected!", 1, 8},
        {"one hour past midnight", 1, 30, 7, Gga("010000.00"), {"UTC Time :01:00:00\r\n"},
         Colour::Red, "Connected!", 1, 8},
        {"blanks before the numbers", 1, 30, 7, "$GPGGA, 1 0 0.5,,*00", {"UTC Time : 1: 0: 0\r\n"},
         Colour::Red, "Connected!", 1, 8},
        {"negative hour", 1, 30, 7, "$GPGGA,-10000,,*00", {"UTC Time :-1:00:00\r\n"}, Colour::Red,
         "Connected!", 1, 8},
        {"time cut short by the checksum", 1, 30, 7, "$GPGGA,0*00",
         {"UTC Time :0*:00:\r\nCold Start OK!", kPhase2 + " 30(S)"}, Colour::Green, "Connected!", 2, 11},
        {"countdown on green", 2, 5, 12, Gga("120005.00"), {kPhase2 + " 5(S)"}, Colour::Green,
         "Connected!", 2, 13},
        {"countdown 0 orders", 2, 0, 12, Gga("120005.00"), {kPhase2 + " 0(S)"}, Colour::ButtonFace,
         "Connected!", 1, 13},
        {"countdown past 0 still orders", 2, -3, 12, Gga("120005.00"), {kPhase2 + "-3(S)"},
         Colour::ButtonFace, "Connected!", 1, 13},
        {"no time before any order: wait", 0, 30, 2, kTimelessGga, {"Please waiting....."},
         Colour::Red, "Not connected!", 0, 2},
        {"no time after the order", 1, 30, 7, kTimelessGga, {}, Colour::Red, "Not connected!", 1, 7},
        {"no time in the countdown", 2, 5, 12, kTimelessGga, {}, Colour::Red, "Not connected!", 2, 12},
    };
    for (const GgaRow& row : rows) {
        SCOPED_TRACE(row.name);
        EngineFront f;
        f.port.open = true;
        f.display.statusColour = Colour::Red;
        f.state = RunState{.NoRespondSeconds = 7, .GgaCount = row.count, .Phase = row.phase,
                           .RestartCountdown = row.countdown, .ColdStartSeconds = 7};
        f.Receive(Line(row.sentence));
        const bool ordered = row.phaseAfter == 1 && row.phase != 1;
        EXPECT_EQ(f.display.history, row.texts);
        EXPECT_EQ(f.display.statusColour, row.colour);
        EXPECT_EQ(f.display.label1, row.label);
        EXPECT_EQ(f.state.Phase, row.phaseAfter);
        EXPECT_EQ(f.state.GgaCount, row.countAfter);
        EXPECT_EQ(f.port.written, ordered ? std::vector{kOrder} : std::vector<std::string>{});
        EXPECT_EQ(f.state.NoRespondSeconds + f.state.ColdStartSeconds, ordered ? 0 : 14);
        if (ordered) {
            EXPECT_EQ(f.state.RestartCountdown, 30);
        }
        EXPECT_TRUE(f.state.GgaSeen);
    }
}

// What the sign makes of one GGA, after earlier GGAs (each followed by its Timer_Start ticks)
// have shown how the receiver's clock runs.
struct SignRow {
    const char* name;
    RestartSign sign;
    std::vector<std::pair<std::string, int>> before;
    std::int16_t phase, countdown, count;
    std::string sentence;
    std::int16_t phaseAfter, countAfter;
    int quietTicks = 0;       // seconds without a byte once the phase is set
    bool checkSums = false;   // the lab's setting
    std::string startUp = {};  // a sentence received once the phase is set
};

TEST(RestartSign, EachSignCountsConfirmsAndOrdersAsTabled) {
    const auto clock = RestartSign::ClockReset;
    const auto fix = RestartSign::FixLost;
    const auto noFix = [](const std::string& time) {
        return WithChecksum("GPGGA," + time + ",,,,,0,00,99.99,,,,,,");
    };
    const SignRow rows[] = {
        {"no earlier time: confirms", clock, {}, 1, 30, 7, Gga("000001.00"), 2, 11},
        {"midnight, the clock runs on", clock, {{Gga("235959.00"), 1}}, 1, 30, 7, Gga("000000.00"), 1, 8},
        {"young clock runs on", clock, {{Gga("000007.00"), 1}}, 1, 30, 7, Gga("000008.00"), 1, 8},
        {"a 2 s step runs on", clock, {{Gga("235956.00"), 2}, {Gga("235958.00"), 2}}, 1, 30, 7,
         Gga("000000.00"), 1, 8},
        {"two GGAs an epoch, every 3rd epoch, across midnight", clock,
         {{Gga("235958.00"), 0}, {Gga("235958.00", "GN"), 3}}, 1, 30, 7, Gga("000001.00"), 1, 8},
        {"jump back", clock, {{Gga("120000.00"), 1}}, 1, 30, 7, Gga("000000.00"), 2, 11},
        {"young clock jumps back", clock, {{Gga("000007.00"), 1}}, 1, 30, 7, Gga("000002.00"), 2, 11},
        {"after a silence", clock, {{Gga("235958.00"), 4}}, 1, 30, 7, Gga("000000.00"), 2, 11},
        {"a damaged hour is no clock", clock, {{Gga("235959.00"), 1}, {Gga("245959.00"), 0}}, 1, 30,
         7, Gga("000000.00"), 1, 8},
        {"the window takes a damaged checksum", clock, {}, 1, 30, 7, "$GPGGA,000001.00,,,,,1*00", 2, 11},
        {"checked sums drop a damaged one", clock, {}, 1, 30, 7, "$GPGGA,000001.00,,,,,1*00", 1, 7,
         0, true},
        {"no fix before the order: not counted", fix, {}, 0, 30, 4, noFix("120000.00"), 0, 4},
        {"the fifth fix orders", fix, {}, 0, 30, 4, Gga("120000.00"), 1, 5},
        {"clock default without a fix confirms", fix, {{Gga("120000.00"), 1}}, 1, 30, 7,
         noFix("235946.00"), 2, 11},
        {"no time and no fix confirms", fix, {}, 1, 30, 7, kTimelessGga, 2, 11},
        {"a dropout, the clock runs on", fix, {{Gga("120000.00"), 1}}, 1, 30, 7, noFix("120001.00"), 1, 8},
        {"a dropout after a silence", fix, {{Gga("120000.00"), 1}}, 1, 30, 7, noFix("120004.00"), 2,
         11, 3},
        {"a dropout after the start-up text", fix, {{Gga("120000.00"), 1}}, 1, 30, 7,
         noFix("120001.00"), 2, 11, 0, false, "$PMTK010,001*2E"},
        {"a silence and the start-up text, the fix kept", fix, {{Gga("120000.00"), 1}}, 1, 30, 7,
         Gga("120004.00"), 2, 11, 3, false, "$PMTK010,001*2E"},
        {"a cut GGA is no fix loss", fix, {{Gga("120001.00"), 1}}, 1, 30, 7,
         "$GPGGA,120002.00,4807.038,N,01*5C", 1, 8},
        {"dead reckoning is no fix", fix, {}, 0, 30, 4, WithChecksum("GPGGA,120000.00,,,,,6,05,1.0,,,,,,"), 0, 4},
        {"a fix does not confirm", fix, {}, 1, 30, 7, Gga("000001.00"), 1, 8},
        {"countdown done waits for a fix", fix, {}, 2, 0, 12, noFix("120000.00"), 2, 13},
        {"countdown done orders at a fix", fix, {}, 2, -4, 12, Gga("120000.00"), 1, 13},
    };
    for (const SignRow& row : rows) {
        SCOPED_TRACE(row.name);
        EngineFront f(CycleSettings{.sign = row.sign, .checkSums = row.checkSums,
                                    .startUpTexts = {"$PMTK010,001"}});
        f.port.open = true;
        f.state.RestartCountdown = 30;
        for (const auto& [sentence, ticks] : row.before) {
            f.Receive(Line(sentence));
            for (int i = 0; i < ticks; ++i) f.engine.Timer_Start_Tick();
        }
        f.state.Phase = row.phase;
        f.state.RestartCountdown = row.countdown;
        f.state.GgaCount = row.count;
        for (int i = 0; i < row.quietTicks; ++i) f.engine.Timer_Start_Tick();
        if (!row.startUp.empty()) f.Receive(Line(row.startUp));
        f.Receive(Line(row.sentence));
        EXPECT_EQ(f.state.Phase, row.phaseAfter);
        EXPECT_EQ(f.state.GgaCount, row.countAfter);
        EXPECT_EQ(f.port.written.size(), row.phaseAfter == 1 && row.phase != 1 ? 1u : 0u);
    }
}

TEST(ReadGga, FieldsAreReadOnceAndUnknownsStayEmpty) {
    const std::tuple<std::string, bool, std::optional<int>, std::optional<int>, std::string> rows[] = {
        {Gga("120000.00"), true, 1, 8, "0.9"},
        {kTimelessGga, false, 0, 0, "99.99"},
        {"$GPGGA,120000,,,,,,1e+20,x*00", true, std::nullopt, std::nullopt, "x"},
        {"$GPGGA,120000,,,,,2,99999999999*00", true, 2, std::nullopt, ""},
        {"$GPGGA,12*00", true, std::nullopt, std::nullopt, ""}};
    for (const auto& [sentence, hasTime, quality, satellites, hdop] : rows) {
        const GgaFields gga = ReadGga(sentence);
        EXPECT_EQ(std::tie(gga.hasTime, gga.quality, gga.satellites, gga.hdop),
                  std::tie(hasTime, quality, satellites, hdop))
            << sentence;
    }
}

// An optional value as text, "-" when empty, so that a row pins every field in one string.
std::string Text(std::optional<double> v, const char* format = "%g") {
    char out[32] = "-";
    if (v) std::snprintf(out, sizeof out, format, *v);
    return out;
}

TEST(ReadGga, PositionIsReadInDegreesAndDamagedOnesStayEmpty) {
    const std::pair<std::string, std::string> rows[] = {
        {Gga("120000.00"), "48.117300 11.516667 545.4"},
        {"$GPGGA,1,3352.1234,S,15112.5,W,1,08,0.9,-12.5,M*00", "-33.868723 -151.208333 -12.5"},
        {"$GPGGA,1,4860.0,N,18030.0,E,1,08,0.9,545.4,,*00", "- - -"},
        {"$GPGGA,1,9001.0,S,01131.0,X,1,08,0.9,1e3,M*00", "- - -"},
        {"$GPGGA,1,4807.,N,-1131.0,E,1,08,0.9,nan,M*00", "- - -"},
        {"$GPGGA,120000,4807.0*00", "- - -"}};
    for (const auto& [s, position] : rows) {
        const GgaFields g = ReadGga(s);
        EXPECT_EQ(
            Text(g.latitude, "%.6f") + " " + Text(g.longitude, "%.6f") + " " + Text(g.altitude),
            position);
    }
}

TEST(ReadGsa, FixTypeSatellitesAndSystemAreReadAndUnknownsStayEmpty) {
    const std::pair<std::string, std::string> rows[] = {
        {"$GNGSA,A,3,02,07,14,15,17,20,22,30,,,,,1.5,0.9,1.2,1*3C",
         "GN 3 1: 2 7 14 15 17 20 22 30"},
        {"$GNGSA,A,2,208,211,213,,,,,,,,,,1.6,1.3,0.9,4*01", "GN 2 4: 208 211 213"},
        {"$GPGSA,A,1,,,,,,,,,,,,,,,,*32", "GP 1 -:"},
        {"$GPGSA,A,7,x4,05,0,1000,,,,,,,,,1,1,1*00", "GP - -: 5"},
        {"$GQGSA,A*00", "GQ - -:"},
        {"$PQGSA,A,3*00", "none"},
        {"$GPGSV,1,1,00*79", "none"}};
    for (const auto& [s, expected] : rows) {
        const std::optional<GsaFields> gsa = ReadGsa(s);
        std::string got =
            gsa ? gsa->talker + " " + Text(gsa->fixType) + " " + Text(gsa->systemId) + ":" : "none";
        for (int id : gsa ? gsa->satellites : std::vector<int>{}) got += " " + std::to_string(id);
        EXPECT_EQ(got, expected) << s;
    }
}

TEST(ReadGsv, SatellitesInViewAreReadAndDamagedValuesStayEmpty) {
    const std::pair<std::string, std::string> rows[] = {
        {"$GLGSV,2,1,08,78,38,036,22,79,53,313,19,88,22,080,26,68,39,195,21,1*75",
         "GL 2 1 8 1: 78/38/36/22 79/53/313/19 88/22/80/26 68/39/195/21"},
        {"$GPGSV,2,2,06,07,05,097,,13,80,264,,1*64", "GP 2 2 6 1: 7/5/97/- 13/80/264/-"},
        {"$GPGSV,3,3,11,20,09,138,36,13,04,183,51,32,03,113,44,,,,*44",
         "GP 3 3 11 -: 20/9/138/36 13/4/183/51 32/3/113/44"},
        {"$GPGSV,3,2,10,14,,,30,1*59", "GP 3 2 10 1: 14/-/-/30"},
        {"$GAGSV,1,1,00*79", "GA 1 1 0 -:"},
        {"$GBGSV,3,4,x,07,91,360,100,-1,-5,1,1*00", "GB 3 - - -: 7/-/-/- -/-/1/1"},
        {"$GPGSV,3,1,12,07,46,25*00", "GP 3 1 12 -: 7/46/25/-"},
        {"$GPGSA,A,3*00", "none"},
        {"$PQGSV,1,1,00*00", "none"}};
    for (const auto& [s, expected] : rows) {
        const std::optional<GsvFields> v = ReadGsv(s);
        std::string got = v ? v->talker + " " + Text(v->messages) + " " + Text(v->messageNumber) +
                                  " " + Text(v->inView) + " " + Text(v->signalId) + ":"
                            : "none";
        for (const GsvSatellite& x : v ? v->satellites : std::vector<GsvSatellite>{})
            got += " " + Text(x.id) + "/" + Text(x.elevation) + "/" + Text(x.azimuth) + "/" +
                   Text(x.snr);
        EXPECT_EQ(got, expected) << s;
    }
}

struct ScanRow {
    const char* name;
    std::vector<std::string> reads;
    int analysed;  // GGA sentences with a time that reached the time analysis
    bool ggaSeen;
    std::optional<std::string> bufferAfter;
};

TEST(Scan, EachCompleteSentenceIsTakenOnceWhereverTheReadsEnd) {
    const std::string g = Gga("120000.00");
    const auto sized = [](std::size_t n) { return "$GPGGA,120000.00," + std::string(n - 20, 'x') + "*00"; };
    const ScanRow rows[] = {
        {"longest sentence", {Line(sized(4096))}, 1, true, "\r\n"},
        {"one character more", {Line(sized(4097))}, 0, false, std::nullopt},
        {"one read", {Line(g)}, 1, true, "\r\n"},
        {"cut between the checksum characters", {g.substr(0, g.size() - 1), g.substr(g.size() - 1)}, 1, true, ""},
        {"one checksum character waits", {g.substr(0, g.size() - 1)}, 0, false, g.substr(0, g.size() - 1)},
        {"read ends on the checksum, then empty reads", {g, "\r\n", "", "\r\n"}, 1, true, std::nullopt},
        {"two and a half", {Line(g) + Line(g) + "$GPGSA,A,3"}, 2, true, "$GPGSA,A,3"},
        {"any talker, any checksum", {Line(Gga("1", "GN")), Line(Gga("1", "BD")), "$GPGGA,1*ZZ"}, 3, true, std::nullopt},
        {"lower-case type", {"$GPgga,120000.00,*00\r\n"}, 0, false, std::nullopt},
        {"a dollar starts anew", {"$GPGGA,12" + Line(g)}, 1, true, std::nullopt},
        {"a dollar in a checksum place", {"$GPGGA,120000.00*$" + Line(g)}, 1, true, std::nullopt},
        {"text before the first dollar", {"0.00,N*3F\r\n" + Line(g)}, 1, true, std::nullopt},
        {"time-less GGA proves the rate only", {Line(kTimelessGga)}, 0, true, std::nullopt},
        {"over-long sentence dropped", {"$GPGGA,120000.00," + std::string(5000, 'x'), "*00\r\n" + Line(g)}, 1, true, std::nullopt},
        {"noise is capped", {std::string(10000, 'n')}, 0, false, std::string(4096, 'n')},
    };
    for (const ScanRow& row : rows) {
        SCOPED_TRACE(row.name);
        EngineFront f;
        f.port.open = true;
        f.state.RestartCountdown = 30;
        for (const auto& read : row.reads) f.Receive(read);
        EXPECT_EQ(f.state.GgaCount, row.analysed);
        EXPECT_EQ(f.state.GgaSeen, row.ggaSeen);
        EXPECT_EQ(f.state.RxBuffer, row.bufferAfter.value_or(f.state.RxBuffer));
        EXPECT_LE(f.largestBuffer, kMaxUnfinishedSentence);
        EXPECT_EQ(f.state.Sentence, "");
    }
}

TEST(Scan, OnlyReceiveEventsCountAndTheirTickWrapsAfter1000) {
    EngineFront f;
    f.state.ProbeSeconds = 2;
    for (std::int16_t kind : {1, 3, 4, 5, 6, 7, 1001, 1004}) f.PortEvent(kind);
    EXPECT_EQ(Timers(f), "---P");
    EXPECT_EQ(Fields(f.state), Fields(RunState{.ProbeSeconds = 2}));
    f.state.ReceiveTick = 999;
    f.Receive("");  // an empty read is a receive event all the same
    EXPECT_EQ(Fields(f.state), Fields(RunState{.ReceiveTick = 1000}));
    EXPECT_EQ(Timers(f), "--SP");
    f.Receive("");
    EXPECT_EQ(f.state.ReceiveTick, 0);
}

enum class Handler { TimerStart, TimerPf, ReceiveGsa };

struct TickRow {
    const char* name;
    Handler handler;
    RunState before, after;
    const char* timersBefore;
    const char* timersAfter;
    const char* status;  // "before" ahead of the call
    Colour colour;       // green ahead of the call
    const char* label;   // "Connected!" ahead of the call
};

TEST(Ticks, TimersAndTheBaudCheckGiveTheirVerdictsAsTabled) {
    const char* kShutDown = "GPS be shuted down.";
    const TickRow rows[] = {
        {"first second of a cold start", Handler::TimerStart, {.Phase = 1}, {.Phase = 1, .ColdStartSeconds = 1, .BaudCheckSeconds = 1},
         "-TSP", "-TSP", "Cold Starting..... 1(Sec)", Colour::Green, "Connected!"},
        {"thirtieth second", Handler::TimerStart, {.Phase = 1, .ColdStartSeconds = 29, .BaudCheckSeconds = 9},
         {.Phase = 1, .ColdStartSeconds = 30, .BaudCheckSeconds = 9}, "-TSP", "-TSP", "Cold Starting..... 30(Sec)", Colour::Green, "Connected!"},
        {"thirty-first second fails", Handler::TimerStart, {.Phase = 1, .ColdStartSeconds = 30, .BaudCheckSeconds = 8},
         {.Phase = 1, .ColdStartSeconds = 31, .BaudCheckSeconds = 9}, "-TSP", "-TSP", "Cold Start fail!", Colour::Green, "Connected!"},
        {"late confirmation keeps failing", Handler::TimerStart, {.Phase = 2, .RestartCountdown = 5, .ColdStartSeconds = 31},
         {.Phase = 2, .RestartCountdown = 4, .ColdStartSeconds = 31, .BaudCheckSeconds = 1}, "-TSP", "-TSP", "Cold Start fail!", Colour::Green, "Connected!"},
        {"countdown holds at its floor", Handler::TimerStart, {.Phase = 2, .RestartCountdown = -32768},
         {.Phase = 2, .RestartCountdown = -32768, .BaudCheckSeconds = 1}, "-TSP", "-TSP", "before", Colour::Green, "Connected!"},
        {"no response for 30 s", Handler::TimerPf, {.NoRespondSeconds = 29, .Phase = 1}, {.NoRespondSeconds = 30, .Phase = 1},
         "-TSP", "---P", kNoRespond.c_str(), Colour::Red, "Not connected!"},
        {"after the verdict only counts", Handler::TimerPf, {.NoRespondSeconds = 30, .Phase = 1, .SilentSeconds = 5},
         {.NoRespondSeconds = 31, .Phase = 1, .SilentSeconds = 5}, "---P", "---P", "before", Colour::Green, "Connected!"},
        {"fifth silent second", Handler::TimerPf, {.ReceiveTick = 7, .Phase = 2, .LastReceiveTick = 7, .SilentSeconds = 4},
         {.ReceiveTick = 7, .Phase = 2, .LastReceiveTick = 7, .SilentSeconds = 5}, "-TSP", "-TSP", "before", Colour::Green, "Connected!"},
        {"sixth silent second in the countdown", Handler::TimerPf, {.ReceiveTick = 7, .Phase = 2, .LastReceiveTick = 7, .SilentSeconds = 5},
         {.ReceiveTick = 7, .Phase = 2, .LastReceiveTick = 7, .SilentSeconds = 6}, "1TSP", "1---", kShutDown, Colour::Green, "Connected!"},
        {"sixth silent second before any order resets", Handler::TimerPf,
         {.GgaCount = 3, .ReceiveTick = 7, .RestartCountdown = 9, .LastReceiveTick = 7, .SilentSeconds = 5, .BaudCheckSeconds = 9, .GgaSeen = true, .RxBuffer = "$GP", .ConnectTicks = 4},
         {.ReceiveTick = 7, .RestartCountdown = 30, .RxBuffer = "$GP"}, "-TSP", "----", "", Colour::ButtonFace, "Connected!"},
        {"data in between", Handler::TimerPf, {.ReceiveTick = 8, .Phase = 2, .LastReceiveTick = 7, .SilentSeconds = 5},
         {.ReceiveTick = 8, .Phase = 2, .LastReceiveTick = 8}, "-TSP", "-TSP", "before", Colour::Green, "Connected!"},
        {"baud check opens at 4", Handler::ReceiveGsa, {.BaudCheckSeconds = 4}, {.ReceiveTick = 1, .BaudCheckSeconds = 4},
         "--S-", "---P", "Baud Rate not match!", Colour::Red, "Connected!"},
        {"baud check still at 6", Handler::ReceiveGsa, {.BaudCheckSeconds = 6}, {.ReceiveTick = 1, .BaudCheckSeconds = 6},
         "----", "---P", "Baud Rate not match!", Colour::Red, "Connected!"},
        {"baud check not yet at 3", Handler::ReceiveGsa, {.BaudCheckSeconds = 3}, {.ReceiveTick = 1, .BaudCheckSeconds = 3},
         "----", "--S-", "before", Colour::Green, "Connected!"},
        {"baud check over at 7", Handler::ReceiveGsa, {.BaudCheckSeconds = 7}, {.ReceiveTick = 1, .BaudCheckSeconds = 7},
         "----", "--S-", "before", Colour::Green, "Connected!"},
        {"a GGA proved the rate", Handler::ReceiveGsa, {.BaudCheckSeconds = 5, .GgaSeen = true},
         {.ReceiveTick = 1, .BaudCheckSeconds = 5, .GgaSeen = true}, "----", "--S-", "before", Colour::Green, "Connected!"},
    };
    for (const TickRow& row : rows) {
        SCOPED_TRACE(row.name);
        EngineFront f;
        f.state = row.before;
        SetTimers(f, row.timersBefore);
        f.display.status = "before";
        f.display.statusColour = Colour::Green;
        f.display.label1 = "Connected!";
        f.display.button = Colour::Grey;
        f.display.selectors = Colour::ButtonFace;
        switch (row.handler) {
            case Handler::TimerStart: f.engine.Timer_Start_Tick(); break;
            case Handler::TimerPf: f.engine.Timer_PF_Tick(); break;
            case Handler::ReceiveGsa: f.Receive(WithChecksum("GPGSA,A,3")); break;
        }
        EXPECT_EQ(Fields(f.state), Fields(row.after));
        EXPECT_EQ(Timers(f), row.timersAfter);
        EXPECT_EQ(f.display.status, row.status);
        EXPECT_EQ(f.display.statusColour, row.colour);
        EXPECT_EQ(f.display.label1, row.label);
        const bool reset = std::string(row.status).empty();  // the run went back to its start
        EXPECT_EQ(f.display.button, reset ? Colour::ButtonFace : Colour::Grey);
        EXPECT_EQ(f.display.selectors, reset ? Colour::WindowColour : Colour::ButtonFace);
    }
}

TEST(StartStop, AnEmptyStatusStartsAnyTextStopsAndTheStopClosesThePortOnce) {
    struct Row {
        const char* status;
        bool open;
        std::vector<std::string> calls;
    };
    const Row rows[] = {{"", true, {}}, {" ", true, {"DiscardInput", "Close"}}, {"x", false, {}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        EngineFront f;
        f.port.open = row.open;
        f.state = RunState{.NoRespondSeconds = 3, .GgaCount = 9, .ReceiveTick = 5, .Phase = 2,
                           .RestartCountdown = 4, .RxBuffer = "$GP", .Sentence = "x", .ConnectTicks = 2};
        const RunState before = f.state;
        SetTimers(f, "-TSP");
        f.display.status = row.status;
        f.display.button = Colour::Grey;
        f.display.selectors = Colour::ButtonFace;
        f.display.frame5 = false;
        f.display.statusColour = Colour::Red;
        f.Click();
        EXPECT_EQ(f.port.calls, row.calls);
        if (std::string(row.status).empty()) {  // the start path only arms the connection step
            EXPECT_EQ(Timers(f), "1TSP");
            EXPECT_EQ(Fields(f.state), Fields(before));
            continue;
        }
        EXPECT_FALSE(f.port.open);
        EXPECT_EQ(Timers(f), "----");
        EXPECT_EQ(Fields(f.state), Fields(RunState{.ReceiveTick = 5, .RestartCountdown = 30,
                                                   .RxBuffer = "$GP", .Sentence = row.open ? "" : "x"}));
        EXPECT_EQ(f.display.status, "");
        EXPECT_EQ(f.display.label1, "");
        EXPECT_TRUE(f.display.frame5);
        EXPECT_EQ(f.display.statusColour, Colour::ButtonFace);
        EXPECT_EQ(f.display.button, Colour::ButtonFace);
        EXPECT_EQ(f.display.selectors, Colour::WindowColour);
    }
}

TEST(ConfigurePort, OpensTwiceDiscardsAndSavesOrAbandonsAtTheFirstRefusal) {
    struct Row {
        const char* port;
        const char* baud;
        int refuseOpen;  // which Open fails; 0 none; -1 the port is open already
        std::vector<std::string> calls;
        std::vector<std::string> saved;
    };
    const std::string k12[] = {"SetCommPort 12", "SetSettings 115200,n,8,1", "Open", "Close", "Open", "DiscardInput"};
    const Row rows[] = {
        {"COM 12", "115200", 0, {k12, k12 + 6}, {"COM 12,115200"}},
        {"COM 101", "2400", 0, {"SetCommPort 101", "SetSettings 2400,n,8,1", "Open", "Close", "Open", "DiscardInput"}, {"COM 101,2400"}},
        {"COM 12", "115200", 1, {k12, k12 + 3}, {}},
        {"COM 12", "115200", 2, {k12, k12 + 5}, {}},
        {"COM 12", "115200", -1, {k12, k12 + 1}, {}},
        {"COM 12", "38400", 0, {k12, k12 + 1}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.port) + " " + row.baud + " " + std::to_string(row.refuseOpen));
        EngineFront f;
        f.display.port = row.port;
        f.display.baud = row.baud;
        f.port.refuseOpenNumber = row.refuseOpen;
        f.port.open = row.refuseOpen < 0;
        f.connection.ConfigurePort();
        EXPECT_EQ(f.port.calls, row.calls);
        EXPECT_EQ(f.settings.lines, row.saved);
    }
    for (const char* baud : {"1200", "2400", "4800", "9600", "19200", "57600", "115200", "230400", "460800", "921600"}) {
        EngineFront f;
        f.display.baud = baud;
        f.connection.ConfigurePort();
        EXPECT_EQ(f.port.settings, baud + std::string(",n,8,1"));
    }
}

TEST(Connection, TheStepLocksTheSelectorsAndTheProbeGivesUpOnTheThirdSilentSecond) {
    EngineFront f;
    f.display.port = "COM 7";
    f.state = RunState{.ReceiveTick = 9, .SilentSeconds = 4, .ProbeSeconds = 2, .RxBuffer = "$GP", .TextReceived = true};
    f.Click();
    f.Tick(TimerId::Timer1);
    EXPECT_TRUE(f.port.open);
    EXPECT_EQ(Fields(f.state), Fields(RunState{.ReceiveTick = 9, .RestartCountdown = 30, .LastReceiveTick = 9, .ConnectTicks = 1}));
    EXPECT_EQ(Timers(f), "-T-P");
    EXPECT_EQ(f.display.button, Colour::Grey);
    EXPECT_EQ(f.display.selectors, Colour::ButtonFace);
    EXPECT_FALSE(f.display.frame5);
    EXPECT_EQ(f.display.label1, "Connecting.....");
    f.Tick(TimerId::Timer);
    f.Tick(TimerId::Timer);
    f.Receive("");  // an empty read starts the count again
    for (int i = 0; i < 3; ++i) f.Tick(TimerId::Timer);
    EXPECT_EQ(f.display.history, (std::vector<std::string>{"1", "2", "1", "2", "3", "COM 7  error!\r\nPlease select another Com Port."}));
    EXPECT_EQ(f.display.label1, "Can't connect!");
    EXPECT_EQ(Timers(f), "----");
    EXPECT_TRUE(f.port.open);
}

}  // namespace
}  // namespace quorvel::testing
