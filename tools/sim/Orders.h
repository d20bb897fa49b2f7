#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "sim/Receiver.h"

namespace quorvel::sim {

inline constexpr Family kFamilies[] = {Family::Pxemsrt, Family::Ubx,  Family::Pmtk, Family::Psrf,
                                       Family::Pair,    Family::Pqtm, Family::Casic};
inline constexpr Start kStarts[] = {Start::Hot, Start::Warm, Start::Cold, Start::Factory};

// "pxemsrt", "ubx", "pmtk", "psrf", "pair", "pqtm", "casic": the --family names.
const char* FamilyName(Family family);
std::optional<Family> ParseFamily(std::string_view name);
// "hot", "warm", "cold", "factory".
const char* StartName(Start start);

// `family`'s order for `start` as it goes on the wire; empty when the family has none.
std::string_view OrderFor(Family family, Start start);

// Which of `family`'s orders `bytes` hold whole (anywhere in them), if any.
std::optional<Start> OrderStart(Family family, std::string_view bytes);

// `family`'s answer to the version query that `bytes` hold, with clearly simulated names and
// versions; empty when they hold none it answers.
std::string AnswerTo(Family family, std::string_view bytes);

// What `family` sends as it starts up, before its first sentences; may be empty.
std::string StartupText(Family family);

// UBX binary frames: sync B5 62, class, id, payload length (little-endian), payload and a
// two-byte Fletcher checksum over class to payload.
inline constexpr std::string_view kUbxSync = "\xB5\x62";
inline constexpr std::size_t kUbxOverhead = 8;

// The whole size of the UBX frame that `frame` starts with, once its 6-byte header is in.
std::optional<std::size_t> UbxFrameSize(std::string_view frame);

// Why `command`, which is none of `own`'s orders or its query, is ignored: another family's
// order or query, or a UBX frame that is no start of ours. Empty when it looks like neither.
std::string WhyNotAnOrder(Family own, std::string_view command);

}  // namespace quorvel::sim
