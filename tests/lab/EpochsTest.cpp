// What counts as a fix: its error against a surveyed point, the reference as given, and what
// the epoch of a GGA says of the fix (3D, C/N0).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "lab/cycle/Epochs.h"
#include "lab/cycle/Geo.h"

namespace quorvel::lab {
namespace {

// Reference distances from GeographicLib's geodesic inverse on WGS84 (Karney's method).
TEST(HorizontalError, MatchesTheGeodesicOnWgs84) {
    const double rows[][6] = {
        {48.1173, 11.5167, 48.1173, 11.5167, 0, 1e-3},         // the same point
        {48.1173, 11.5167, 48.1182, 11.5167, 100.0734, 1e-3},  // 100 m north
        {48.1173, 11.5167, 48.14, 11.55, 3537.7409, 1e-3},     // a few km
        {-16.5, 179.9995, -16.5, -179.9995, 106.7642, 1e-3},   // across the antimeridian
        {90, 0, 89.999, 77, 111.6940, 1e-3},                   // from the pole
        {-89.9991, -60, -89.9993, 100, 176.0381, 1e-3},        // near the south pole
        {51.5, -0.1, -51.5, 179.9, 20003931.4586, 2e4}};       // nearly antipodal
    for (const auto& r : rows)
        EXPECT_NEAR(HorizontalErrorM(r[0], r[1], r[2], r[3]), r[4], r[5]) << r[0] << "," << r[1];
}

TEST(ParseReference, TakesDecimalDegreesInRangeAndNothingElse) {
    const auto a = ParseReference("48.1173,-11.5167"), b = ParseReference("-90,180,-12.5");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::tie(a->latitude, a->longitude, a->altitude, b->altitude),
              std::tuple(48.1173, -11.5167, std::nullopt, -12.5));
    for (const char* bad : {"90.0001,0", "0,-180.5", "nan,0", "0,inf", "1e1,0", "48.1,", "48.1",
                            "1,2,3,4", " 48,11", "48;11", "+48,11", "0,0,1e6", ""})
        EXPECT_FALSE(ParseReference(bad)) << bad;
}

// Lines `from` to `to` of a capture, as numbered in the file.
std::vector<std::string> Capture(const std::string& name, int from, int to) {
    std::ifstream in(std::string(QUORVEL_CAPTURES_DIR) + "/" + name);
    std::vector<std::string> lines;
    std::string line;
    for (int n = 1; std::getline(in, line) && n <= to; ++n)
        if (n >= from) lines.push_back(line.substr(0, line.find('\r')));
    return lines;
}

// "quality 3D|gsa|- C/N0 @when" of an epoch.
std::string Said(const Epoch& e) {
    char out[64];
    const std::optional<double> cn0 = e.MeanCn0();
    std::snprintf(out, sizeof out, cn0 ? "%d %s %.2f @%g" : "%d %s - @%g",
                  e.gga.quality.value_or(-1),
                  e.fix3d ? "3D"
                  : e.gsa ? "gsa"
                          : "-",
                  cn0 ? *cn0 : e.at, e.at);
    return out;
}

// Lines as a receiver sends them, one burst a second: a burst begins at each line of type
// `lead` after a line of another type, or at a "|".
std::vector<std::pair<std::string, double>> Bursts(const std::vector<std::string>& lines,
                                                   std::string_view lead = "|") {
    std::vector<std::pair<std::string, double>> timed;
    double at = -1;
    std::string_view last;
    for (const std::string& line : lines) {
        const std::string_view type = line == "|" ? "|" : std::string_view(line).substr(3, 3);
        if (type == "|" || (type == lead && last != lead) || at < 0) ++at;
        last = type;
        if (type != "|") timed.emplace_back(line, at);
    }
    return timed;
}

TEST(Epochs, EachBurstIsAnEpochThatTellsTheFixTypeAndTheStrongestSignals) {
    const std::string t0 = "$GPGGA,120000.00,,,,,1*00", t1 = "$GPGGA,120001.00,,,,,1*00";
    const std::string sky = "$GPGSV,1,1,1,07,,,40*00", q0 = "$GPGGA,120000.00,,,,,0*00";
    const std::pair<std::vector<std::pair<std::string, double>>, std::string> rows[] = {
        // RMC first, then GGA, GSA and GSV of the same second.
        {Bursts(Capture("ublox-zed-f9p-nmea.log", 15, 50), "RMC"), "1 3D 34.75 @0 > 1 - - @1 seen"},
        {Bursts(Capture("telit-pls83-w.log", 10, 35), "GGA"), "1 gsa 48.75 @0 > 1 - - @1 seen"},
        // GSV and GSA before the GGA: they are the GGA's own.
        {Bursts(Capture("quectel-eg25-g.log", 9, 27), "GSV"), "0 gsa 23.50 @0 > 0 gsa 23.50 @1 seen"},
        {Bursts({"$GPGSV,1,1,1,07,,,30*00", "$GNGSA,A,3,,,,,,,,,,,,,,,,1*00", t0, "|",
                 "$GPGSV,1,1,1,07,,,30*00", "$GNGSA,A,2,,,,,,,,,,,,,,,,1*00", t1}),
         "1 3D 30.00 @0 > 1 gsa 30.00 @1 seen"},
        {Bursts({"$GPGSA,A,3*00", t0, "$GPGSV,2,1,8,07,,,30,08,,,20,1*00",
                 "$GPGSV,2,2,8,07,,,40,8*00", "$GLGSV,1,1,1,07,,,25*00", "|", t1,
                 "$GPGSV,1,1,1,09,,,*00"}),
         "1 3D 28.33 @0 > 1 - - @1 seen"},
        // Two talkers' GGAs of one time are one epoch; a time that changes is the next one,
        // however fast it comes.
        {{{t0, 0}, {"$GNGGA,120000.00,,,,,2*00", 0.1}, {"$GNGSA,A,3,,,,,,,,,,,,,,,,1*00", 0.1},
          {"$GNGSA,A,2,,,,,,,,,,,,,,,,2*00", 0.1}, {"$GLGGA,120000.20,,,,,0*00", 0.2}},
         "1 3D - @0 > 0 - - @0.2 seen"},
        {Bursts({t0, sky, "|", t1}), "1 - 40.00 @0 > 1 - - @1"},
        {Bursts({sky}), ""}};
    for (const auto& [lines, expected] : rows) {
        Epochs tracker;
        std::string got;
        for (const auto& [line, at] : lines)
            if (const Epoch* closed = tracker.Feed(line, at)) got += Said(*closed);
        if (tracker.Latest()) got += " > " + Said(*tracker.Latest());
        if (tracker.GsaSeen()) got += " seen";
        EXPECT_EQ(got, expected) << lines.front().first;
    }
}

// Receivers that report their satellites only every few epochs: the fix's C/N0 comes from the
// last whole report, with its age; none when the last is too old or was cut short.
TEST(Epochs, AFixWithoutItsOwnSatellitesTakesTheLastWholeReportNearIt) {
    const std::string fix = "$GPGGA,120000.00,,,,,1*00", sky = "$GPGSV,1,1,1,07,,,40*00",
                      cut = "$GPGSV,2,1,5,07,,,40*00";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{sky, fix}, "40.0 0.0"},
        {{sky, "|", "|", "|", fix}, "40.0 3.0"},
        {{sky, "|", "|", "|", "|", "|", "|", fix}, "- -"},
        {{cut, "|", fix}, "- -"},
        {{fix}, "- -"}};
    for (const auto& [lines, expected] : rows) {
        Epochs tracker;
        for (const auto& [line, at] : Bursts(lines)) tracker.Feed(line, at);
        const Cn0Reading r = tracker.Cn0For(*tracker.Latest());
        char got[32];
        std::snprintf(got, sizeof got, r.cn0 ? "%.1f %.1f" : "- -", r.cn0.value_or(0), r.ageS.value_or(0));
        EXPECT_EQ(got, expected) << lines.size();
    }
}

}  // namespace
}  // namespace quorvel::lab
