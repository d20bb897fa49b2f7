#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// One satellite of a GSV sentence; each value empty when missing or out of its range.
struct GsvSatellite {
    std::optional<int> id;
    std::optional<int> elevation;  // degrees, 0-90
    std::optional<int> azimuth;    // degrees, 0-359
    std::optional<int> snr;        // C/N0 in dB-Hz, 0-99; empty: not tracked
};

// What one GSV sentence says of the satellites in view. "Unknown" is explicit: an unreadable
// field is empty, never 0.
struct GsvFields {
    std::string talker;                // GP, GL, GA, GB, BD, GQ or GN
    std::optional<int> messages;       // in this talker's group
    std::optional<int> messageNumber;  // 1 to messages
    std::optional<int> inView;
    std::vector<GsvSatellite> satellites;  // up to 4; blocks sent all empty are left out
    std::optional<int> signalId;           // NMEA 4.1 and later: after the last satellite
};

// Empty when the sentence is no satellite system's GSV.
std::optional<GsvFields> ReadGsv(std::string_view sentence);

}  // namespace quorvel
