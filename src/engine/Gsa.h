#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// What a GSA sentence says of the fix. "Unknown" is explicit: an unreadable field is empty,
// never 0.
struct GsaFields {
    std::string talker;           // GP, GL, GA, GB, BD, GQ or GN
    std::optional<int> fixType;   // 1 no fix, 2 2D, 3 3D
    std::vector<int> satellites;  // the ids used in the fix, as sent; unreadable ones left out
    // NMEA 4.1 and later: the satellite system this GNGSA speaks of (1 GPS, 2 GLONASS,
    // 3 Galileo, 4 BeiDou, 5 QZSS, 6 NavIC).
    std::optional<int> systemId;
};

// Empty when the sentence is no satellite system's GSA.
std::optional<GsaFields> ReadGsa(std::string_view sentence);

}  // namespace quorvel
