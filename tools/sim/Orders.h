#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "sim/Receiver.h"

namespace quorvel::sim {

inline constexpr Family kFamilies[] = {Family::Pxemsrt, Family::Ubx, Family::Pmtk, Family::Psrf};

// "pxemsrt", "ubx", "pmtk", "psrf": the --family names.
const char* FamilyName(Family family);
std::optional<Family> ParseFamily(std::string_view name);

// UBX binary frames: sync B5 62, class, id, payload length (little-endian), payload and a
// two-byte Fletcher checksum over class to payload.
inline constexpr std::string_view kUbxSync = "\xB5\x62";
inline constexpr std::size_t kUbxOverhead = 8;

// The whole size of the UBX frame that `frame` starts with, once its 6-byte header is in.
std::optional<std::size_t> UbxFrameSize(std::string_view frame);

// Why `command`, which is not `own`'s cold-start order, is no order for this receiver: another
// family's order or a UBX frame that is no cold start. Empty when it looks like no order at all.
std::string WhyNotAnOrder(Family own, std::string_view command);

}  // namespace quorvel::sim
