#include "sim/Orders.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/Nmea.h"

namespace quorvel::sim {
namespace {

using namespace std::string_view_literals;

// The orders, hot, warm, cold and factory, from each maker's public protocol description:
//  pxemsrt  our own test receivers' cold-start order.
//  ubx      u-blox Receiver Description, UBX-CFG-RST, class 0x06 id 0x04: navBbrMask 0x0000
//           keeps all battery-backed data (hot), 0x0001 clears the ephemeris (warm), 0xFFFF
//           all of it (cold); resetMode 0x02 restarts the GNSS part only.
//  pmtk     MediaTek PMTK packets 101 hot, 102 warm, 103 cold, 104 full cold (settings too).
//  psrf     SiRF NMEA input message 101 (Navigation Initialization): ECEF X, Y, Z, clock
//           offset, time of week, week number (all 0, left unused), 12 channels and ResetCfg
//           0 hot (its low bit would take the zeros for a position and time), 2 warm, 4 cold, 8
//           clear memory.
//  pair     Airoha PAIR 004 hot, 005 warm, 006 cold, 007 full cold (factory settings).
//  pqtm     Quectel LG290P class: PQTMHOT, PQTMWARM, PQTMCOLD.
//  casic    CASIC PCAS10 restart: 0 hot, 1 warm, 2 cold, 3 factory.
// NMEA checksums XOR every character between "$" and "*"; UBX's Fletcher sums over 06 04 04 00
// and the payload are 10 68 (hot), 11 6C (warm) and 0E 61 (cold).
constexpr std::string_view kOrders[][4] = {
    {"", "", "$PXEMSRT,C*3A\r\n", ""},
    {"\xB5\x62\x06\x04\x04\x00\x00\x00\x02\x00\x10\x68"sv,
     "\xB5\x62\x06\x04\x04\x00\x01\x00\x02\x00\x11\x6C"sv,
     "\xB5\x62\x06\x04\x04\x00\xFF\xFF\x02\x00\x0E\x61"sv, ""},
    {"$PMTK101*32\r\n", "$PMTK102*31\r\n", "$PMTK103*30\r\n", "$PMTK104*37\r\n"},
    {"$PSRF101,0,0,0,0,0,0,12,0*14\r\n", "$PSRF101,0,0,0,0,0,0,12,2*16\r\n",
     "$PSRF101,0,0,0,0,0,0,12,4*10\r\n", "$PSRF101,0,0,0,0,0,0,12,8*1C\r\n"},
    {"$PAIR004*3E\r\n", "$PAIR005*3F\r\n", "$PAIR006*3C\r\n", "$PAIR007*3D\r\n"},
    {"$PQTMHOT*4B\r\n", "$PQTMWARM*11\r\n", "$PQTMCOLD*1C\r\n", ""},
    {"$PCAS10,0*1C\r\n", "$PCAS10,1*1D\r\n", "$PCAS10,2*1E\r\n", "$PCAS10,3*1F\r\n"},
};
constexpr const char* kNames[] = {"pxemsrt", "ubx", "pmtk", "psrf", "pair", "pqtm", "casic"};
constexpr const char* kStartNames[] = {"hot", "warm", "cold", "factory"};

// The version queries: UBX-MON-VER poll, PMTK605, PAIR020, PQTMVERNO, PCAS06,0 (software).
constexpr std::string_view kMonVerPoll = "\xB5\x62\x0A\x04\x00\x00\x0E\x34"sv;
constexpr std::string_view kPqtmVerNo = "$PQTMVERNO*58\r\n";

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]);
}

struct UbxFrame {
    std::uint8_t cls = 0;
    std::uint8_t id = 0;
    std::string_view payload;
    bool checksumOk = false;
};

std::pair<std::uint8_t, std::uint8_t> Fletcher(std::string_view bytes) {
    std::uint8_t a = 0, b = 0;
    for (const char c : bytes) {
        a = static_cast<std::uint8_t>(a + static_cast<std::uint8_t>(c));
        b = static_cast<std::uint8_t>(b + a);
    }
    return {a, b};
}

