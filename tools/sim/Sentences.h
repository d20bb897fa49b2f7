#pragma once

#include <string>
#include <vector>

namespace quorvel::sim {

// A calendar date as a receiver reports it (year with four digits).
struct Date {
    int year = 2024;
    int month = 1;
    int day = 1;
};

// The date that follows `date`.
Date NextDay(Date date);

// What one burst of sentences reports.
struct Epoch {
    bool timeKnown = true;  // false: empty time fields, as a receiver without a clock sends
    int secondsOfDay = 0;   // UTC, 0 to 86399
    bool dateKnown = true;
    Date date;
    bool fix = true;             // false: no position yet (just after a cold start)
    double latitude = 48.1173;   // degrees, north positive
    double longitude = 11.5167;  // degrees, east positive
    double altitude = 545.4;     // metres above mean sea level
    double speedKnots = 0.02;
    double courseDegrees = 84.4;
    int jitter = 0;      // varies the signal levels from burst to burst
    std::string before;  // sent ahead of the sentences: start-up text, answers to queries
    bool twoD = false;   // a fix without height: GSA fix type 2
    bool gsa = true;     // false: the burst has no GSA
};

// One sentence each, framed with checksum and CR LF.
std::string Gga(const Epoch& epoch);
std::string Rmc(const Epoch& epoch);
std::string Gsa(const Epoch& epoch);
std::vector<std::string> Gsv(const Epoch& epoch);
std::string Vtg(const Epoch& epoch);

// A receiver's whole one-second burst: what goes before, GGA, RMC, GSA, the GSV group, VTG.
std::string Burst(const Epoch& epoch);

}  // namespace quorvel::sim
