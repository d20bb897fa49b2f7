#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lab/command/LabOptions.h"

namespace quorvel::lab {

// The options, or an error line that names the bad option, rate or port.
struct ParsedOptions {
    LabOptions options;
    std::string error;
};

// `args` excludes the program name.
ParsedOptions ParseLabOptions(const std::vector<std::string>& args);

// The bytes an --order text stands for: \xNN escapes decoded; NMEA text (beginning with "$")
// gets its "*hh" checksum when it has none or ends in a lone "*", and CR LF. Nothing for a
// malformed escape or anything after "*" but the two hex digits of the right checksum; a wrong
// one is told in `why`, with the right one.
std::optional<std::string> BuildOrder(const std::string& text, std::string* why = nullptr);

// What the text alone cannot show, checked against the files and devices as the system sees
// them now, before any port opens: the journal and the report being one file, or two PORTs one
// device (COM numbers through the override links in `portsFolder`). An error line, or empty.
std::string CheckLabOptions(const LabOptions& options, const std::string& portsFolder);

}  // namespace quorvel::lab
