#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "sim/Nmea.h"
#include "sim/Sentences.h"

namespace quorvel::sim {
namespace {

std::vector<std::string> Lines(const std::string& burst) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < burst.size()) {
        const std::size_t end = burst.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(burst.substr(at));
            break;
        }
        lines.push_back(burst.substr(at, end + 2 - at));
        at = end + 2;
    }
    return lines;
}

// Every line: "$", body, "*", the checksum of the body in upper-case hex, CR LF, at most 82.
void ExpectWellFormed(const std::string& line) {
    SCOPED_TRACE(line);
    ASSERT_GE(line.size(), 6u);
    EXPECT_LE(line.size(), 82u);
    EXPECT_EQ(line.front(), '$');
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    const std::size_t star = line.size() - 5;
    ASSERT_EQ(line[star], '*');
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X",
                  NmeaChecksum(std::string_view(line).substr(1, star - 1)));
    EXPECT_EQ(line.substr(star + 1, 2), expected);
}

struct EpochCase {
    const char* name;
    Epoch epoch;
};
void PrintTo(const EpochCase& c, std::ostream* os) { *os << c.name; }

Epoch Make(int seconds, bool fix, bool timeKnown, double lat = 48.1173, double lon = 11.5167) {
    Epoch e;
    e.secondsOfDay = seconds;
    e.fix = fix;
    e.timeKnown = timeKnown;
    e.latitude = lat;
    e.longitude = lon;
    e.date = Date{2024, 2, 29};
    e.jitter = seconds;
    return e;
}

class BurstShape : public ::testing::TestWithParam<EpochCase> {};

TEST_P(BurstShape, EverySentenceIsFramedWithItsChecksumAndFitsNmeaLength) {
    const std::vector<std::string> lines = Lines(Burst(GetParam().epoch));
    ASSERT_EQ(lines.size(), GetParam().epoch.fix ? 7u : 5u);  // GGA RMC GSA GSV.. VTG
    for (const std::string& line : lines) ExpectWellFormed(line);
    EXPECT_EQ(lines.front().substr(3, 3), "GGA");
    EXPECT_EQ(lines.back().substr(3, 3), "VTG");
}

INSTANTIATE_TEST_SUITE_P(Epochs, BurstShape,
                         ::testing::Values(EpochCase{"Fix", Make(45296, true, true)},
                                           EpochCase{"NoFixAfterRestart", Make(3, false, true)},
                                           EpochCase{"NoTime", Make(0, true, false)},
                                           EpochCase{"SouthWest",
                                                     Make(86399, true, true, -33.8688, -151.2093)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Gga, TimeFieldIsAtCharactersEightToThirteen) {
    struct Case {
        int seconds;
        const char* hhmmss;
    } cases[] = {{0, "000000"}, {9, "000009"}, {45296, "123456"}, {86399, "235959"}};
    for (const Case& c : cases) {
        for (bool fix : {true, false}) {
            const std::string gga = Gga(Make(c.seconds, fix, true));
            EXPECT_EQ(gga.substr(7, 6), c.hhmmss) << gga;  // characters 8 to 13
        }
    }
}

TEST(Gga, WithoutTimeHasACommaAtCharacterEight) {
    const std::string gga = Gga(Make(45296, true, false));
    EXPECT_EQ(gga.substr(0, 8), "$GPGGA,,");
}

TEST(Gga, CoordinatesAreDegreesAndMinutesWithHemisphere) {
    const std::string gga = Gga(Make(0, true, true, -33.5, -151.25));
    EXPECT_NE(gga.find(",3330.00000,S,15115.00000,W,"), std::string::npos) << gga;
    const std::string edge = Gga(Make(0, true, true, 47.9999999999, 8.0));
    EXPECT_NE(edge.find(",4800.00000,N,00800.00000,E,"), std::string::npos) << edge;
}

TEST(FrameSentence, MatchesTheKnownColdStartOrder) {
    EXPECT_EQ(FrameSentence("PXEMSRT,C"), "$PXEMSRT,C*3A\r\n");
}

}  // namespace
}  // namespace quorvel::sim
