#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineObserver.h"
#include "lab/cycle/Geo.h"
#include "lab/families/Profiles.h"
#include "lab/record/PassRule.h"

namespace quorvel::lab {

// One receiver as named on the command line.
struct PortSpec {
    std::string name;    // as given, for the journal
    int com = 0;         // COM number, or 0 for a device path
    std::string device;  // when com is 0: the device path, or tcp://HOST:PORT
    std::string baud;
    std::string profile;  // the receiver profile's name
    std::string order;    // the cold-start order's bytes
    RestartSign sign = RestartSign::ClockReset;
    std::vector<Start> starts = {Start::Cold};  // taken in turn, one per cycle
    std::optional<Reference> reference = {};    // the surveyed antenna position
};

struct LabOptions {
    std::vector<PortSpec> ports;
    std::string journal;  // empty: quorvel-lab-<UTC yyyymmdd-hhmmss>-<pid>.csv
    std::string report;   // empty: none
    std::optional<int> cycles;
    std::optional<double> durationS;
    int interval = 30;
    std::string profile{"pxemsrt"};    // for ports that name none; "auto": the receiver's own
    std::string starts{"cold"};        // for ports that name none: "cold", "cold,warm,hot"
    // The surveyed antenna position of every port ("") or of the port so named.
    std::map<std::string, Reference> references;
    std::optional<double> fixWithinM;  // the first fix is the first within this of the reference
    bool fix3d = false;                // only a 3D fix counts as the first fix
    std::optional<std::string> order;  // overrides every profile's order
    std::optional<RestartSign> sign;   // overrides every profile's sign
    int retry = 10;
    int fixLimit = 300;  // seconds without a fix while one is awaited, then a no-fix row
    bool help = false;
    bool version = false;
    bool listPorts = false;
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
// gets its "*hh" checksum when it has none or ends in a lone "*", and CR LF. Nothing for a
// malformed escape or anything after "*" but the two hex digits of the right checksum; a wrong
// one is told in `why`, with the right one.
std::optional<std::string> BuildOrder(const std::string& text, std::string* why = nullptr);

// What the text alone cannot show, checked against the files and devices as the system sees
// them now, before any port opens: the journal and the report being one file, or two PORTs one
// device (COM numbers through the override links in `portsFolder`). An error line, or empty.
std::string CheckLabOptions(const LabOptions& options, const std::string& portsFolder);

std::string HelpText();

}  // namespace quorvel::lab
