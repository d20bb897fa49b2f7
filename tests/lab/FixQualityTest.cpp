// What counts as a fix: its error against a surveyed point, the reference as given, and what
// the epoch of a GGA says of the fix (3D, C/N0).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "lab/FixQuality.h"
#include "lab/Geo.h"

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
std::string Epoch(const FixEpoch& e) {
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

TEST(FixQuality, EachEpochFromItsGgaTellsTheFixTypeAndTheStrongestSignals) {
    const std::string t0 = "$GPGGA,120000.00,,,,,1*00", t1 = "$GPGGA,120001.00,,,,,1*00";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {Capture("ublox-zed-f9p-nmea.log", 15, 50), "1 3D 34.75 @0 > 1 - - @35 seen"},
        {Capture("telit-pls83-w.log", 10, 35), "1 gsa 48.75 @0 > 1 - - @24 seen"},
        {Capture("quectel-eg25-g.log", 9, 27), "0 gsa 23.50 @8 > 0 - - @18 seen"},
        {{"$GPGSA,A,3*00", t0, "$GPGSV,2,1,8,07,,,30,08,,,20,1*00", "$GPGSV,2,2,8,07,,,40,8*00",
          "$GLGSV,1,1,1,07,,,25*00", t1, "$GPGSV,1,1,1,09,,,*00"},
         "1 - 28.33 @1 > 1 - - @5 seen"},
        {{t0, "$GNGGA,120000.00,,,,,2*00", "$GNGSA,A,3,,,,,,,,,,,,,,,,1*00",
          "$GNGSA,A,2,,,,,,,,,,,,,,,,2*00", "$GLGGA,120001.00,,,,,0*00"},
         "1 3D - @0 > 0 - - @4 seen"},
        {{t0, "$GPGSV,1,1,1,07,,,40*00", t1}, "1 - 40.00 @0 > 1 - - @2"},
        {{"$GPGSV,1,1,1,07,,,40*00"}, ""}};
    for (const auto& [lines, expected] : rows) {
        FixQuality tracker;
        std::string got;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (const FixEpoch* closed = tracker.Feed(lines[i], i)) got += Epoch(*closed);
        if (tracker.Latest()) got += " > " + Epoch(*tracker.Latest());
        if (tracker.GsaSeen()) got += " seen";
        EXPECT_EQ(got, expected) << lines.front();
    }
}

}  // namespace
}  // namespace quorvel::lab
