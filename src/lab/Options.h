#pragma once

#include <optional>
#include <string>
#include <vector>

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
    std::string journal;  // empty: quorvel-lab-<UTC yyyymmdd-hhmmss>-<pid>.csv
    std::string report;   // empty: none
    std::optional<int> cycles;
    std::optional<double> durationS;
    int interval = 30;
    std::string order = "$PXEMSRT,C*3A\r\n";
    int retry = 10;
    bool help = false;
};

// The options, or an error line that names the bad option, rate or port.
struct ParsedOptions {
    LabOptions options;
    std::string error;
};

// `args` excludes the program name.
ParsedOptions ParseLabOptions(const std::vector<std::string>& args);

// The bytes an --order text stands for: \xNN escapes decoded; NMEA text (beginning with "$")
// gets its "*hh" checksum when it has none or ends in a lone "*", and CR LF. Nothing for a
// malformed escape or anything after "*" but the two hex digits of a checksum.
std::optional<std::string> BuildOrder(const std::string& text);

// What the text alone cannot show, checked against the files and devices as the system sees
// them now, before any port opens: the journal and the report being one file, or two PORTs one
// device (COM numbers through the override links in `portsFolder`). An error line, or empty.
std::string CheckLabOptions(const LabOptions& options, const std::string& portsFolder);

std::string HelpText();

}  // namespace quorvel::lab
