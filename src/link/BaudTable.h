#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quorvel {

// The rates the baud selector offers, each with the line settings that open the port at it:
// no parity, 8 data bits, 1 stop bit.
struct BaudRow {
    std::string_view baud;
    std::string_view settings;
};

inline constexpr std::array<BaudRow, 10> kBaudTable{{
    {"1200", "1200,n,8,1"},
    {"2400", "2400,n,8,1"},
    {"4800", "4800,n,8,1"},
    {"9600", "9600,n,8,1"},
    {"19200", "19200,n,8,1"},
    {"57600", "57600,n,8,1"},
    {"115200", "115200,n,8,1"},
    {"230400", "230400,n,8,1"},
    {"460800", "460800,n,8,1"},
    {"921600", "921600,n,8,1"},
}};

// The settings string for a baud text, compared exactly; nothing for a text without a row.
inline std::optional<std::string_view> LineSettingsFor(std::string_view baud) {
    for (const BaudRow& row : kBaudTable) {
        if (row.baud == baud) return row.settings;
    }
    return std::nullopt;
}

}  // namespace quorvel