// Every complete UBX frame in `bytes`, in order, until `visit` returns true.
template <typename Visit>
bool AnyUbxFrame(std::string_view bytes, Visit visit) {
    for (std::size_t at = bytes.find(kUbxSync); at != std::string_view::npos;
         at = bytes.find(kUbxSync, at + 1)) {
        const std::string_view rest = bytes.substr(at);
        const std::optional<std::size_t> size = UbxFrameSize(rest);
        if (!size || *size > rest.size()) continue;
        const auto [a, b] = Fletcher(rest.substr(2, *size - 4));
        const UbxFrame frame{Byte(rest, 2), Byte(rest, 3), rest.substr(6, *size - kUbxOverhead),
                             a == Byte(rest, *size - 2) && b == Byte(rest, *size - 1)};
        if (visit(frame)) return true;
    }
    return false;
}

bool IsCfgRst(const UbxFrame& f) { return f.cls == 0x06 && f.id == 0x04 && f.payload.size() == 4; }

int NavBbrMask(const UbxFrame& f) { return Byte(f.payload, 0) | Byte(f.payload, 1) << 8; }

// Reset modes that restart the receiver; 0x08 and 0x09 only stop or start the GNSS part.
bool Resets(const UbxFrame& f) {
    const std::uint8_t mode = Byte(f.payload, 2);
    return mode == 0x00 || mode == 0x01 || mode == 0x02 || mode == 0x04;
}

std::optional<Start> UbxStart(const UbxFrame& f) {
    if (!f.checksumOk || !IsCfgRst(f) || !Resets(f)) return std::nullopt;
    switch (NavBbrMask(f)) {
        case 0x0000:
            return Start::Hot;
        case 0x0001:
            return Start::Warm;
        case 0xFFFF:
            return Start::Cold;
    }
    return std::nullopt;
}

std::string UbxFrameOf(std::uint8_t cls, std::uint8_t id, std::string_view payload) {
    std::string frame(kUbxSync);
    frame += static_cast<char>(cls);
    frame += static_cast<char>(id);
    frame += static_cast<char>(payload.size() & 0xFF);
    frame += static_cast<char>(payload.size() >> 8);
    frame += payload;
    const auto [a, b] = Fletcher(std::string_view(frame).substr(2));
    frame += static_cast<char>(a);
    frame += static_cast<char>(b);
    return frame;
}

// A NUL-padded string field of a UBX payload.
std::string Padded(std::string_view text, std::size_t size) {
    std::string field(text);
    field.resize(size, '\0');
    return field;
}

std::string MonVerAnswer() {
    return UbxFrameOf(0x0A, 0x04,
                      Padded("SIM 1.00 (000001)", 30) + Padded("SIM08000", 10) +
                          Padded("FWVER=SIM 1.00", 30) + Padded("PROTVER=18.00", 30) +
                          Padded("MOD=SIM-NEO-M8N", 30));
}

// One family's queries and what it answers; Quectel's Airoha modules also answer PQTMVERNO.
struct Answer {
    Family family;
    std::string_view query;
    std::string (*answer)();
};
const Answer kAnswers[] = {
    {Family::Ubx, kMonVerPoll, MonVerAnswer},
    {Family::Pmtk, "$PMTK605*31\r\n",
     [] { return FrameSentence("PMTK705,SIM_AXN_1.00_0001,0001,SIM-PA6H,1.0"); }},
    {Family::Pair, "$PAIR020*38\r\n",
     [] {
         return FrameSentence(
             "PAIR020,SIM-AG3335_V1.0.0.SIM_20240101,S,N,0000000,2401010000,000,0,,,00000000,"
             "2401010000,0000000,2401010000,,");
     }},
    {Family::Pair, kPqtmVerNo,
     [] { return FrameSentence("PQTMVERNO,SIM-LC76GAANR01A01S,2024/01/01,00:00:00"); }},
    {Family::Pqtm, kPqtmVerNo,
     [] { return FrameSentence("PQTMVERNO,SIM-LG290P03AANR01A01S,2024/01/01,00:00:00"); }},
    {Family::Casic, "$PCAS06,0*1B\r\n",
     [] { return FrameSentence("GPTXT,01,01,02,SW=SIM-URANUS5,V5.3.0.0"); }},
};

}  // namespace

