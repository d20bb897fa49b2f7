#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quorvel::texts {

// The start-up recovery of the settings file, exactly as the operator sees it.
inline constexpr std::string_view kFileLoseTitle = "File lose.....";
inline constexpr std::string_view kCantFindSettingsFile =
    "Can't find the \"Set.txt\" file, now make a new!";
// When not even the default can be written and read back: the choice lives only in memory.
inline constexpr std::string_view kCantSaveSettings =
    "The settings can't be saved in this folder. Quorvel goes on with COM 1 and 9600 baud.";

// Selector entries: "COM 1" .. "COM 101", and the ten rates (no 38400).
inline constexpr int kPortEntryCount = 101;
inline constexpr std::array<std::string_view, 10> kBaudRates = {
    "1200", "2400", "4800", "9600", "19200", "57600", "115200", "230400", "460800", "921600"};

inline std::string PortEntry(int number) { return "COM " + std::to_string(number); }

// What "Set.txt" holds when it has to be made anew.
inline constexpr std::string_view kDefaultPort = "COM 1";
inline constexpr std::string_view kDefaultBaud = "9600";

}  // namespace quorvel::texts
