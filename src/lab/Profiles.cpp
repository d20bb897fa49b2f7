#include "lab/Profiles.h"

#include <cstdio>

namespace quorvel::lab {

// Each order as its maker's public protocol description gives it:
// - pxemsrt: the window's receivers, the cold-start sentence the window sends;
// - ubx: u-blox receiver description (UBX protocol), UBX-CFG-RST: class 0x06, id 0x04,
//   length 4, navBbrMask 0xFFFF (cold start), resetMode 0x02 (controlled software reset,
//   GNSS only, so a USB port stays up), reserved 0, Fletcher checksum 0x0E 0x61;
// - pmtk: MediaTek PMTK command packet, PMTK_CMD_COLD_START, "$PMTK103*30" (PMTK104 would
//   also clear the receiver's settings);
// - psrf: SiRF NMEA reference manual, Navigation Initialization, "$PSRF101": ECEF X, Y, Z,
//   clock offset, time of week and week number all 0, 12 channels, reset configuration 4
//   (cold start), checksum 10.
const std::vector<Profile>& Profiles() {
    static const std::vector<Profile> kProfiles = {
        {"pxemsrt", "$PXEMSRT,C*3A\r\n", RestartSign::ClockReset, "the window's receivers"},
        {"ubx", std::string("\xB5\x62\x06\x04\x04\x00\xFF\xFF\x02\x00\x0E\x61", 12),
         RestartSign::FixLost, "u-blox"},
        {"pmtk", "$PMTK103*30\r\n", RestartSign::FixLost, "MediaTek and modules built on it"},
        {"psrf", "$PSRF101,0,0,0,0,0,0,12,4*10\r\n", RestartSign::FixLost, "SiRF, NMEA mode"},
    };
    return kProfiles;
}

const Profile* FindProfile(std::string_view name) {
    for (const Profile& profile : Profiles()) {
        if (profile.name == name) return &profile;
    }
    return nullptr;
}

std::optional<RestartSign> SignNamed(std::string_view name) {
    if (name == "clock-reset") return RestartSign::ClockReset;
    if (name == "fix-lost") return RestartSign::FixLost;
    return std::nullopt;
}

const char* SignName(RestartSign sign) {
    return sign == RestartSign::FixLost ? "fix-lost" : "clock-reset";
}

std::string PrintableOrder(const std::string& order) {
    if (order.starts_with('$')) {
        const bool crlf = order.ends_with("\r\n");
        return crlf ? order.substr(0, order.size() - 2) + " CR LF" : order;
    }
    // A binary frame: every byte in hex, or a printable byte would read as a letter.
    std::string text;
    for (const char c : order) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

}  // namespace quorvel::lab
