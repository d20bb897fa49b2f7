#include "sim/Orders.h"

#include <cstdint>
#include <cstdio>

namespace quorvel::sim {
namespace {

// The cold-start orders, from each maker's public protocol description:
//  pxemsrt  our own test receivers' order.
//  ubx      u-blox Receiver Description (u-blox 6 and later), UBX-CFG-RST, class 0x06 id 0x04:
//           navBbrMask 0xFFFF clears all battery-backed data (cold start), resetMode 0x02 is a
//           controlled software reset of the GNSS part only.
//  pmtk     MediaTek PMTK command packet manual, PMTK_CMD_COLD_START, packet type 103.
//  psrf     SiRF NMEA Reference Manual, input message 101 (Navigation Initialization): ECEF
//           X, Y, Z, clock offset, time of week, week number, channels (12) and ResetCfg 4 =
//           cold start.
// Checksums: "PXEMSRT,C", "PMTK103" and "PSRF101,0,0,0,0,0,0,12,4" XOR to 3A, 30 and 10; the
// UBX Fletcher sums over 06 04 04 00 FF FF 02 00 are 0E 61.
constexpr std::string_view kOrders[] = {
    "$PXEMSRT,C*3A\r\n",
    std::string_view("\xB5\x62\x06\x04\x04\x00\xFF\xFF\x02\x00\x0E\x61", 12),
    "$PMTK103*30\r\n",
    "$PSRF101,0,0,0,0,0,0,12,4*10\r\n",
};
constexpr const char* kNames[] = {"pxemsrt", "ubx", "pmtk", "psrf"};

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]);
}

struct UbxFrame {
    std::uint8_t cls = 0;
    std::uint8_t id = 0;
    std::string_view payload;
    bool checksumOk = false;
};

// Every complete UBX frame in `bytes`, in order, until `visit` returns true.
template <typename Visit>
bool AnyUbxFrame(std::string_view bytes, Visit visit) {
    for (std::size_t at = bytes.find(kUbxSync); at != std::string_view::npos;
         at = bytes.find(kUbxSync, at + 1)) {
        const std::string_view rest = bytes.substr(at);
        const std::optional<std::size_t> size = UbxFrameSize(rest);
        if (!size || *size > rest.size()) continue;
        std::uint8_t a = 0, b = 0;
        for (std::size_t i = 2; i + 2 < *size; ++i) {
            a = static_cast<std::uint8_t>(a + Byte(rest, i));
            b = static_cast<std::uint8_t>(b + a);
        }
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

}  // namespace

const char* FamilyName(Family family) { return kNames[static_cast<int>(family)]; }

std::optional<Family> ParseFamily(std::string_view name) {
    for (Family f : kFamilies) {
        if (name == FamilyName(f)) return f;
    }
    return std::nullopt;
}

std::string_view ColdStartOrder(Family family) { return kOrders[static_cast<int>(family)]; }

std::optional<std::size_t> UbxFrameSize(std::string_view frame) {
    if (frame.size() < 6 || frame.substr(0, 2) != kUbxSync) return std::nullopt;
    return kUbxOverhead + (Byte(frame, 4) | static_cast<std::size_t>(Byte(frame, 5)) << 8);
}

bool IsColdStartOrder(Family family, std::string_view bytes) {
    if (family != Family::Ubx) return bytes.find(ColdStartOrder(family)) != std::string_view::npos;
    return AnyUbxFrame(bytes, [](const UbxFrame& f) {
        return f.checksumOk && IsCfgRst(f) && NavBbrMask(f) == 0xFFFF && Resets(f);
    });
}

std::string WhyNotAnOrder(Family own, std::string_view command) {
    for (Family f : kFamilies) {
        if (f != own && IsColdStartOrder(f, command)) {
            return std::string(FamilyName(f)) + " cold-start order ignored (this receiver is " +
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
            std::snprintf(text, sizeof text,
                          "UBX-CFG-RST ignored (navBbrMask 0x%04X resetMode 0x%02X: no cold start)",
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