const char* FamilyName(Family family) { return kNames[static_cast<int>(family)]; }

const char* StartName(Start start) { return kStartNames[static_cast<int>(start)]; }

std::optional<Family> ParseFamily(std::string_view name) {
    for (Family f : kFamilies) {
        if (name == FamilyName(f)) return f;
    }
    return std::nullopt;
}

std::string_view OrderFor(Family family, Start start) {
    return kOrders[static_cast<int>(family)][static_cast<int>(start)];
}

std::string_view ColdStartOrder(Family family) { return OrderFor(family, Start::Cold); }

std::optional<std::size_t> UbxFrameSize(std::string_view frame) {
    if (frame.size() < 6 || frame.substr(0, 2) != kUbxSync) return std::nullopt;
    return kUbxOverhead + (Byte(frame, 4) | static_cast<std::size_t>(Byte(frame, 5)) << 8);
}

std::optional<Start> OrderStart(Family family, std::string_view bytes) {
    if (family == Family::Ubx) {
        std::optional<Start> start;
        AnyUbxFrame(bytes,
                    [&start](const UbxFrame& f) { return (start = UbxStart(f)).has_value(); });
        return start;
    }
    for (Start start : kStarts) {
        const std::string_view order = OrderFor(family, start);
        if (!order.empty() && bytes.find(order) != std::string_view::npos) return start;
    }
    return std::nullopt;
}

bool IsColdStartOrder(Family family, std::string_view bytes) {
    return OrderStart(family, bytes) == Start::Cold;
}

std::string AnswerTo(Family family, std::string_view bytes) {
    for (const Answer& a : kAnswers) {
        if (a.family == family && bytes.find(a.query) != std::string_view::npos) return a.answer();
    }
    return "";
}

// MediaTek announces itself as it starts; the LG290P class begins every boot with PQTMVER; CASIC
// with its banner (maker, model and serial, chip, software, build time, mode).
std::string StartupText(Family family) {
    switch (family) {
        case Family::Pmtk:
            return FrameSentence("PMTK011,MTKGPS") + FrameSentence("PMTK010,001");
        case Family::Pqtm:
            return FrameSentence("PQTMVER,1,MODULE,SIM-LG290P03AANR01A01S,2024/01/01,00:00:00");
        case Family::Casic:
            return FrameSentence("GPTXT,01,01,02,MA=CASIC") +
                   FrameSentence("GPTXT,01,01,02,HW=SIM-ATGM336H,0000000000001") +
                   FrameSentence("GPTXT,01,01,02,IC=SIM-AT6558R-5N-32-1C580901") +
                   FrameSentence("GPTXT,01,01,02,SW=SIM-URANUS5,V5.3.0.0") +
                   FrameSentence("GPTXT,01,01,02,TB=2024-01-01,00:00:00") +
                   FrameSentence("GPTXT,01,01,02,MO=GB");
        default:
            return "";
    }
}

std::string WhyNotAnOrder(Family own, std::string_view command) {
    for (Family f : kFamilies) {
        if (f == own) continue;
        if (const std::optional<Start> start = OrderStart(f, command)) {
            return std::string(FamilyName(f)) + " " + StartName(*start) +
                   "-start order ignored (this receiver is " + FamilyName(own) + ")";
        }
        if (!AnswerTo(f, command).empty()) {
            return std::string(FamilyName(f)) + " version query ignored (this receiver is " +
                   FamilyName(own) + ")";
        }
    }
    std::string why;
    AnyUbxFrame(command, [&why](const UbxFrame& f) {
        char text[96];
        if (!f.checksumOk) {
            std::snprintf(text, sizeof text, "UBX 0x%02X 0x%02X ignored (bad checksum)", f.cls,
                          f.id);
        } else if (IsCfgRst(f)) {
            std::snprintf(
                text, sizeof text,
                "UBX-CFG-RST ignored (navBbrMask 0x%04X resetMode 0x%02X: no start of ours)",
                NavBbrMask(f), Byte(f.payload, 2));
        } else {
            return false;
        }
        why = text;
        return true;
    });
    return why;
}

}  // namespace quorvel::sim
