#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lab/Stats.h"

namespace quorvel::lab {

// One receiver as named on the command line.
struct PortSpec {
    std::string name;    // as given, for the journal
    int com = 0;         // COM number, or 0 for a device path
    std::string device;  // the device path when com is 0
    std::string baud;
};

struct LabOptions {
    std::vector<PortSpec> ports;
    std::string journal;  // empty: quorvel-lab-<UTC yyyymmdd-hhmmss>.csv
    std::string report;   // empty: none
    std::optional<int> cycles;
    std::optional<double> durationS;
    int interval = 30;
    std::string order = "$PXEMSRT,C*3A\r\n";
    int retry = 10;
    bool help = false;
    bool version = false;
    PassRule pass;  // --pass-ttff, --pass-rate
};

// The options, or an error line that names the bad option, rate or port.
struct ParsedOptions {
    LabOptions options;
    std::string error;
};

// `args` excludes the program name.
ParsedOptions ParseLabOptions(const std::vector<std::string>& args);

// The bytes an --order text stands for: \xNN escapes decoded; NMEA text (beginning with "$")
// gets its "*hh" checksum when it has none, and CR LF. Nothing for a malformed escape.
std::optional<std::string> BuildOrder(const std::string& text);

std::string HelpText();

}  // namespace quorvel::lab
