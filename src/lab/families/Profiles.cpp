#include "lab/families/Profiles.h"

#include <cstdio>

namespace quorvel::lab {

using namespace std::string_view_literals;

namespace {

// An NMEA order as it goes on the wire.
std::optional<std::string> Nmea(std::string_view sentence) {
    return std::string(sentence) + "\r\n";
}

std::optional<std::string> Bytes(std::string_view frame) { return std::string(frame); }

}  // namespace

const std::string* Profile::OrderFor(Start start) const {
    // Every receiver has a supply to switch: its power start sends nothing.
    static const std::string kNoBytes;
    if (start == Start::Power) return &kNoBytes;
    const auto& order = orders[static_cast<int>(start)];
    return order ? &*order : nullptr;
}

std::string Profile::StartNames() const {
    std::string names;
    for (Start start : kStarts) {
        if (OrderFor(start)) names += (names.empty() ? "" : ", ") + std::string(StartName(start));
    }
    return names;
}

// Each order as its maker's public protocol description gives it, hot, warm, cold, factory:
// - pxemsrt: the window's receivers, the cold-start sentence the window sends;
// - ubx: u-blox receiver description, UBX-CFG-RST (class 0x06, id 0x04, length 4): navBbrMask
//   0x0000 hot, 0x0001 warm (ephemeris cleared), 0xFFFF cold; resetMode 0x02, a controlled
//   reset of the GNSS part only, so a USB port stays up; Fletcher checksum last. It has no
//   order that keeps the port and restores the settings. The answer to UBX-MON-VER carries
//   the software and hardware versions and "MOD=" among its extensions;
// - pmtk: MediaTek PMTK packets 101-104; 104 (full cold start) also clears the settings, back
//   to 9600 baud. It sends "$PMTK011,MTKGPS" and "$PMTK010,001" as it starts; PMTK605 asks
//   for the release, answered by PMTK705;
// - psrf: SiRF NMEA reference, Navigation Initialization "$PSRF101": position, clock, time
//   of week and week all 0, 12 channels, and the reset configuration, a bit map: 2 clears the
//   ephemeris (warm), 4 all history (cold), 8 the memory (factory). Its low bit says the position,
//   clock and time given are valid, so the hot start is 0, a restart that clears nothing and
//   seeds nothing: with 1 a receiver that honours it would start at the Earth's centre in
//   week 0. It has no version query in NMEA; its "$PSRFTXT" lines name its software;
// - pair: Airoha PAIR commands 004-007 (hot, warm, cold, full cold, the last restoring the
//   factory settings); PAIR020 asks for the firmware version. The Quectel modules on it
//   answer "$PQTMVERNO" too, naming themselves;
// - pqtm: Quectel LG290P class, "$PQTMHOT", "$PQTMWARM", "$PQTMCOLD"; "$PQTMVER" starts every
//   boot, PQTMVERNO asks for the version;
// - casic: CASIC "$PCAS10" restart, 0 hot, 1 warm, 2 cold, 3 cold with the factory settings;
//   its "$GPTXT" banner (MA=CASIC, IC=, SW=) starts every boot, and "$PCAS06,0" asks for the
//   software version, answered by a "$GPTXT" with "SW=".
const std::vector<Profile>& Profiles() {
    using R = Recognition;
    static const std::vector<Profile> kProfiles = {
        {.name = "pxemsrt",
         .describes = "the window's receivers",
         .orders = {{{}, {}, Nmea("$PXEMSRT,C*3A"), {}}},
         .sign = RestartSign::ClockReset},
        {.name = "ubx",
         .describes = "u-blox",
         .orders = {{Bytes("\xB5\x62\x06\x04\x04\x00\x00\x00\x02\x00\x10\x68"sv),
                     Bytes("\xB5\x62\x06\x04\x04\x00\x01\x00\x02\x00\x11\x6C"sv),
                     Bytes("\xB5\x62\x06\x04\x04\x00\xFF\xFF\x02\x00\x0E\x61"sv),
                     {}}},
         .sign = RestartSign::FixLost,
         .recognition = {R{"TXT", "u-blox"}, R{"UBX-MON-VER", ""}},
         .versionQuery = std::string("\xB5\x62\x0A\x04\x00\x00\x0E\x34"sv)},
        {.name = "pmtk",
         .describes = "MediaTek and modules built on it",
         .orders = {{Nmea("$PMTK101*32"), Nmea("$PMTK102*31"), Nmea("$PMTK103*30"),
                     Nmea("$PMTK104*37")}},
         .sign = RestartSign::FixLost,
         .startupTexts = {"$PMTK010,001", "$PMTK011,MTKGPS"},
         .recognition = {R{"PMTK011", "MTKGPS"}, R{"PMTK010", ""}, R{"PMTK705", ""}},
         .versionQuery = *Nmea("$PMTK605*31")},
        {.name = "psrf",
         .describes = "SiRF, NMEA mode",
         .orders = {{Nmea("$PSRF101,0,0,0,0,0,0,12,0*14"), Nmea("$PSRF101,0,0,0,0,0,0,12,2*16"),
                     Nmea("$PSRF101,0,0,0,0,0,0,12,4*10"), Nmea("$PSRF101,0,0,0,0,0,0,12,8*1C")}},
         .sign = RestartSign::FixLost,
         .recognition = {R{"PSRFTXT", ""}}},
        {.name = "pair",
         .describes = "Airoha; Quectel LC26G, LC76G, LC86G, LC29H",
         .orders = {{Nmea("$PAIR004*3E"), Nmea("$PAIR005*3F"), Nmea("$PAIR006*3C"),
                     Nmea("$PAIR007*3D")}},
         .sign = RestartSign::FixLost,
         .recognition = {R{"PAIR020", ""}, R{"PQTMVERNO", "LC26G"}, R{"PQTMVERNO", "LC76G"},
                         R{"PQTMVERNO", "LC86G"}, R{"PQTMVERNO", "LC29H"}, R{"PQTMVER", "LC26G"},
                         R{"PQTMVER", "LC76G"}, R{"PQTMVER", "LC86G"}, R{"PQTMVER", "LC29H"}},
         .versionQuery = *Nmea("$PAIR020*38")},
        {.name = "pqtm",
         .describes = "Quectel LG290P class",
         .orders = {{Nmea("$PQTMHOT*4B"), Nmea("$PQTMWARM*11"), Nmea("$PQTMCOLD*1C"), {}}},
         .sign = RestartSign::FixLost,
         .startupTexts = {"$PQTMVER,"},
         .recognition = {R{"PQTMVERNO", "LG290P"}, R{"PQTMVERNO", "LG580P"},
                         R{"PQTMVERNO", "LG680P"}, R{"PQTMVER", "LG290P"}, R{"PQTMVER", "LG580P"},
                         R{"PQTMVER", "LG680P"}},
         .versionQuery = *Nmea("$PQTMVERNO*58")},
        {.name = "casic",
         .describes = "CASIC/Allystar, ATGM336H, Quectel L76K",
         .orders = {{Nmea("$PCAS10,0*1C"), Nmea("$PCAS10,1*1D"), Nmea("$PCAS10,2*1E"),
                     Nmea("$PCAS10,3*1F")}},
         .sign = RestartSign::FixLost,
         .startupTexts = {"$GPTXT,01,01,02,MA=CASIC", "$GNTXT,01,01,02,MA=CASIC"},
         .recognition = {R{"TXT", "MA=CASIC"}, R{"TXT", "IC="}, R{"TXT", "SW="}},
         .versionQuery = *Nmea("$PCAS06,0*1B")},
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
