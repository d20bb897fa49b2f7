#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvel::lab {

// How a receiver's byte stream carries the messages it names itself in: NMEA sentences and
// UBX frames, each bounded, so that reading them keeps its memory bounded too.
inline constexpr std::size_t kSentenceMax = 200;  // longer without a line end: no sentence
inline constexpr std::size_t kUbxPayloadMax = 40 + 30 * 16;  // MON-VER with sixteen extensions
inline constexpr std::size_t kUbxOverhead = 8;  // sync, class, id, length, checksum

inline std::uint8_t Byte(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]);
}

// A whole UBX frame with its Fletcher checksum right.
bool UbxIntact(std::string_view frame);

}  // namespace quorvel::lab
